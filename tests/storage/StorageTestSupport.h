#pragma once

// Shared by the storage tests: a temporary home for settings and data, and
// small file helpers. No test touches the user's real data folder or
// settings: the data folder of every store under test lies in a
// QTemporaryDir, Qt's standard paths are in test mode and the settings
// paths point at a temporary folder.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class TempStorageEnvironment
{
public:
    TempStorageEnvironment()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("Pulsorix"));
        QCoreApplication::setApplicationName(QStringLiteral("VA ROR"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
    }

    // A fresh, empty base location standing in for the generic data location.
    QString base() const { return m_base.path(); }
    QString path(const QString& relative) const { return m_base.path() + QLatin1Char('/') + relative; }

private:
    QTemporaryDir m_settings;
    QTemporaryDir m_base;
};

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

inline bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

// Runs the statement and answers the message of the std::exception it
// threw, or "<no exception>".
template <typename Statement>
std::string thrownMessage(Statement statement)
{
    try {
        statement();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "<no exception>";
}
