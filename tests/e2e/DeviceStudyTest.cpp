// A study recorded from the ECG device, played by the device simulator on a
// pseudo-terminal, with the application in Bluetooth mode on that port: the
// simulator runs as its own program, as an operator without the device
// starts it. The study must hold exactly the samples the device sent.
#include "tests/e2e/E2eSupport.h"

#include "settings/TSettings.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "storage/TEcgFile.h"
#include "storage/TStudy.h"
#include "storage/TStudyStore.h"

#include "tests/settings/TempSettings.h"

#include <QFile>
#include <QtEndian>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using namespace e2e;

constexpr int LeadCount = 14;
constexpr int RecordedSamples = 12000;
// The leads the device sends: I, II, III, V1 ... V6, CM5, CR5 (aVR, aVL
// and aVF are derived from I and II on reception).
constexpr int SentLeads[] = {0, 1, 2, 6, 7, 8, 9, 10, 11, 12, 13};

// The simulator program streaming the demo recording on a pseudo-terminal
// that the link points at.
class SimulatorProcess {
public:
    explicit SimulatorProcess(const QString& link)
    {
        m_process.setWorkingDirectory(QStringLiteral(VAROR_SOURCE_DIR));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(DEVICE_SIMULATOR_PATH), {QStringLiteral("--link"), link});
    }
    ~SimulatorProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    QString output() { return QString::fromUtf8(m_process.readAllStandardOutput()); }

private:
    QProcess m_process;
};

// The demo recording's frames, lead by lead.
std::vector<std::vector<qint16>> recordingLeads()
{
    QFile file(QStringLiteral(VAROR_SOURCE_DIR "/data/ecg1000.dat"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const int frames = bytes.size() / (LeadCount * 2);
    std::vector<std::vector<qint16>> leads(LeadCount, std::vector<qint16>(std::size_t(frames)));
    for (int frame = 0; frame < frames; ++frame) {
        for (int lead = 0; lead < LeadCount; ++lead) {
            qint16 value = 0;
            std::memcpy(&value, bytes.constData() + (frame * LeadCount + lead) * 2, sizeof value);
            leads[std::size_t(lead)][std::size_t(frame)] = qFromLittleEndian(value);
        }
    }
    return leads;
}

// Where in the looping recording the study's first samples were sent;
// -1 when nowhere.
int recordingOffset(const TEcgFile& ecg, const std::vector<std::vector<qint16>>& recording)
{
    const int frames = int(recording[0].size());
    for (int offset = 0; offset < frames; ++offset) {
        bool same = true;
        for (int index = 0; same && index < 200; ++index) {
            for (int lead : SentLeads)
                same = same && ecg.sample(lead, index) == recording[std::size_t(lead)][std::size_t((offset + index) % frames)];
        }
        if (same)
            return offset;
    }
    return -1;
}

TEST(DeviceStudy, RecordedFromTheSimulatorOverItsPortHoldsTheSentSamples)
{
    TempSettings settings;
    ApplicationLooks looks;
    QTemporaryDir linkFolder;
    const QString link = linkFolder.filePath(QStringLiteral("device"));
    SimulatorProcess simulator(link);
    ASSERT_TRUE(QTest::qWaitFor([&link] { return QFileInfo(link).exists(); }, 10000)) << "no pseudo-terminal";
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("bluetooth-com"));
    TSettings::setValue(TSettings::AcqBluetoothPort, link);
    MessageBoxWatch boxes;

    TempDataFolder data;
    std::unique_ptr<MainWindow> window = startMainWindow(data);
    ASSERT_NE(window, nullptr);
    recordStudy(*window, QStringLiteral("Ortega"), QStringLiteral("Luis"), RecordedSamples,
                QStringLiteral("e2e_monitor_device"));
    QPointer<EcgReviewWindow> review = analysedReviewWindow();
    ASSERT_NE(review, nullptr);
    EXPECT_TRUE(simulator.isRunning());

    const int id = window->store()->listStudies().front().id;
    const TStudy* study = window->store()->openStudy(id); // the review window's open study
    ASSERT_NE(study, nullptr);
    const TEcgFile& ecg = *study->ecgFile();
    ASSERT_GE(ecg.appendedCount(), RecordedSamples);
    const std::vector<std::vector<qint16>> recording = recordingLeads();
    ASSERT_FALSE(recording.empty());
    const int offset = recordingOffset(ecg, recording);
    ASSERT_GE(offset, 0) << "the study does not begin with the device's samples";
    const int frames = int(recording[0].size());
    int differing = 0;
    for (int index = 0; index < ecg.appendedCount(); ++index) {
        for (int lead : SentLeads)
            differing += ecg.sample(lead, index) != recording[std::size_t(lead)][std::size_t((offset + index) % frames)];
    }
    EXPECT_EQ(differing, 0) << "samples lost, repeated or altered on the way";
    EXPECT_GE(review->mainAverager().count(10), 8) << "beats of V5 averaged";
    closeReview(review);

    EXPECT_TRUE(boxes.messages.isEmpty()) << boxes.messages.join(QLatin1Char('\n')).toStdString();
}

} // namespace
