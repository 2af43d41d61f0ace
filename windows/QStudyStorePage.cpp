#include "windows/QStudyStorePage.h"

#include "clinic/TServerAddress.h"
#include "clinic/TServerStudyStore.h"
#include "settings/TSettings.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

QStudyStorePage::QStudyStorePage(QWidget* parent)
    : QWidget(parent),
      m_local(new QRadioButton(tr("Local data folder"), this)),
      m_server(new QRadioButton(tr("Clinic server"), this)),
      m_host(new QLineEdit(this)),
      m_port(new QSpinBox(this)),
      m_database(new QLineEdit(this)),
      m_user(new QLineEdit(this)),
      m_keepDays(new QSpinBox(this)),
      m_prefetchDays(new QSpinBox(this))
{
    setObjectName(QStringLiteral("pageStudyStore"));
    m_local->setObjectName(QStringLiteral("rbtStoreLocal"));
    m_server->setObjectName(QStringLiteral("rbtStoreServer"));
    m_host->setObjectName(QStringLiteral("txtServerHost"));
    m_port->setObjectName(QStringLiteral("numServerPort"));
    m_database->setObjectName(QStringLiteral("txtServerDatabase"));
    m_user->setObjectName(QStringLiteral("txtServerUser"));
    m_port->setRange(1, 65535);
    m_keepDays->setObjectName(QStringLiteral("numKeepLocalDays"));
    m_keepDays->setRange(0, 3650);
    m_keepDays->setSuffix(tr(" days"));
    m_keepDays->setSpecialValueText(tr("Always"));
    m_prefetchDays->setObjectName(QStringLiteral("numPrefetchDays"));
    m_prefetchDays->setRange(0, 30);
    m_prefetchDays->setSuffix(tr(" days"));
    m_prefetchDays->setSpecialValueText(tr("Off"));

    auto* fields = new QFormLayout;
    fields->setRowWrapPolicy(QFormLayout::WrapLongRows);
    fields->addRow(tr("Host"), m_host);
    fields->addRow(tr("Port"), m_port);
    fields->addRow(tr("Database"), m_database);
    fields->addRow(tr("User"), m_user);
    fields->addRow(tr("Keep local copies of archived studies"), m_keepDays);
    fields->addRow(tr("Fetch ahead studies changed elsewhere within"), m_prefetchDays);
    auto* note = new QLabel(tr("The password is read from the PostgreSQL password file (.pgpass) or service file, "
                               "never stored here. The choice applies from the next start."),
                            this);
    note->setWordWrap(true);
    // The configuration dialog's pages share its small fixed size: this one
    // scrolls rather than squeeze its fields below their height.
    auto* content = new QWidget;
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    auto* layout = new QVBoxLayout(content);
    layout->addWidget(m_local);
    layout->addWidget(m_server);
    layout->addLayout(fields);
    layout->addWidget(note);
    layout->addStretch();
    scroll->setWidget(content);

    connect(m_server, &QRadioButton::toggled, this, &QStudyStorePage::enableServerFields);
    load();
}

void QStudyStorePage::load()
{
    const bool server = TServerAddress::serverChosen();
    m_server->setChecked(server);
    m_local->setChecked(!server);
    const TServerAddress address = TServerAddress::fromSettings();
    m_host->setText(address.host);
    m_port->setValue(address.port);
    m_database->setText(address.database);
    m_user->setText(address.user);
    m_keepDays->setValue(TSettings::whole(TServerStudyStore::KeepLocalDays));
    m_prefetchDays->setValue(TSettings::whole(TServerStudyStore::PrefetchDays));
    enableServerFields(server);
}

void QStudyStorePage::enableServerFields(bool enabled)
{
    for (QWidget* field : {static_cast<QWidget*>(m_host), static_cast<QWidget*>(m_port),
                           static_cast<QWidget*>(m_database), static_cast<QWidget*>(m_user),
                           static_cast<QWidget*>(m_keepDays), static_cast<QWidget*>(m_prefetchDays)})
        field->setEnabled(enabled);
}

// Only what differs from the settings in effect is written: a dialog
// confirmed unchanged leaves the defaults unstored.
void QStudyStorePage::save() const
{
    const auto store = [](const TSettingKey& key, const QVariant& value) {
        if (TSettings::value(key) != value)
            TSettings::setValue(key, value);
    };
    store(TServerAddress::StoreKind,
          QString::fromLatin1(m_server->isChecked() ? TServerAddress::ServerKind : TServerAddress::LocalKind));
    store(TServerAddress::Host, m_host->text().trimmed());
    store(TServerAddress::Port, m_port->value());
    store(TServerAddress::Database, m_database->text().trimmed());
    store(TServerAddress::User, m_user->text().trimmed());
    store(TServerStudyStore::KeepLocalDays, m_keepDays->value());
    store(TServerStudyStore::PrefetchDays, m_prefetchDays->value());
}
