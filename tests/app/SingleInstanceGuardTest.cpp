#include "app/TSingleInstanceGuard.h"

#include <QProcess>
#include <QSharedMemory>
#include <QUuid>

#include <gtest/gtest.h>

namespace {

QString uniqueKey()
{
    return QStringLiteral("Pulsorix test %1").arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
}

// A separate process taking the key; it answers "held" or "refused".
class Holder {
public:
    explicit Holder(const QString& key)
    {
        m_process.start(QStringLiteral(INSTANCE_HOLDER_PATH), {key});
        m_process.waitForStarted();
        m_process.waitForReadyRead(10000);
        m_answer = QString::fromLatin1(m_process.readLine()).trimmed();
    }

    ~Holder()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.closeWriteChannel();
            m_process.waitForFinished(5000);
        }
    }

    QString answer() const { return m_answer; }

    void crash()
    {
        m_process.kill(); // SIGKILL: no destructor, no detach
        m_process.waitForFinished(5000);
    }

    void endNormally()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
    QString m_answer;
};

} // namespace

TEST(SingleInstanceGuard, SecondCopyIsRefusedWhileFirstRuns)
{
    const QString key = uniqueKey();
    Holder first(key);
    ASSERT_EQ(first.answer(), QStringLiteral("held"));

    TSingleInstanceGuard second(key);
    EXPECT_FALSE(second.acquire());
    EXPECT_FALSE(second.isHeld());

    Holder third(key);
    EXPECT_EQ(third.answer(), QStringLiteral("refused"));
}

TEST(SingleInstanceGuard, StartAfterNormalEndSucceeds)
{
    const QString key = uniqueKey();
    {
        Holder first(key);
        ASSERT_EQ(first.answer(), QStringLiteral("held"));
        first.endNormally();
    }
    TSingleInstanceGuard next(key);
    EXPECT_TRUE(next.acquire());
}

TEST(SingleInstanceGuard, StartAfterCrashSucceeds)
{
    const QString key = uniqueKey();
    Holder crashed(key);
    ASSERT_EQ(crashed.answer(), QStringLiteral("held"));
    crashed.crash();

    // The segment outlived the killed process: a plain create still fails.
    QSharedMemory plain(key);
    EXPECT_FALSE(plain.create(TSingleInstanceGuard::SegmentSize));

    TSingleInstanceGuard next(key);
    EXPECT_TRUE(next.acquire());
    // And the new holder now keeps later copies out.
    Holder later(key);
    EXPECT_EQ(later.answer(), QStringLiteral("refused"));
}

TEST(SingleInstanceGuard, ReleaseFreesTheKeyInProcess)
{
    const QString key = uniqueKey();
    TSingleInstanceGuard first(key);
    ASSERT_TRUE(first.acquire());
    TSingleInstanceGuard second(key);
    EXPECT_FALSE(second.acquire());
    first.release();
    EXPECT_TRUE(second.acquire());
}
