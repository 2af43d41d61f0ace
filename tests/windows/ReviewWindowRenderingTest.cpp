// The review window on each of its tabs under the dark style sheet,
// rendered into the build folder (renderings/review_*.png) to be looked at.
#include "tests/windows/ReviewTestSupport.h"

#include "settings/TSettings.h"
#include "display/QSignalBrowseDisplay.h"
#include "windows/EcgReviewWindow.h"

#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

using namespace reviewtest;

TEST(ReviewWindowRendering, EveryTabUnderTheDarkStyleSheet)
{
    QFile sheet(QStringLiteral(":/styles/dark.css"));
    ASSERT_TRUE(sheet.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
    ASSERT_TRUE(QDir().mkpath(QStringLiteral(VAROR_RENDER_DIR)));

    ReviewStudy study;
    TSettings::setValue(TSettings::PredefinedConclusionList,
                        QStringList{QStringLiteral("No late potentials."), QStringLiteral("Late potentials present.")});
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    window->resize(1600, 900);
    child<QSignalBrowseDisplay>(*window, "ecgDisplay1")->scrollBar()->setValue(1234);
    child<QTextEdit>(*window, "textConclusion")->append(QStringLiteral("No late potentials."));
    auto* tabs = child<QTabWidget>(*window, "tabWidget");
    const char* const names[] = {"average", "late", "conclusion"};
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        QTest::qWait(400);
        const QString path = QStringLiteral(VAROR_RENDER_DIR "/review_%1.png").arg(QLatin1String(names[tab]));
        EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
    }
    qApp->setStyleSheet(QString());
}
