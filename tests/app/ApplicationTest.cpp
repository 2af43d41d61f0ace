#include "app/TApplication.h"
#include "app/TStartup.h"

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
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

namespace {

// The brightest pixel of the text inside a field, away from its border
// and from a text cursor at its start.
int brightest(QLineEdit& field)
{
    const QImage image = field.grab().toImage();
    int brightest = 0;
    for (int y = 6; y < image.height() - 6; ++y) {
        for (int x = 12; x < image.width() / 2; ++x)
            brightest = std::max(brightest, qGray(image.pixel(x, y)));
    }
    return brightest;
}

} // namespace

// Under the style sheets a placeholder would take the colour of typed text.
TEST(Application, PlaceholdersAreDimmerThanTypedText)
{
    application().setStyleSheet(TStartup::styleSheet(QString::fromLatin1(TStartup::DarkStyleSheet)));
    QLineEdit placeholder;
    placeholder.setPlaceholderText(QStringLiteral("day/month/year"));
    QLineEdit typed;
    typed.setText(QStringLiteral("day/month/year"));
    for (QLineEdit* field : {&placeholder, &typed}) {
        field->resize(200, 30);
        field->show();
    }
    EXPECT_LT(brightest(placeholder), brightest(typed) * 2 / 3);
    EXPECT_EQ(typed.palette().color(QPalette::Text), QColor(0xf2, 0xf4, 0xf6)) << "typed text keeps its colour";
    application().setStyleSheet(QString());
}
