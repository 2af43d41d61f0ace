#include "analysis/detection/TBeatAssembler.h"

#include "analysis/beats/TBeatListener.h"
#include "analysis/signal/TSignal.h"

#include <algorithm>
#include <array>

namespace {

constexpr double BeatSeparation = 0.2;     // s after the previous beat
constexpr double PendingSeparation = 0.15; // s after a held-back beat
constexpr int WeightedLeads = 12;
// The weights speak for the twelve standard leads only when at least this
// many of them carry signal; a record of a few leads (two-lead Holter or
// arrhythmia records) is judged by the plain share of its usable leads,
// or one lead's weight would outvote the others.
constexpr int LeastWeightedUsable = 6;
constexpr double WeightedAgreement = 0.3;
constexpr double PlainAgreement = 0.2;
constexpr double StrongAgreement = 0.6;
constexpr double FairAgreement = 0.4;
constexpr double MaxRr = 2.0;              // s; longer RRs stay out of the mean
constexpr int RingWarmUp = 8;              // beats emitted before the mean is selective
constexpr int StaleRing = 3;               // beats without a push that clear the ring
constexpr int MinRingEntries = 5;
// Lead evidence, against each lead's typical QRS modulus: a lead whose
// modulus near a beat reaches ActiveShare of it shows a QRS there even when
// its maxima did not pair; one below QuietShare shows nothing there.
constexpr float ActiveShare = 0.6f;
constexpr float QuietShare = 1.0f / 3.0f;

// Lead weights for the agreement of 12 or more leads: limb leads 1, V1-V3
// 5, V4-V6 10.
int leadWeight(int lead)
{
    return lead < 6 ? 1 : lead < 9 ? 5 : 10;
}

// Integer mean of a wave's positions over the leads where it is present.
bool meanPosition(const TQrsFusion::Records& records, int leads, qint32 TLeadWaveRecord::*wave, int& mean)
{
    qint64 sum = 0;
    int count = 0;
    for (int lead = 0; lead < leads; ++lead) {
        const qint32 position = records[std::size_t(lead)].*wave;
        if (TLeadWaveRecord::isPresent(position)) {
            sum += position;
            ++count;
        }
    }
    if (count == 0)
        return false;
    mean = int(sum / count);
    return true;
}

} // namespace

TBeatAssembler::TBeatAssembler(const TSignal& signal, double startTime, double endTime, TBeatListener& output)
    : m_signal(signal)
    , m_output(output)
    , m_leadCount(std::min(signal.channelCount(), int(TSignal::MaxChannels)))
    , m_period(1.0 / signal.samplingRate())
    , m_startTime(startTime)
    , m_endTime(endTime)
    , m_usability(signal)
    , m_previous(&signal)
    , m_pending(&signal)
    , m_following(m_leadCount)
{
    m_signalUsable.fill(true);
}

bool TBeatAssembler::skipped(double time)
{
    if (time < m_startTime || (m_endTime > 0.0 && time > m_endTime))
        return true;
    if (m_hasPrevious && time <= m_previous.value(TBeat::QrsTime) + BeatSeparation)
        return true;
    if (m_hasPending && time <= m_pending.value(TBeat::QrsTime) + PendingSeparation)
        m_hasPending = false;
    return m_leadCount < 2;
}

// A lead shows a beat when it detected it, or when its modulus there is
// as large as that of a QRS of its own.
bool TBeatAssembler::shows(const TLeadWaveRecord& record)
{
    return record.isDetected() || record.activity >= ActiveShare;
}

void TBeatAssembler::assemble(int position, TQrsFusion::Records& records)
{
    const double time = seconds(position);
    if (skipped(time))
        return;
    bool detected[TSignal::MaxChannels];
    for (int lead = 0; lead < m_leadCount; ++lead)
        detected[lead] = records[std::size_t(lead)].isDetected();
    m_following.record(detected, makeBeat(time, position, records));
}

// Answers whether the candidate became a beat, emitted or held back.
bool TBeatAssembler::makeBeat(double time, int position, TQrsFusion::Records& records)
{
    bool usable[TSignal::MaxChannels];
    checkUsability(position, records, usable);
    const double ratio = agreement(records, usable);
    if (ratio < 0.0)
        return false;
    TBeat beat = build(time, records, usable);
    double rr = 0.0;
    bool heldBack = false;
    if (m_hasPrevious) {
        rr = medianRr(beat);
        const double mean = m_previous.value(TBeat::MeanRrInterval);
        const Prematurity kind = prematurity(ratio, rr, mean);
        if (kind == Prematurity::Dropped)
            return false;
        heldBack = kind == Prematurity::HeldBack;
        if (m_hasPending)
            rr = resolvePending(rr, mean);
    }
    beat.setValue(TBeat::RrInterval, rr);
    beat.setValue(TBeat::MeanRrInterval, runningMean(rr, heldBack));
    beat.setValue(TBeat::LeadAgreement, ratio);
    if (heldBack) {
        m_pending = beat;
        m_hasPending = true;
        return true;
    }
    emit(beat);
    m_previous = beat;
    m_hasPrevious = true;
    return true;
}

