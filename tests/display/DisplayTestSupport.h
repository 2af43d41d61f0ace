// Shared helpers of the display tests: a signal that notices reads past
// its newest sample, image grabbing and pixel counting.
#pragma once

#include "analysis/beats/TBeat.h"
#include "analysis/signal/TSignal.h"
#include "display/TSampleRunSource.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <climits>
#include <functional>
#include <vector>

namespace display_test {

// Generated samples held whole; every read of a position at or beyond the
// appended count is counted, so that tests can prove a display never asks
// for samples the signal does not have.
class ProbeSignal final : public TSignal
{
public:
    using Generator = std::function<int(int channel, int index)>;

    ProbeSignal(int channels, int rate, int blockSize = 64)
        : TSignal(channels, rate, blockSize, 16)
        , m_samples(std::size_t(channels))
    {
        setRange(-300.0, 300.0);
    }

    void appendGenerated(int count, const Generator& value)
    {
        const int first = appendedCount();
        for (int channel = 0; channel < channelCount(); ++channel) {
            for (int i = 0; i < count; ++i)
                m_samples[std::size_t(channel)].push_back(value(channel, first + i));
        }
        setAppendedCount(first + count);
        notifyListeners();
    }

    int sample(int channel, int index) const override
    {
        note(index);
        if (index < 0 || index >= appendedCount() || channel < 0 || channel >= channelCount())
            return 0;
        return m_samples[std::size_t(channel)][std::size_t(index)];
    }
    void readRange(int channel, int start, int count, double* dst) const override
    {
        for (int i = 0; i < count; ++i)
            dst[i] = sample(channel, start + i);
    }
    qint16* readBlock(int, int) const override { return nullptr; }
    void releaseBlock(qint16* block) const override { delete[] block; }

    int readsPastEnd() const { return m_readsPastEnd; }

private:
    void note(int index) const
    {
        if (index >= appendedCount())
            ++m_readsPastEnd;
    }

    std::vector<std::vector<int>> m_samples;
    mutable int m_readsPastEnd = 0;
};

// Counts per millivolt on the device scale (+-300 mV over 16 bits).
constexpr double CountsPerMv = 65536.0 / 600.0;

inline int millivolts(double mv)
{
    return int(mv * CountsPerMv);
}

// A press or release of the left button, or a move with `buttons` held.
inline void sendMouse(QWidget& widget, QEvent::Type type, const QPoint& at, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

inline QImage grabImage(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline bool near(QRgb pixel, const QColor& color, int tolerance = 8)
{
    return std::abs(qRed(pixel) - color.red()) <= tolerance && std::abs(qGreen(pixel) - color.green()) <= tolerance
        && std::abs(qBlue(pixel) - color.blue()) <= tolerance;
}

inline int countPixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& match)
{
    int count = 0;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            count += match(image.pixel(x, y)) ? 1 : 0;
    }
    return count;
}

inline int countColor(const QImage& image, const QRect& area, const QColor& color, int tolerance = 8)
{
    return countPixels(image, area, [&](QRgb p) { return near(p, color, tolerance); });
}

// Columns of the image holding at least `minimum` pixels of the colour.
inline std::vector<int> columnsWith(const QImage& image, const QColor& color, int minimum = 1,
                                    int tolerance = 8)
{
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x) {
        if (countColor(image, QRect(x, 0, 1, image.height()), color, tolerance) >= minimum)
            columns.push_back(x);
    }
    return columns;
}

// Image pixels per millimetre of the screen, taken from the screen itself.
inline double imagePixelsPerMm(const QWidget& widget)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen->geometry().width() / screen->physicalSize().width() * widget.devicePixelRatioF();
}

// Starts of the runs of consecutive values (a run continues while the
// next value is at most `gap` further).
inline std::vector<int> runStarts(const std::vector<int>& values, int gap = 1)
{
    std::vector<int> starts;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i == 0 || values[i] - values[i - 1] > gap)
            starts.push_back(values[i]);
    }
    return starts;
}

// A beat at a QRS time as the detector would report it: valid, with its
// RR interval and running mean RR, main QRS wave upright in every lead.
inline TBeat beatAt(const TSignal& signal, double qrsTime, double rr, double meanRr)
{
    TBeat beat(&signal);
    beat.setWindowStart(qrsTime - 0.3);
    beat.setWindowLength(0.7);
    beat.setValue(TBeat::QrsTime, qrsTime);
    beat.setValue(TBeat::RrInterval, rr);
    beat.setValue(TBeat::MeanRrInterval, meanRr);
    for (int lead = 0; lead < signal.channelCount(); ++lead) {
        beat.setMark(lead, TBeat::MainQrsWave, qrsTime);
        beat.setMark(lead, TBeat::QrsPolarity, 1);
    }
    return beat;
}

// Beats at the given QRS times, each with the RR to the one before and the
// mean RR of all of them.
inline std::vector<TBeat> beatsAt(const TSignal& signal, const std::vector<double>& times)
{
    std::vector<TBeat> beats;
    if (times.size() < 2)
        return beats;
    const double meanRr = (times.back() - times.front()) / double(times.size() - 1);
    for (std::size_t i = 1; i < times.size(); ++i)
        beats.push_back(beatAt(signal, times[i], times[i] - times[i - 1], meanRr));
    return beats;
}

} // namespace display_test

namespace display_test {

// Flat, with a 2 mV spike at every whole second plus half a second.
inline ProbeSignal::Generator spikes(int rate)
{
    return [rate](int, int index) { return index % rate == rate / 2 ? millivolts(2.0) : 0; };
}

// Samples [first, last] of every channel are highlighted (all by default).
class MarkedRange : public TSampleRunSource
{
public:
    explicit MarkedRange(int first = INT_MIN, int last = INT_MAX) : m_first(first), m_last(last) {}
    bool nextRun(int, int first, int last, int& runFirst, int& runLast) const override
    {
        runFirst = std::max(first, m_first);
        runLast = std::min(last, m_last);
        return runFirst <= runLast;
    }

private:
    int m_first, m_last;
};

// A flat signal with a pulse of `mv` millivolts lasting 100 ms around
// every whole second plus half a second: a beat whose QRS time is k + 0.5.
inline ProbeSignal::Generator pulses(int rate, double mv)
{
    return [rate, mv](int, int index) {
        const int phase = index % rate - rate / 2;
        return std::abs(phase) < rate / 20 ? millivolts(mv) : 0;
    };
}

// The QRS times of pulses() over `seconds` of signal, from the second beat.
inline std::vector<double> pulseTimes(double seconds)
{
    std::vector<double> times;
    for (double t = 0.5; t < seconds - 0.5; t += 1.0)
        times.push_back(t);
    return times;
}

} // namespace display_test
