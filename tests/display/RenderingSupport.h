// Real data for the renderings: the demo recording, replayed as the live
// pipeline does (decimated to 500 Hz, display filters) or stored as a
// study's ECG and beats files.
#pragma once

#include "analysis/filters/TBlockMeanDecimator.h"
#include "analysis/filters/TRealtimeFilterChain.h"
#include "analysis/filters/TReviewFilterChain.h"
#include "analysis/signal/TSignalBuffer16.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <cmath>

#include <memory>
#include <vector>

namespace display_test {

constexpr int DemoLeads = 14;
constexpr int DemoRate = 1000;
constexpr int FrameBytes = 2 * DemoLeads;
// The lead whose tall R waves time the beats.
constexpr int QrsLead = 7;  // V2

inline QByteArray demoFrames()
{
    QFile file(QStringLiteral(VAROR_DATA_DIR "/ecg1000.dat"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline std::unique_ptr<TSignalBuffer16> demoSignal(const QByteArray& frames)
{
    const int count = frames.size() / FrameBytes;
    auto signal = std::make_unique<TSignalBuffer16>(DemoLeads, DemoRate, 4096, std::max(count, 1));
    signal->setRange(-300.0, 300.0);
    signal->appendInterleaved(frames.constData(), frames.size());
    return signal;
}

// The live path of the monitor: raw 1000 Hz frames, decimated to 500 Hz,
// through the display filter chain.
struct LiveDemo
{
    LiveDemo()
        : raw(DemoLeads, DemoRate, 4096, 40 * DemoRate)
        , decimated(DemoLeads, DemoRate / 2, 4096, 40 * DemoRate / 2)
        , decimator(2)
        , chain(&decimated)
    {
        raw.setRange(-300.0, 300.0);
        decimated.setRange(-300.0, 300.0);
        decimator.attach(&raw, 0);
        decimator.setSink(&decimated);
        chain.configure(true, true, true);
    }

    // Feeds the first `seconds` of the recording in 100 ms blocks.
    void feed(const QByteArray& frames, double seconds)
    {
        const int block = DemoRate / 10 * FrameBytes;
        const int total = std::min(frames.size(), int(seconds * DemoRate) * FrameBytes);
        for (int offset = 0; offset < total; offset += block) {
            raw.appendInterleaved(frames.constData() + offset, std::min(block, total - offset));
            decimator.process();
            chain.process();
        }
    }

    TSignal* output() const { return chain.output(); }

    TSignalBuffer16 raw;
    TSignalBuffer16 decimated;
    TBlockMeanDecimator decimator;
    TRealtimeFilterChain chain;
};

// QRS times of a lead found as the largest deflection (either polarity,
// from the lead's median) of every excursion beyond 60 % of the lead's
// largest one, at least 300 ms apart.
inline std::vector<double> findQrsTimes(const TSignal& signal, int lead)
{
    const int count = signal.appendedCount();
    std::vector<double> values(std::size_t(std::max(count, 0)));
    signal.readRange(lead, 0, count, values.data());
    if (values.empty())
        return {};
    std::vector<double> sorted = values;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (double& value : values)
        value = std::abs(value - median);
    const double top = *std::max_element(values.begin(), values.end());
    const int refractory = signal.samplingRate() * 3 / 10;
    std::vector<double> times;
    for (int i = 0; i < count;) {
        if (values[std::size_t(i)] < 0.6 * top) {
            ++i;
            continue;
        }
        int peak = i;
        for (int j = i; j < std::min(count, i + refractory); ++j) {
            if (values[std::size_t(j)] > values[std::size_t(peak)])
                peak = j;
        }
        times.push_back(double(peak) / signal.samplingRate());
        i = peak + refractory;
    }
    return times;
}

// A recorded study of the demo recording: its ECG file (written, then
// opened for review), its beats file and the review display chain.
struct RecordedDemo
{
    explicit RecordedDemo(const QByteArray& frames)
    {
        const QString ecgPath = folder.filePath(QStringLiteral("study.pxecg"));
        {
            TEcgFile recording(ecgPath, DemoLeads, DemoRate, TEcgFile::DefaultHeaderSize, true);
            recording.appendInterleaved(frames.constData(), frames.size());
        }
        ecg = std::make_unique<TEcgFile>(ecgPath, DemoLeads, DemoRate);
        ecg->setAmplitudeRange(-300.0, 300.0);
        beats = std::make_unique<TBeatsFile>(ecg.get(), folder.filePath(QStringLiteral("study.pxbeats")),
                                             TBeatsFile::DefaultHeaderSize, true);
        chain = std::make_unique<TReviewFilterChain>(ecg.get());
        chain->configure(true, true, true);
        qrsTimes = findQrsTimes(*chain->output(), QrsLead);
        int number = 0;
        for (TBeat beat : beatsAt(*ecg, qrsTimes)) {
            beat.setNumber(number++);
            beats->append(beat);
        }
    }

    TSignal* output() const { return chain->output(); }

    QTemporaryDir folder;
    std::unique_ptr<TEcgFile> ecg;
    std::unique_ptr<TBeatsFile> beats;
    std::unique_ptr<TReviewFilterChain> chain;
    std::vector<double> qrsTimes;
};

// Saves a PNG of the widget into the build folder's "renderings" folder.
inline bool saveRendering(QWidget& widget, const QString& name)
{
    const QDir folder(QStringLiteral(VAROR_RENDER_DIR));
    folder.mkpath(QStringLiteral("."));
    return widget.grab().save(folder.filePath(name + QStringLiteral(".png")));
}

} // namespace display_test
