#include "tests/e2e/E2eSupport.h"

#include "app/TStartup.h"
#include "pipeline/TAnalysisPipeline.h"
#include "analysis/signal/TSignal.h"
#include "windows/EcgMonitorWindow.h"
#include "windows/OpenStudyDialog.h"

#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace e2e {

void click(const QObject& parent, const char* name)
{
    child<QPushButton>(parent, name)->click();
}

MessageBoxWatch::MessageBoxWatch()
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            messages << box->windowTitle() + QLatin1Char('|') + box->text();
            box->reject();
        }
    });
    m_timer.start(20);
}

ApplicationLooks::ApplicationLooks()
{
    TStartup::setIdentity();
    qApp->setStyleSheet(TStartup::styleSheet(QString::fromLatin1(TStartup::DarkStyleSheet)));
}

ApplicationLooks::~ApplicationLooks()
{
    qApp->setStyleSheet(QString());
}

void render(QWidget& widget, const QString& name)
{
    QDir().mkpath(QStringLiteral(VAROR_RENDER_DIR));
    QTest::qWait(300);
    const QString path = QStringLiteral(VAROR_RENDER_DIR "/%1.png").arg(name);
    EXPECT_TRUE(widget.grab().save(path)) << path.toStdString();
}

std::unique_ptr<MainWindow> startMainWindow(const TempDataFolder& data)
{
    auto window = std::make_unique<MainWindow>(nullptr, data.storeFactory());
    window->show();
    if (!QTest::qWaitFor([&window] { return window->store() != nullptr; }, 10000))
        return nullptr;
    return window;
}

void recordStudy(MainWindow& window, const QString& lastName, const QString& firstName, int samples,
                 const QString& renderName)
{
    child<QLineEdit>(window, "txtLastNameEcg")->setText(lastName);
    child<QLineEdit>(window, "txtFirstNameEcg")->setText(firstName);
    click(window, "btnStartEcg");
    QPointer<EcgMonitorWindow> monitor = topLevel<EcgMonitorWindow>();
    ASSERT_NE(monitor, nullptr);
    click(*monitor, "btnStart");
    ASSERT_TRUE(QTest::qWaitFor(
        [&monitor, samples] {
            const TAnalysisPipeline* pipeline = monitor->pipeline();
            return pipeline->rawSignal()->appendedCount() - pipeline->recordingStart() >= samples;
        },
        LongWaitMs));
    render(*monitor, renderName);
    click(*monitor, "btnStop");
    ASSERT_TRUE(QTest::qWaitFor([&monitor] { return monitor.isNull(); }, 20000));
}

QPointer<EcgReviewWindow> analysedReviewWindow()
{
    QPointer<EcgReviewWindow> review;
    const bool shown = QTest::qWaitFor(
        [&review] {
            review = topLevel<EcgReviewWindow>();
            return review && review->isAnalysed();
        },
        LongWaitMs);
    return shown ? review : nullptr;
}

void closeReview(QPointer<EcgReviewWindow>& review)
{
    review->close();
    ASSERT_TRUE(QTest::qWaitFor([&review] { return review.isNull(); }, 10000));
}

void inOpenStudyDialog(MainWindow& window, std::function<void(OpenStudyDialog*)> work)
{
    if (!child<QWidget>(window, "frameOpenStudy")->isVisible())
        click(window, "btnOpenStudy");
    onNextModal<OpenStudyDialog>(std::move(work));
    click(window, "btnOpenMore");
}

} // namespace e2e
