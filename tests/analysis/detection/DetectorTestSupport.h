#pragma once

// Helpers shared by the detector tests: running a detector over synthetic
// records in one go or piece by piece, and matching its beats to the truth.
#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatListener.h"
#include "analysis/beats/TBeatStore.h"
#include "analysis/detection/TLeadQrsDetector.h"
#include "analysis/detection/TQrsDetector.h"
#include "analysis/detection/TScaleWindow.h"
#include "analysis/detection/TWaveRecordQueue.h"
#include "analysis/detection/TWaveletTransform.h"
#include "tests/common/ecgsynth/SyntheticEcg.h"

#include <cmath>
#include <vector>

namespace detectortest {

// Keeps every beat it is told of.
class BeatCollector : public TBeatListener
{
public:
    void beatDetected(const TBeat& beat) override { beats.push_back(beat); }
    std::vector<TBeat> beats;

    std::vector<TBeat> valid() const
    {
        std::vector<TBeat> kept;
        for (const TBeat& beat : beats) {
            if (beat.isValid())
                kept.push_back(beat);
        }
        return kept;
    }
};

// A detector started from time 0 on a signal, telling a collector and a
// beat store.
struct DetectorRun
{
    DetectorRun(const TSignal& signal, int leads)
        : store(leads)
    {
        detector.setBeatStore(&store);
        detector.addListener(&collector);
        detector.start(signal, 0.0);
    }

    TBeatStore store;
    BeatCollector collector;
    TQrsDetector detector;
};

// Runs a detector over the whole record held in one signal, with one run().
inline std::vector<TBeat> detectAtOnce(const TSignal& signal, bool searchPAndT = false, double start = 0.0,
                                       double end = 0.0)
{
    TQrsDetector detector(searchPAndT);
    BeatCollector collector;
    detector.addListener(&collector);
    detector.start(signal, start, end);
    detector.run();
    return collector.beats;
}

inline std::vector<TBeat> detectAtOnce(const ecgsynth::Record& record, bool searchPAndT = false)
{
    return detectAtOnce(*ecgsynth::toSignal(record), searchPAndT);
}

// Runs a detector over a whole record and finishes it at its end.
inline std::vector<TBeat> detectToEnd(const ecgsynth::Record& record)
{
    auto signal = ecgsynth::toSignal(record);
    TQrsDetector detector;
    BeatCollector collector;
    detector.addListener(&collector);
    detector.start(*signal, 0.0);
    detector.run();
    detector.finish();
    return collector.beats;
}

// Feeds the record in pieces of the given sizes (cycled) and runs the
// detector whenever the acquisition pipeline would: when the signal holds
// 0.2 s more than the last analysed time plus the lag.
inline std::vector<TBeat> detectInPieces(const ecgsynth::Record& record, const std::vector<int>& pieces)
{
    auto signal = ecgsynth::makeSignal(record);
    TQrsDetector detector;
    BeatCollector collector;
    detector.addListener(&collector);
    detector.start(*signal, 0.0, 0.0);
    std::size_t next = 0;
    for (int at = 0; at < record.length();) {
        const int piece = pieces[next++ % pieces.size()];
        ecgsynth::append(*signal, record, at, piece);
        at += piece;
        const double duration = double(signal->appendedCount()) / signal->samplingRate();
        if (detector.lastAnalysedTime() + detector.lagTime() + 0.2 <= duration)
            detector.run();
    }
    return collector.beats;
}

// Runs one lead's detector over the ranges [from, to) of a signal, each in
// steps of `step` samples as the detector drives it, and returns its
// records.
struct Range
{
    int from;
    int to;
};

inline std::vector<TLeadWaveRecord> detectLead(const TSignal& signal, int lead, TLeadQrsDetector& detector,
                                               const std::vector<Range>& ranges, int step = 62)
{
    const int lag = signal.samplingRate();
    TWaveletTransform transform(signal, std::max(0, ranges.front().from - detector.lookBehind()),
                                signal.appendedCount() + lag);
    TScaleWindow window(detector.lookBehind() + step + lag);
    TWaveRecordQueue queue;
    std::vector<TLeadWaveRecord> records;
    for (const Range& range : ranges) {
        for (int at = range.from; at + step <= range.to; at += step) {
            transform.advanceTo(at + step + lag);
            window.load(transform, lead, at - detector.lookBehind(), transform.computedEnd());
            detector.process(window, at, at + step, queue);
            for (; !queue.isEmpty(); queue.pop())
                records.push_back(queue.front());
        }
    }
    return records;
}

// The index of the true beat nearest to a sample position.
inline int nearestBeat(const ecgsynth::Record& record, int position)
{
    int best = 0;
    for (int k = 1; k < int(record.beats.size()); ++k) {
        if (std::fabs(record.beats[std::size_t(k)] * record.rate - position)
            < std::fabs(record.beats[std::size_t(best)] * record.rate - position))
            best = k;
    }
    return best;
}

struct Match
{
    int found = 0;       // true beats with a detected beat within the tolerance
    int missed = 0;      // true beats without one
    int extra = 0;       // detected beats matching no true beat
    double worst = 0.0;  // largest distance of a matched beat, s
    std::vector<int> truthOf; // per detected beat: index of its true beat, or -1
};

// Matches detected QRS times to true beat times within `tolerance`,
// counting only true beats in [from, to) (s) and beats detected there.
inline Match match(const std::vector<double>& truth, const std::vector<TBeat>& beats, double from, double to,
                   double tolerance = 0.05)
{
    Match result;
    std::vector<bool> used(truth.size(), false);
    for (const TBeat& beat : beats) {
        const double time = beat.value(TBeat::QrsTime);
        int best = -1;
        for (std::size_t k = 0; k < truth.size(); ++k) {
            if (!used[k] && std::fabs(truth[k] - time) <= tolerance
                && (best < 0 || std::fabs(truth[k] - time) < std::fabs(truth[std::size_t(best)] - time)))
                best = int(k);
        }
        result.truthOf.push_back(best);
        if (best >= 0) {
            used[std::size_t(best)] = true;
            result.worst = std::max(result.worst, std::fabs(truth[std::size_t(best)] - time));
        } else if (time >= from && time < to) {
            ++result.extra;
        }
    }
    for (std::size_t k = 0; k < truth.size(); ++k) {
        if (truth[k] >= from && truth[k] < to)
            used[k] ? ++result.found : ++result.missed;
    }
    return result;
}

} // namespace detectortest
