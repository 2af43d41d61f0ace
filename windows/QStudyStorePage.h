#pragma once

#include <QWidget>

class QLineEdit;
class QRadioButton;
class QSpinBox;

// The configuration page that chooses where studies are kept: the local
// data folder (the default) or the clinic server, given by host, port,
// database and user. No password field: the password comes from libpq's
// password file or service file, how long archived studies' local copies
// stay, and how recent a change elsewhere must be for its study to be
// fetched ahead. The choice applies from the next start.
class QStudyStorePage : public QWidget
{
    Q_OBJECT

public:
    explicit QStudyStorePage(QWidget* parent = nullptr);

    // Writes the choice and the server's address into the settings.
    void save() const;

private:
    void load();
    void enableServerFields(bool enabled);

    QRadioButton* m_local;
    QRadioButton* m_server;
    QLineEdit* m_host;
    QSpinBox* m_port;
    QLineEdit* m_database;
    QLineEdit* m_user;
    QSpinBox* m_keepDays;
    QSpinBox* m_prefetchDays;
};
