#pragma once

#include "TDeviceSimulator.h"

#include "acquisition/TDeviceProtocol.h"

#include <QByteArray>
#include <QtEndian>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <thread>

namespace SimulatorTest {

using Frame = std::array<int, TDeviceProtocol::LeadCount>;

// Options of a simulator streaming the shipped recording.
inline TDeviceSimulatorOptions recordingOptions()
{
    TDeviceSimulatorOptions options;
    options.recordingPath = QStringLiteral(VAROR_DATA_DIR "/ecg1000.dat");
    return options;
}

// A device simulator serving its pseudo-terminal on a thread of its own for
// the life of the object.
class RunningSimulator
{
public:
    explicit RunningSimulator(const TDeviceSimulatorOptions& options = recordingOptions())
        : m_simulator(std::make_unique<TDeviceSimulator>(options))
        , m_thread([this] { m_simulator->run(); })
    {
    }
    ~RunningSimulator()
    {
        m_simulator->stop();
        m_thread.join();
    }
    RunningSimulator(const RunningSimulator&) = delete;
    RunningSimulator& operator=(const RunningSimulator&) = delete;

    TDeviceSimulator* operator->() const { return m_simulator.get(); }
    TDeviceSimulator& operator*() const { return *m_simulator; }

private:
    std::unique_ptr<TDeviceSimulator> m_simulator;
    std::thread m_thread;
};

inline Frame frameFromBytes(const char* bytes)
{
    Frame frame{};
    for (int lead = 0; lead < TDeviceProtocol::LeadCount; ++lead)
        frame[std::size_t(lead)] = qFromLittleEndian<qint16>(bytes + 2 * lead);
    return frame;
}

// Whether a delivered frame carries the leads the device transmitted for
// this recording frame (the augmented leads are computed by the receiver).
inline bool carriesLeads(const Frame& delivered, const QByteArray& recorded)
{
    const Frame expected = frameFromBytes(recorded.constData());
    for (const TDeviceProtocol::LeadField& field : TDeviceProtocol::TransmittedLeads) {
        if (delivered[std::size_t(field.lead)] != expected[std::size_t(field.lead)])
            return false;
    }
    return true;
}

// Whether `count` delivered frames are consecutive frames of the recording
// the simulator streams, starting wherever the first one is.
inline ::testing::AssertionResult followRecording(const TDeviceSimulator& simulator,
                                                  const std::function<Frame(int)>& delivered, int count)
{
    if (count <= 0)
        return ::testing::AssertionFailure() << "no frame delivered";
    const int recordingFrames = simulator.frameCount();
    int start = 0;
    while (start < recordingFrames && !carriesLeads(delivered(0), simulator.frame(start)))
        ++start;
    if (start == recordingFrames)
        return ::testing::AssertionFailure() << "the first frame is not a frame of the recording";
    for (int k = 1; k < count; ++k) {
        if (!carriesLeads(delivered(k), simulator.frame(start + k)))
            return ::testing::AssertionFailure()
                << "frame " << k << " is not recording frame " << start + k;
    }
    return ::testing::AssertionSuccess();
}

} // namespace SimulatorTest
