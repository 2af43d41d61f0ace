#include "AcqTestSupport.h"

#include "acquisition/TAcqSourceFactory.h"
#include "acquisition/TDemoAcqSource.h"
#include "acquisition/TDeviceAcqSource.h"
#include "settings/TSettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

using namespace AcqTest;

namespace {

// An empty settings store and an empty working folder for each test.
class SourceFactoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_previousFolder = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_folder.path()));
    }
    void TearDown() override { QDir::setCurrent(m_previousFolder); }

    void writeDemoFile(const char* name, int frames)
    {
        QFile file(QString::fromLatin1(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(makeFrames(0, frames));
    }

    static std::string creationError()
    {
        try {
            createAcqSource();
        } catch (const std::exception& error) {
            return error.what();
        }
        return "no error";
    }

    ScopedSettings m_settings;
    QTemporaryDir m_folder;
    QString m_previousFolder;
};

} // namespace

TEST_F(SourceFactoryTest, DemoModeReplaysEcg1000AndKeepsTheDemoGain)
{
    writeDemoFile("ecg1000.dat", 100);
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("demo"));
    TSettings::setValue(TSettings::SignalGain, 150);
    const std::unique_ptr<TAcqSource> source = createAcqSource();
    ASSERT_NE(dynamic_cast<TDemoAcqSource*>(source.get()), nullptr);
    EXPECT_EQ(source->channelCount(), 14);
    EXPECT_EQ(source->sampleRate(), 1000);
    EXPECT_EQ(source->bytesPerSample(), 2);
    EXPECT_EQ(source->resolutionBits(), 16);
    EXPECT_DOUBLE_EQ(source->minimumValue(), -300.0);
    EXPECT_DOUBLE_EQ(source->maximumValue(), 300.0);
    EXPECT_TRUE(source->isHealthy());
}

TEST_F(SourceFactoryTest, DemoModeOpensTheFileByBareNameInTheWorkingFolder)
{
    writeDemoFile("ecg1000.dat", 40);
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("demo"));
    const std::unique_ptr<TAcqSource> source = createAcqSource();
    source->start();
    ASSERT_TRUE(waitBlocked([&] { return source->bytesAvailable() >= FrameBytes; }));
    source->stop();
    QByteArray first(FrameBytes, Qt::Uninitialized);
    ASSERT_EQ(source->read(first.data(), FrameBytes), FrameBytes);
    EXPECT_EQ(first, makeFrames(0, 1));
}

TEST_F(SourceFactoryTest, DemoModeWithoutTheFileFailsWithCannotOpenFile)
{
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("demo"));
    EXPECT_EQ(creationError(), "Cannot open file");
}

TEST_F(SourceFactoryTest, DemoModeWithAFileShorterThanAFrameFailsWithCannotOpenFile)
{
    QFile file(QStringLiteral("ecg1000.dat"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(27, '\0'));
    file.close();
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("demo"));
    EXPECT_EQ(creationError(), "Cannot open file");
}

TEST_F(SourceFactoryTest, BluetoothModeOpensTheConfiguredPortWithAPositiveGain)
{
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("bluetooth-com"));
    TSettings::setValue(TSettings::AcqBluetoothPort, QStringLiteral("rfcomm7"));
    std::unique_ptr<TAcqSource> source = createAcqSource();
    auto* device = dynamic_cast<TDeviceAcqSource*>(source.get());
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->portName(), QStringLiteral("rfcomm7"));
    EXPECT_DOUBLE_EQ(device->maximumValue(), 300.0); // no gain setting: the device's range

    TSettings::setValue(TSettings::SignalGain, 150);
    source = createAcqSource();
    EXPECT_DOUBLE_EQ(source->minimumValue(), -150.0);
    EXPECT_DOUBLE_EQ(source->maximumValue(), 150.0);
    TSettings::setValue(TSettings::SignalGain, -5);
    EXPECT_DOUBLE_EQ(createAcqSource()->maximumValue(), 300.0);
}

// No Pulsorix device is plugged into the machine that runs the tests.
TEST_F(SourceFactoryTest, UsbModeWithoutTheDeviceReportsDeviceNotFound)
{
    writeDemoFile("ecg1000.dat", 100);
    EXPECT_EQ(creationError(), "Device not found"); // empty mode: USB
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("Demo")); // any other text means USB
    EXPECT_EQ(creationError(), "Device not found");
}
