#include "analysis/detection/TQrsDetector.h"

#include "analysis/detection/TBeatAssembler.h"
#include "analysis/beats/TBeatStore.h"
#include "analysis/detection/TLeadQrsDetector.h"
#include "analysis/detection/TQrsFusion.h"
#include "analysis/detection/TScaleWindow.h"
#include "analysis/signal/TSignal.h"
#include "analysis/detection/TWaveletTransform.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double Lag = 1.0;        // s behind the signal's end
constexpr double Step = 0.25;      // s analysed per step
constexpr int ScaleBlocks = 10;    // blocks kept by each scale at least
constexpr double Separation = 0.2; // s after an emitted beat
constexpr double ActivityReach = 0.075; // s around a fused beat, the fusion window
constexpr double LongestMeanRr = 2.0;   // s; the running mean takes in no longer RR

} // namespace

// Everything that lives from start() to stop().
struct TQrsDetector::RunState
{
    RunState(const TSignal& signal, const TQrsDetectorParameters& parameters, int start, int lag, double startTime,
             double endTime, TBeatListener& output);

    const TSignal& signal;
    int leadCount;
    int step;
    std::vector<TLeadQrsDetector> leads;
    int lookBehind;
    TWaveletTransform transform;
    // One per lead, so that each load copies only what is new.
    std::vector<TScaleWindow> windows;
    TQrsFusion fusion;
    TBeatAssembler assembler;
    TQrsFusion::Records records;
    std::vector<double> activityWindow;
};

namespace {

std::vector<TLeadQrsDetector> makeLeads(int count, const TQrsDetectorParameters& parameters, int rate, int start)
{
    std::vector<TLeadQrsDetector> leads;
    leads.reserve(std::size_t(count));
    for (int lead = 0; lead < count; ++lead)
        leads.emplace_back(parameters, rate, start);
    return leads;
}

} // namespace

// The scales keep at least ten blocks, and always what one step reads:
// the lead's look-behind, the step and the lag, with a second to spare.
TQrsDetector::RunState::RunState(const TSignal& signal, const TQrsDetectorParameters& parameters, int start,
                                 int lag, double startTime, double endTime, TBeatListener& output)
    : signal(signal)
    , leadCount(std::min(signal.channelCount(), int(TSignal::MaxChannels)))
    , step(std::max(1, int(std::lround(Step * signal.samplingRate()))))
    , leads(makeLeads(leadCount, parameters, signal.samplingRate(), start))
    , lookBehind(leads.front().lookBehind())
    , transform(signal, std::max(0, start - lookBehind),
                std::max(ScaleBlocks * signal.blockSize(), lookBehind + step + lag + signal.samplingRate()))
    , windows(std::size_t(leadCount), TScaleWindow(lookBehind + step + lag))
    , fusion(leadCount, signal.samplingRate())
    , assembler(signal, startTime, endTime, output)
    , activityWindow(std::size_t(2 * int(ActivityReach * signal.samplingRate()) + 1))
{
}

TQrsDetector::TQrsDetector(bool searchPAndT)
{
    m_parameters.searchPAndT = searchPAndT;
}

TQrsDetector::~TQrsDetector() = default;