void TBeatAssembler::finish()
{
    if (!m_hasPending)
        return;
    m_hasPending = false;
    m_pending.setBeatClass(TBeat::Rejected);
    emit(m_pending);
}

// Signal checks first; then leads that do not follow the beats are left
// out, unless none would be left that does.
void TBeatAssembler::checkUsability(int position, TQrsFusion::Records& records, bool* usable)
{
    m_usability.judge(position, m_signalUsable.data());
    bool anyFollowing = false;
    for (int lead = 0; lead < m_leadCount; ++lead)
        anyFollowing = anyFollowing || (m_signalUsable[std::size_t(lead)] && m_following.follows(lead));
    for (int lead = 0; lead < m_leadCount; ++lead) {
        usable[lead] = m_signalUsable[std::size_t(lead)] && (m_following.follows(lead) || !anyFollowing);
        if (!usable[lead])
            records[std::size_t(lead)] = TLeadWaveRecord();
    }
}

bool TBeatAssembler::carriesEcg(int lead) const
{
    return m_signalUsable[std::size_t(lead)] && m_following.follows(lead);
}

double TBeatAssembler::agreement(const TQrsFusion::Records& records, const bool* usable) const
{
    const bool weighted = m_leadCount >= WeightedLeads
        && std::count(usable, usable + WeightedLeads, true) >= LeastWeightedUsable;
    const int leads = weighted ? WeightedLeads : m_leadCount;
    int usableWeight = 0;
    int detectedWeight = 0;
    bool detected = false;
    for (int lead = 0; lead < leads; ++lead) {
        const int weight = weighted ? leadWeight(lead) : 1;
        if (usable[lead])
            usableWeight += weight;
        if (usable[lead] && shows(records[std::size_t(lead)]))
            detectedWeight += weight;
        detected = detected || (usable[lead] && records[std::size_t(lead)].isDetected());
    }
    // Modulus alone never makes a beat: some usable lead must have found it.
    if (usableWeight < 1 || !detected)
        return -1.0;
    const double ratio = double(detectedWeight) / usableWeight;
    if (ratio < (weighted ? WeightedAgreement : PlainAgreement))
        return -1.0;
    if (isLone(records, usable) && anyQuietLead(records, usable, leads))
        return -1.0;
    return ratio;
}

// A beat that one usable lead alone shows is dropped when another usable
// lead is quiet at it: such a lone detection is most often that lead's
// noise while a clean lead sees nothing.
bool TBeatAssembler::isLone(const TQrsFusion::Records& records, const bool* usable) const
{
    int showing = 0;
    for (int lead = 0; lead < m_leadCount; ++lead)
        showing += usable[lead] && shows(records[std::size_t(lead)]) ? 1 : 0;
    return showing == 1;
}

bool TBeatAssembler::anyQuietLead(const TQrsFusion::Records& records, const bool* usable, int leads)
{
    for (int lead = 0; lead < leads; ++lead) {
        const TLeadWaveRecord& record = records[std::size_t(lead)];
        if (usable[lead] && !shows(record) && record.activity != TLeadWaveRecord::UnknownActivity
            && record.activity < QuietShare)
            return true;
    }
    return false;
}

TBeat TBeatAssembler::build(double time, const TQrsFusion::Records& records, const bool* usable) const
{
    TBeat beat(&m_signal);
    beat.setValue(TBeat::QrsTime, time);
    for (int lead = 0; lead < m_leadCount; ++lead)
        setLeadMarks(beat, lead, records[std::size_t(lead)], usable[lead]);
    setWindow(beat, time, records);
    return beat;
}

void TBeatAssembler::setLeadMarks(TBeat& beat, int lead, const TLeadWaveRecord& record, bool usable) const
{
    beat.setMark(lead, TBeat::LeadUsable, usable ? 1.0 : 0.0);
    const qint32 waves[] = {record.p, record.firstQrs, record.mainQrs, record.lastQrs, record.t};
    for (int kind = TBeat::PWave; kind <= TBeat::TWave; ++kind) {
        if (TLeadWaveRecord::isPresent(waves[kind - TBeat::PWave]))
            beat.setMark(lead, TBeat::MarkKind(kind), seconds(waves[kind - TBeat::PWave]));
    }
    beat.setMark(lead, TBeat::QrsPolarity, record.qrsPolarity);
    beat.setMark(lead, TBeat::PPolarity, record.pPolarity);
    beat.setMark(lead, TBeat::TPolarity, record.tPolarity);

    const bool hasP = TLeadWaveRecord::isPresent(record.p);
    const bool hasFirst = TLeadWaveRecord::isPresent(record.firstQrs);
    const bool hasMain = TLeadWaveRecord::isPresent(record.mainQrs);
    const bool hasLast = TLeadWaveRecord::isPresent(record.lastQrs);
    const bool hasT = TLeadWaveRecord::isPresent(record.t);
    const double p = seconds(record.p), first = seconds(record.firstQrs), main = seconds(record.mainQrs);
    const double last = seconds(record.lastQrs), t = seconds(record.t);
    if (hasFirst && hasLast)
        beat.setMark(lead, TBeat::QrsWindow, (last + 0.02) - (first - 0.01));
    else if (hasFirst && hasMain)
        beat.setMark(lead, TBeat::QrsWindow, (main + 0.02) - (first - 0.01));
    else if (hasMain && hasLast)
        beat.setMark(lead, TBeat::QrsWindow, (last + 0.02) - (main - 0.02));
    if (hasFirst && hasP)
        beat.setMark(lead, TBeat::PToQrsWindow, (first - 0.01) - (p + 0.01));
    if (hasT && hasFirst)
        beat.setMark(lead, TBeat::QrsToTWindow, (t + 0.1) - (first - 0.01));
    else if (hasT && hasMain)
        beat.setMark(lead, TBeat::QrsToTWindow, (t + 0.1) - (main - 0.02));
}

