// The main window on the clinic server's store while the server cannot be
// reached: it starts, and says how many recorded studies wait to go up.
#include "app/MainWindow.h"
#include "clinic/TServerStudyStore.h"
#include "clinic/TStudyOutbox.h"
#include "tests/storage/StoreTestSupport.h"

#include "TempDataFolder.h"
#include "tests/settings/TempSettings.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(MainWindowClinic, SaysHowManyRecordedStudiesWaitWhileTheServerIsAway)
{
    const TempSettings settings;
    const TempDataFolder data;
    const QTemporaryDir noServer;  // a socket folder where no server listens
    TServerAddress address;
    address.host = noServer.path();
    address.database = QStringLiteral("varor");
    address.user = QStringLiteral("varor");
    {
        TLocalStudyStore local("PulsorixVAROR", data.path());
        for (const char* last : {"Lopez", "Perez"}) {
            TStudyInfo info = newStudyInfo("Ana", last);
            local.closeStudy(local.createStudy(info));
            TStudyOutbox(local.studyDataFolder()).add(info.id, 0);
        }
    }

    const QString base = data.path();
    MainWindow window(nullptr, [address, base] {
        return std::make_unique<TServerStudyStore>(address, std::make_unique<TLocalStudyStore>("PulsorixVAROR", base));
    });
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.store() != nullptr; }, 10000));
    auto* waiting = window.findChild<QLabel*>(QStringLiteral("lblOutbox"));
    ASSERT_NE(waiting, nullptr);
    EXPECT_TRUE(waiting->isVisible());
    EXPECT_EQ(waiting->text(), QStringLiteral("Studies waiting to go up to the clinic server: 2"));
}

} // namespace
