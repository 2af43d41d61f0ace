#include "windows/ElectrodeStatusWidget.h"

#include "ui_ElectrodeStatusWidget.h"

#include "analysis/signal/TLeadSet.h"

namespace {

const QString InContactStyle = QStringLiteral("color: green");
const QString OffStyle = QStringLiteral("color: red");

} // namespace

ElectrodeStatusWidget::ElectrodeStatusWidget(QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::ElectrodeStatusWidget>())
{
    m_ui->setupUi(this);
    // Every electrode's label is named after it ("lblLA" for "LA").
    for (const QString& name : TLeadSet::electrodeNames()) {
        QLabel* label = findChild<QLabel*>(QStringLiteral("lbl") + name);
        label->setStyleSheet(InContactStyle);
        m_labels.insert(name, label);
    }
}

ElectrodeStatusWidget::~ElectrodeStatusWidget() = default;

void ElectrodeStatusWidget::setElectrode(const QString& name, bool off)
{
    QLabel* label = m_labels.value(name);
    if (label)
        label->setStyleSheet(off ? OffStyle : InContactStyle);
}

void ElectrodeStatusWidget::on_btnHide_clicked()
{
    hide();
    m_showAllowed = false;
}