void TQrsDetector::addListener(TBeatListener* listener)
{
    if (listener != nullptr && std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void TQrsDetector::removeListener(TBeatListener* listener)
{
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

void TQrsDetector::start(const TSignal& signal, double startTime, double endTime)
{
    stop();
    m_rate = signal.samplingRate();
    m_lag = int(std::lround(Lag * m_rate));
    m_lastAnalysed = std::max(0, signal.timeToSamples(startTime));
    TBeatListener& output = *this;
    m_run = std::make_unique<RunState>(signal, m_parameters, m_lastAnalysed, m_lag, startTime,
                                       endTime > startTime ? endTime : 0.0, output);
}

void TQrsDetector::stop()
{
    m_run.reset();
}

double TQrsDetector::lastAnalysedTime() const
{
    return m_rate > 0 ? double(m_lastAnalysed) / m_rate : 0.0;
}

double TQrsDetector::lagTime() const
{
    return m_rate > 0 ? double(m_lag) / m_rate : Lag;
}

void TQrsDetector::run()
{
    if (m_run == nullptr)
        return;
    const int limit = m_run->signal.appendedCount() - m_lag;
    while (m_lastAnalysed + m_run->step <= limit) {
        analyse(m_lastAnalysed, m_lastAnalysed + m_run->step);
        m_lastAnalysed += m_run->step;
    }
}

void TQrsDetector::finish()
{
    if (m_run == nullptr)
        return;
    RunState& run = *m_run;
    const int end = run.signal.appendedCount();
    // The scales near the end need samples beyond it; the last one is held.
    run.transform.advancePastEnd(end + m_lag);
    while (m_lastAnalysed < end) {
        const int to = std::min(m_lastAnalysed + run.step, end);
        analyse(m_lastAnalysed, to);
        m_lastAnalysed = to;
    }
    const int scalesEnd = run.transform.computedEnd();
    for (int lead = 0; lead < run.leadCount; ++lead) {
        TScaleWindow& window = run.windows[std::size_t(lead)];
        window.load(run.transform, lead, m_lastAnalysed - run.lookBehind, scalesEnd);
        run.leads[std::size_t(lead)].finish(window, m_lastAnalysed, run.fusion.queue(lead));
    }
    run.fusion.finish();
    fuse();
    run.assembler.finish();
    stop();
}

void TQrsDetector::analyse(int from, int to)
{
    RunState& run = *m_run;
    run.transform.advanceTo(to + m_lag);
    const int scalesEnd = run.transform.computedEnd();
    for (int lead = 0; lead < run.leadCount; ++lead) {
        TScaleWindow& window = run.windows[std::size_t(lead)];
        window.load(run.transform, lead, from - run.lookBehind, scalesEnd);
        TLeadQrsDetector& detector = run.leads[std::size_t(lead)];
        detector.process(window, from, to, run.fusion.queue(lead));
        run.fusion.setUnreported(lead, detector.unreportedQrs(), detector.unreportedStrength());
    }
    fuse();
}

// Joins the queued per-lead records into beats and assembles them.
void TQrsDetector::fuse()
{
    RunState& run = *m_run;
    const TBeatAssembler& assembler = run.assembler;
    const double previousTime = assembler.hasPrevious() ? assembler.previous().value(TBeat::QrsTime) : 0.0;
    run.fusion.beginRun(previousTime > 0.0 ? int(std::lround((previousTime + Separation) * m_rate)) : 0);
    // When no lead carried the ECG at the last candidate (all flat in a
    // pause or a drop-out, or all lost in noise), every lead anchors again:
    // otherwise no candidate would ever be assembled, and no lead could
    // show that it carries the ECG once more.
    bool anyCarries = false;
    for (int lead = 0; lead < run.leadCount; ++lead)
        anyCarries = anyCarries || assembler.carriesEcg(lead);
    for (int lead = 0; lead < run.leadCount; ++lead)
        run.fusion.setAnchor(lead, assembler.carriesEcg(lead) || !anyCarries);
    int position = 0;
    while (run.fusion.next(run.records, position)) {
        measureActivity(position);
        run.assembler.assemble(position, run.records);
    }
}

void TQrsDetector::beatDetected(const TBeat& beat)
{
    if (m_store != nullptr)
        m_store->add(beat);
    for (TBeatListener* listener : m_listeners)
        listener->beatDetected(beat);
}

// How much every lead shows at a fused beat, against its own QRSs.
void TQrsDetector::measureActivity(int position)
{
    RunState& run = *m_run;
    const int reach = int(run.activityWindow.size() / 2);
    for (int lead = 0; lead < run.leadCount; ++lead) {
        run.transform.read(4, lead, position - reach, int(run.activityWindow.size()), run.activityWindow.data());
        double modulus = 0.0;
        for (double value : run.activityWindow)
            modulus = std::max(modulus, std::fabs(value));
        const double typical = run.leads[std::size_t(lead)].typicalModulus();
        run.records[std::size_t(lead)].activity =
            typical > 0.0 ? float(modulus / typical) : TLeadWaveRecord::UnknownActivity;
    }
}

int TQrsDetector::heartRate(const TBeatStore& store)
{
    if (store.count() == 0)
        return 0;
    const double meanRr = store.read(store.count() - 1).value(TBeat::MeanRrInterval);
    const int rate = meanRr > 0.0 ? int(60.0 / meanRr) : 0;
    return rate >= 1 ? rate : 0;
}

double TQrsDetector::secondsWithoutQrs(const TBeatStore& store, double analysedTime, double since)
{
    if (store.count() > 0) {
        const TBeat newest = store.read(store.count() - 1);
        // The running mean, or while it is unknown the beat's own RR, at
        // most the longest RR the mean takes in.
        double rr = newest.value(TBeat::MeanRrInterval);
        if (rr <= 0.0)
            rr = newest.value(TBeat::RrInterval);
        if (rr <= 0.0)
            rr = TQrsDetectorParameters().initialMeanRr;
        since = std::max(since, newest.value(TBeat::QrsTime) + 2.0 * std::min(rr, LongestMeanRr));
    }
    return std::max(0.0, analysedTime - since);
}
