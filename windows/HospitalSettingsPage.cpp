#include "windows/HospitalSettingsPage.h"

#include "hospital/TDicomLink.h"
#include "hospital/TDicomPeer.h"
#include "settings/TSettings.h"

#include <QFormLayout>
#include <QFutureWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtConcurrent>

namespace {

// DICOM AE titles are at most 16 characters.
constexpr int AeTitleLength = 16;

QLineEdit* aeTitleEdit(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(AeTitleLength);
    return edit;
}

} // namespace

HospitalSettingsPage::HospitalSettingsPage(QWidget* parent)
    : QWidget(parent)
    , m_localAeTitle(aeTitleEdit(this, "txtLocalAeTitle"))
    , m_host(new QLineEdit(this))
    , m_port(new QSpinBox(this))
    , m_aeTitle(aeTitleEdit(this, "txtPacsAeTitle"))
    , m_test(new QPushButton(tr("Test connection"), this))
    , m_result(new QLabel(this))
{
    setObjectName(QStringLiteral("pageHospital"));
    m_host->setObjectName(QStringLiteral("txtPacsHost"));
    m_port->setObjectName(QStringLiteral("numPacsPort"));
    m_port->setRange(1, 65535);
    m_test->setObjectName(QStringLiteral("btnPacsTest"));
    m_result->setObjectName(QStringLiteral("lblPacsTestResult"));
    m_result->setWordWrap(true);
    auto* layout = new QFormLayout(this);
    layout->addRow(tr("Our AE title"), m_localAeTitle);
    layout->addRow(tr("PACS host"), m_host);
    layout->addRow(tr("PACS port"), m_port);
    layout->addRow(tr("PACS AE title"), m_aeTitle);
    layout->addRow(QString(), m_test);
    layout->addRow(QString(), m_result);

    m_localAeTitle->setText(TSettings::text(TSettings::LocalAeTitle));
    m_host->setText(TSettings::text(TSettings::PacsHost));
    m_port->setValue(TSettings::whole(TSettings::PacsPort));
    m_aeTitle->setText(TSettings::text(TSettings::PacsAeTitle));
    QMetaObject::connectSlotsByName(this);
}

HospitalSettingsPage::~HospitalSettingsPage() = default;

void HospitalSettingsPage::save() const
{
    TSettings::setValue(TSettings::LocalAeTitle, m_localAeTitle->text().trimmed());
    TSettings::setValue(TSettings::PacsHost, m_host->text().trimmed());
    TSettings::setValue(TSettings::PacsPort, m_port->value());
    TSettings::setValue(TSettings::PacsAeTitle, m_aeTitle->text().trimmed());
}

TDicomPeer HospitalSettingsPage::peer() const
{
    TDicomPeer peer;
    peer.localAeTitle = m_localAeTitle->text().trimmed();
    peer.host = m_host->text().trimmed();
    peer.port = m_port->value();
    peer.aeTitle = m_aeTitle->text().trimmed();
    return peer;
}

// The echo takes up to the link's timeout: it runs on the thread pool and
// its answer comes back to the page.
void HospitalSettingsPage::on_btnPacsTest_clicked()
{
    m_test->setEnabled(false);
    m_result->setText(tr("Testing..."));
    auto* watcher = new QFutureWatcher<QString>(this);
    connect(watcher, &QFutureWatcher<QString>::finished, this, [this, watcher] {
        const QString error = watcher->result();
        watcher->deleteLater();
        m_test->setEnabled(true);
        m_result->setText(error.isEmpty() ? tr("The PACS answers.") : error);
        emit connectionTested(error.isEmpty());
    });
    const TDicomPeer node = peer();
    watcher->setFuture(QtConcurrent::run([node]() -> QString {
        try {
            TDicomLink::echo(node);
            return QString();
        } catch (const std::exception& error) {
            return QString::fromStdString(error.what());
        }
    }));
}

QString HospitalSettingsPage::unconfiguredNote()
{
    if (TDicomPeer::fromSettings().isConfigured())
        return QString();
    return QLatin1Char('\n')
           + tr("No PACS is configured: the queued studies go once its host, port and AE title are set on the "
                "\"Hospital\" page of the configuration.");
}