void TBeatAssembler::setWindow(TBeat& beat, double time, const TQrsFusion::Records& records) const
{
    int mean = 0;
    double start = time - 0.2;
    if (meanPosition(records, m_leadCount, &TLeadWaveRecord::p, mean))
        start = seconds(mean) - 0.05;
    else if (meanPosition(records, m_leadCount, &TLeadWaveRecord::firstQrs, mean))
        start = seconds(mean) - 0.1;
    else if (meanPosition(records, m_leadCount, &TLeadWaveRecord::mainQrs, mean))
        start = seconds(mean) - 0.15;
    double end = time + 0.25;
    if (meanPosition(records, m_leadCount, &TLeadWaveRecord::t, mean))
        end = seconds(mean) + 0.1;
    else if (meanPosition(records, m_leadCount, &TLeadWaveRecord::lastQrs, mean))
        end = seconds(mean) + 0.15;
    else if (meanPosition(records, m_leadCount, &TLeadWaveRecord::mainQrs, mean))
        end = seconds(mean) + 0.2;
    beat.setWindowStart(start);
    beat.setWindowLength(end - start);
}

double TBeatAssembler::medianRr(const TBeat& beat) const
{
    const double time = beat.value(TBeat::QrsTime);
    const double previousTime = m_previous.value(TBeat::QrsTime);
    std::array<double, TSignal::MaxChannels> intervals;
    int count = 0;
    for (int lead = 0; lead < m_leadCount; ++lead) {
        const bool both = beat.isMarkSet(lead, TBeat::MainQrsWave) && m_previous.isMarkSet(lead, TBeat::MainQrsWave);
        const double interval = both ? beat.mark(lead, TBeat::MainQrsWave) - m_previous.mark(lead, TBeat::MainQrsWave)
                                     : time - previousTime;
        if (interval > 0.0)
            intervals[std::size_t(count++)] = interval;
    }
    if (count == 0)
        return 0.0;
    std::sort(intervals.begin(), intervals.begin() + count);
    return intervals[std::size_t(count / 2)];
}

TBeatAssembler::Prematurity TBeatAssembler::prematurity(double ratio, double rr, double mean)
{
    if (ratio >= StrongAgreement || rr <= 0.0 || rr >= 1.0 || mean <= 0.0 || mean >= 2.0)
        return Prematurity::Normal;
    const bool fair = ratio >= FairAgreement;
    if (rr < (fair ? 0.5 : 0.6) * mean)
        return Prematurity::Dropped;
    if (rr < (fair ? 0.75 : 0.85) * mean)
        return Prematurity::HeldBack;
    return Prematurity::Normal;
}

double TBeatAssembler::resolvePending(double rr, double mean)
{
    m_hasPending = false;
    const double share = mean > 0.0 ? rr / mean : 0.0;
    if (share > 1.7 && share < 4.0) {
        emit(m_pending);
        m_previous = m_pending;
        return rr - m_pending.value(TBeat::RrInterval);
    }
    m_pending.setBeatClass(TBeat::Rejected);
    emit(m_pending);
    return rr;
}

double TBeatAssembler::runningMean(double rr, bool heldBack)
{
    const bool inRange = rr > 0.0 && rr < MaxRr;
    const bool stale = m_emitted - m_lastRingUpdate > StaleRing;
    double mean = 0.0;
    bool push = false;
    if (m_emitted < RingWarmUp || stale) {
        if (stale)
            m_ring.clear();
        push = inRange;
    } else {
        mean = m_ring.lastMean();
        push = !heldBack && (mean == 0.0 || (inRange && rr > 0.7 * mean && rr < 1.4 * mean));
    }
    if (push) {
        mean = m_ring.push(rr);
        m_lastRingUpdate = m_emitted;
    }
    return m_ring.positiveCount() < MinRingEntries ? 0.0 : mean;
}

void TBeatAssembler::emit(TBeat& beat)
{
    beat.setNumber(m_emitted++);
    m_output.beatDetected(beat);
}
