#include "app/TApplication.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <exception>
#include <utility>

namespace {

// Half as opaque as typed text.
constexpr int PlaceholderAlpha = 110;

// The style sheets colour the text of the fields, and a placeholder would
// take the same colour and read as a typed value ("day/month/year" as a
// birth date): it is drawn dimmer than the field's text instead.
void dimPlaceholder(QObject* object)
{
    if (!qobject_cast<QLineEdit*>(object) && !qobject_cast<QTextEdit*>(object)
        && !qobject_cast<QPlainTextEdit*>(object))
        return;
    auto* field = static_cast<QWidget*>(object);
    QPalette palette = field->palette();
    QColor dimmed = palette.color(QPalette::Text);
    dimmed.setAlpha(PlaceholderAlpha);
    if (palette.color(QPalette::PlaceholderText) == dimmed)
        return;
    palette.setColor(QPalette::PlaceholderText, dimmed);
    field->setPalette(palette);
}

} // namespace

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        const bool handled = QApplication::notify(receiver, event);
        // The style sheet colours a widget while it handles these events,
        // and gives its placeholder the colour of its text.
        if (event->type() == QEvent::Polish || event->type() == QEvent::StyleChange)
            dimPlaceholder(receiver);
        return handled;
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
