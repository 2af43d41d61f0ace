#pragma once

#include <QMap>
#include <QString>
#include <QWidget>

#include <memory>

class QLabel;

namespace Ui {
class ElectrodeStatusWidget;
}

// The panel the monitor window shows beside its paper, at the top, while an
// electrode has no contact: the device's nine electrodes in a fixed 3 x 3
// arrangement, green in contact and red off. Its hide button dismisses it
// for the rest of the acquisition.
class ElectrodeStatusWidget : public QWidget
{
    Q_OBJECT

public:
    // Every electrode starts green; showing is allowed.
    explicit ElectrodeStatusWidget(QWidget* parent = nullptr);
    ~ElectrodeStatusWidget() override;

    // Red when off, green otherwise; any other name is ignored.
    void setElectrode(const QString& name, bool off);
    // False once the user pressed the hide button.
    bool showAllowed() const { return m_showAllowed; }

private slots:
    void on_btnHide_clicked();

private:
    std::unique_ptr<Ui::ElectrodeStatusWidget> m_ui;
    QMap<QString, QLabel*> m_labels;
    bool m_showAllowed = true;
};
