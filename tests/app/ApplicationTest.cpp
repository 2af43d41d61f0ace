#include "app/TApplication.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <functional>
#include <stdexcept>

#include <gtest/gtest.h>

namespace {

// An object whose handling of one posted event runs the given code.
class Thrower : public QObject {
public:
    explicit Thrower(std::function<void()> action)
        : m_action(std::move(action))
    {
    }

    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::User)
            m_action();
        return QObject::event(event);
    }

private:
    std::function<void()> m_action;
};

TApplication& application()
{
    return *static_cast<TApplication*>(QCoreApplication::instance());
}

// Posts one event to an object running the action, runs the event loop and
// returns what the application caught. A watchdog ends a loop that nothing
// ended, so a missing catch fails instead of hanging.
std::optional<QString> runWithThrow(std::function<void()> action)
{
    Thrower thrower(std::move(action));
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QTimer::singleShot(5000, &application(), [] { QCoreApplication::exit(7); });
    const int result = application().exec();
    EXPECT_EQ(result, 0);
    return application().takeError();
}

} // namespace

TEST(Application, ExceptionsEscapingTheEventLoopEndItWithTheirMessage)
{
    auto standard = runWithThrow([] { throw std::runtime_error("Cannot open file"); });
    ASSERT_TRUE(standard.has_value());
    EXPECT_EQ(*standard, QStringLiteral("Cannot open file"));

    auto unknown = runWithThrow([] { throw 42; });
    ASSERT_TRUE(unknown.has_value());
    EXPECT_EQ(*unknown, QStringLiteral("Unspecified application error"));

    // The error was taken: nothing is left for the next run.
    EXPECT_FALSE(application().takeError().has_value());
}

TEST(Application, QuietLoopReportsNoError)
{
    QTimer::singleShot(0, &application(), [] { QCoreApplication::exit(3); });
    EXPECT_EQ(application().exec(), 3);
    EXPECT_FALSE(application().takeError().has_value());
}
