#include "app/TApplication.h"

#include <exception>
#include <utility>

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        // QException derives from std::exception, so Qt's own land here too.
        fail(QString::fromUtf8(e.what()));
    } catch (...) {
        fail(tr("Unspecified application error"));
    }
    return false;
}

std::optional<QString> TApplication::takeError()
{
    return std::exchange(m_error, std::nullopt);
}

void TApplication::fail(const QString& message)
{
    // Only the first failure is reported; later ones are its consequences.
    if (!m_error)
        m_error = message;
    exit(0);
}
