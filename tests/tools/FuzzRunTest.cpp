// A short run of varor-fuzz (the full run is by hand, tools/README.md):
// a few hundred mutated study files, indexes, archives, recordings and
// special files through the storage library and varor-analyze, none of
// which may crash, hang, blow up its memory, write outside its folder or
// lose a study.
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(FuzzRun, AFewHundredCasesLeaveEveryStudyAndNothingBroken)
{
    QTemporaryDir work;
    QProcess fuzz;
    fuzz.setProcessChannelMode(QProcess::MergedChannels);
    fuzz.start(QStringLiteral(VAROR_FUZZ_PATH),
               {QStringLiteral("--cases"), QStringLiteral("300"), QStringLiteral("--seed"), QStringLiteral("20"),
                QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("--seconds"), QStringLiteral("30"),
                QStringLiteral("--analyzer"), QStringLiteral(VAROR_ANALYZE_PATH), QStringLiteral("--work"),
                work.filePath(QStringLiteral("run")), QStringLiteral("--ptb"),
                QStringLiteral(VAROR_DATA_DIR "/ptb/s0010_re.hea")});
    ASSERT_TRUE(fuzz.waitForFinished(120000));
    const QString report = QString::fromUtf8(fuzz.readAll());
    EXPECT_EQ(fuzz.exitCode(), 0) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("writes outside the case folders: 0"))) << report.toStdString();
}

} // namespace
