#pragma once

#include <QApplication>
#include <QString>

#include <optional>

// The application object. An exception that escapes an event handler is
// caught here instead of tearing the process down: its message is kept and
// the event loop ends, so that start-up can show it to the operator and shut
// down in order. Placeholders of text fields are drawn dimmer than their
// text.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The message of the exception that ended the event loop, if one did
    // ("Unspecified application error" for throws that carry no message),
    // and clears it.
    std::optional<QString> takeError();

private:
    void fail(const QString& message);

    std::optional<QString> m_error;
};
