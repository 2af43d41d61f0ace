#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
struct TDicomPeer;

// The configuration dialog's page for the hospital's archive: our AE
// title and the PACS's host, port and AE title ("Hospital/..." settings),
// and "Test connection", a verification (C-ECHO) with the values typed,
// run off the GUI thread so that the dialog stays responsive.
class HospitalSettingsPage : public QWidget
{
    Q_OBJECT

public:
    explicit HospitalSettingsPage(QWidget* parent = nullptr);
    ~HospitalSettingsPage() override;

    // Writes the values typed into the settings (the dialog's OK).
    void save() const;
    // The node as typed.
    TDicomPeer peer() const;
    // Added to what the operator is told of studies queued for the PACS
    // while none is configured: they wait, queued, for one. Empty when one
    // is configured.
    static QString unconfiguredNote();

signals:
    // The test's outcome is shown.
    void connectionTested(bool succeeded);

private slots:
    void on_btnPacsTest_clicked();

private:
    QLineEdit* m_localAeTitle;
    QLineEdit* m_host;
    QSpinBox* m_port;
    QLineEdit* m_aeTitle;
    QPushButton* m_test;
    QLabel* m_result;
};
