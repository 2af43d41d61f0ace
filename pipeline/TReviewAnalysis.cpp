#include "pipeline/TReviewAnalysis.h"

#include "analysis/beats/TBeat.h"
#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/beats/TMultiLeadDelineator.h"
#include "analysis/filters/TReviewFilterChain.h"
#include "analysis/signal/TSilentLead.h"
#include "analysis/signal/TSignalBuffer16.h"
#include "analysis/beats/TWaveDelineator.h"
#include "analysis/signal/TWaveMarks.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TStudy.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Leads the automatic marks are found on, in order of preference.
const char* const MarkLeads[] = {"V5", "V6", "V4", "II"};

bool isFlat(const std::vector<double>& beat)
{
    const auto [low, high] = std::minmax_element(beat.begin(), beat.end());
    return low == beat.end() || *high - *low < TWaveDelineator::MinimumPeakToPeak;
}

} // namespace

const std::array<const char*, TReviewAnalysis::MarkCount>& TReviewAnalysis::markNames()
{
    static const std::array<const char*, MarkCount> names = {
        "POnset", "POffset", "PPeak", "QRSOnset", "QRSOffset", "TOnset", "TOffset",
    };
    return names;
}

TReviewAnalysis::TReviewAnalysis(TStudy& study)
    : m_study(study)
    , m_averagingChain(std::make_unique<TReviewFilterChain>(study.ecgFile()))
{
    m_averagingChain->setLowPassName(QStringLiteral("40hz"));
    attachAverager();
}

TReviewAnalysis::~TReviewAnalysis() = default;

// The averager reads the chain's output, which configuring replaces: it is
// attached again to the new output, also when configuring failed part way.
void TReviewAnalysis::configureAveraging(bool notch, bool lowPass)
{
    try {
        m_averagingChain->configure(notch, lowPass, false);
    } catch (...) {
        attachAverager();
        throw;
    }
    attachAverager();
}

// Every stored beat is averaged, so the whole recording is filtered: at
// once and on every core, rather than block by block through the views.
void TReviewAnalysis::attachAverager()
{
    m_latePotentials.reset();
    m_mainAverager.reset();
    m_averagedSignal.reset();
    if (m_averagingChain->viewCount() == 0) {
        m_mainAverager = std::make_unique<TLiveBeatAverager>(*m_averagingChain->output());
    } else {
        m_averagedSignal = m_averagingChain->materialize();
        m_mainAverager = std::make_unique<TLiveBeatAverager>(*m_averagedSignal);
        for (int lead = 0; lead < m_averagedSignal->channelCount(); ++lead) {
            if (isSilentLead(*m_averagedSignal, lead))
                m_mainAverager->setSilent(lead);
        }
    }
    m_latePotentials = std::make_unique<TLatePotentials>(*m_mainAverager);
}

namespace {

constexpr const char* CutoffName = "LPCutoff";
constexpr const char* LasThresholdName = "LPLASThreshold";
constexpr const char* RmsDurationName = "LPRMSDuration";
constexpr const char* OnsetName = "LPOnset";
constexpr const char* OffsetName = "LPOffset";

} // namespace

double TReviewAnalysis::result(const char* name) const
{
    const TWaveMark* mark = m_study.results().find(QLatin1String(name));
    return mark != nullptr ? mark->value() : 0.0;
}

void TReviewAnalysis::setResult(const char* name, double value)
{
    TWaveMark* mark = m_study.results().find(QLatin1String(name));
    if (mark == nullptr)
        mark = &m_study.results().insert(QLatin1String(name), TWaveMark::SingleValue);
    mark->setValue(value);
}

bool TReviewAnalysis::latePotentialLimitsByHand(const TWaveMarks& results)
{
    const TWaveMark* onset = results.find(QLatin1String(OnsetName));
    const TWaveMark* offset = results.find(QLatin1String(OffsetName));
    return onset != nullptr && offset != nullptr && onset->value() > 0.0 && offset->value() > 0.0;
}

void TReviewAnalysis::restoreLatePotentialSettings(int defaultCutoff)
{
    TLatePotentials& potentials = *m_latePotentials;
    const int cutoff = int(result(CutoffName));
    potentials.setHighPassCutoff(cutoff > 0 ? cutoff : defaultCutoff);
    if (const int threshold = int(result(LasThresholdName)); threshold > 0)
        potentials.setLasThreshold(threshold);
    if (const int duration = int(result(RmsDurationName)); duration > 0)
        potentials.setRmsDuration(duration);
    const int onset = int(result(OnsetName));
    const int offset = int(result(OffsetName));
    m_limitsByHand = onset > 0 && offset > 0;
    potentials.setOnset(m_limitsByHand ? onset : 0);
    potentials.setOffset(m_limitsByHand ? offset : 0);
}

void TReviewAnalysis::setLatePotentialCutoff(int hertz)
{
    m_latePotentials->setHighPassCutoff(hertz);
    computeLatePotentials();
}

void TReviewAnalysis::setLasThreshold(int microvolts)
{
    m_latePotentials->setLasThreshold(microvolts);
    computeLatePotentials();
}

void TReviewAnalysis::setRmsDuration(int samples)
{
    m_latePotentials->setRmsDuration(samples);
    computeLatePotentials();
}

void TReviewAnalysis::setLatePotentialLimits(int onset, int offset)
{
    m_limitsByHand = onset > 0 && offset > 0;
    m_latePotentials->setOnset(m_limitsByHand ? onset : 0);
    m_latePotentials->setOffset(m_limitsByHand ? offset : 0);
    computeLatePotentials();
}

// Limits not held by hand are searched afresh on every computation: those
// found at another cutoff or on other averages do not hold.
void TReviewAnalysis::computeLatePotentials()
{
    if (!m_limitsByHand) {
        m_latePotentials->setOnset(0);
        m_latePotentials->setOffset(0);
    }
    m_latePotentials->compute();
    storeLatePotentialSettings();
}

void TReviewAnalysis::storeLatePotentialSettings()
{
    const TLatePotentials& potentials = *m_latePotentials;
    setResult(CutoffName, potentials.highPassCutoff());
    setResult(LasThresholdName, potentials.lasThreshold());
    setResult(RmsDurationName, potentials.rmsDuration());
    setResult(OnsetName, m_limitsByHand ? potentials.onset() : 0);
    setResult(OffsetName, m_limitsByHand ? potentials.offset() : 0);
}

void TReviewAnalysis::addStoredBeats()
{
    TBeat beat;
    for (int index = 0; m_study.beatsFile()->read(index, beat); ++index)
        m_mainAverager->add(beat);
    // The recording ends here: a short one still gets its averaged beats.
    m_mainAverager->finish();
}

std::optional<TReviewAnalysis::Marks> TReviewAnalysis::storedMarks() const
{
    // A mark of 0 is a wave not found (no P wave in atrial fibrillation,
    // no T wave found); only a QRS without its limits is a study never
    // measured. Marks moved by hand in a recording without P waves must
    // open as they were left, not be found again.
    constexpr int QrsOnset = 3;
    constexpr int QrsOffset = 4;
    Marks marks{};
    for (int mark = 0; mark < MarkCount; ++mark) {
        const TWaveMark* stored = m_study.results().find(QLatin1String(markNames()[std::size_t(mark)]));
        marks[std::size_t(mark)] = stored ? stored->value() : 0.0;
    }
    if (marks[QrsOnset] == 0.0 || marks[QrsOffset] == 0.0)
        return std::nullopt;
    return marks;
}

std::optional<TReviewAnalysis::Marks> TReviewAnalysis::automaticMarks() const
{
    const int lead = automaticMarksLead();
    if (lead < 0)
        return std::nullopt;
    const TWaveDelineation found = TWaveDelineator().delineate(*m_mainAverager, lead);
    std::array<int, MarkCount> positions = {
        found.pOnset, found.pOffset, found.pPeak, found.qrsOnset, found.qrsOffset, found.tOnset, found.tOffset,
    };
    takeBoundariesOverAllLeads(positions);
    const double rate = m_mainAverager->samplingRate();
    Marks marks{};
    for (int mark = 0; mark < MarkCount; ++mark) {
        const int position = positions[std::size_t(mark)];
        // Index 0 stands for a wave that was not found.
        marks[std::size_t(mark)] = position == 0 ? 0.0 : position / rate - alignmentTime();
    }
    return marks;
}

// The intervals are measured from the boundaries found over all leads: the
// marks shown take them, so that the brackets of the averaged beat and the
// figures of the labels and the report are the same. A P wave that too few
// leads show is none, on the marks' lead too.
void TReviewAnalysis::takeBoundariesOverAllLeads(std::array<int, MarkCount>& positions) const
{
    enum { POnset, POffset, PPeak, QrsOnset, QrsOffset, TOnset, TOffset };
    const TMultiLeadBoundaries all = TMultiLeadDelineator().delineate(*m_mainAverager, recordingMeanRr());
    if (all.qrsOnset == 0 || all.qrsOffset == 0)
        return;
    positions[QrsOnset] = all.qrsOnset;
    positions[QrsOffset] = all.qrsOffset;
    if (all.tOffset != 0)
        positions[TOffset] = all.tOffset;
    if (all.pOnset != 0)
        positions[POnset] = all.pOnset;
    else
        positions[POnset] = positions[POffset] = positions[PPeak] = 0;
}

// A lead whose averaged beat is flat (a lead a recording from another
// system lacks is stored as zeros) has no waves to find: the next one is
// taken.
int TReviewAnalysis::automaticMarksLead() const
{
    const TEcgFile* ecg = m_study.ecgFile();
    for (const char* name : MarkLeads) {
        for (int lead = 0; lead < ecg->channelCount(); ++lead) {
            if (ecg->channelName(lead) == QLatin1String(name) && !isFlat(m_mainAverager->average(lead)))
                return lead;
        }
    }
    return -1;
}

void TReviewAnalysis::storeMarks(const Marks& marks, double meanRrSeconds)
{
    // Marks shown and read back may differ by rounding, never by this much.
    constexpr double MovedByHand = 1e-6; // s
    TWaveMarks& results = m_study.results();
    for (int mark = 0; mark < MarkCount; ++mark) {
        const char* name = markNames()[std::size_t(mark)];
        TWaveMark* stored = results.find(QLatin1String(name));
        if (!stored)
            continue;
        const char* beside = TMultiLeadBoundaries::resultBeside(name);
        TWaveMark* found = beside ? results.find(QLatin1String(beside)) : nullptr;
        if (found && std::fabs(stored->value() - marks[std::size_t(mark)]) > MovedByHand)
            found->setValue(marks[std::size_t(mark)]);
        stored->setValue(marks[std::size_t(mark)]);
    }
    if (TWaveMark* meanRr = results.find(QLatin1String(MeanRrName)))
        meanRr->setValue(meanRrSeconds);
}

void TReviewAnalysis::storeMultiLeadBoundaries()
{
    const TMultiLeadBoundaries found = TMultiLeadDelineator().delineate(*m_mainAverager, recordingMeanRr());
    found.storeInto(m_study.results(), m_mainAverager->samplingRate(), m_mainAverager->centre());
}

double TReviewAnalysis::recordingMeanRr() const
{
    double sum = 0.0;
    int count = 0;
    TBeat beat;
    for (int index = 0; m_study.beatsFile()->read(index, beat); ++index) {
        if (beat.isValid() && beat.value(TBeat::RrInterval) > 0.0) {
            sum += beat.value(TBeat::RrInterval);
            ++count;
        }
    }
    return count > 0 ? sum / count : 0.0;
}

std::vector<double> TReviewAnalysis::storedBeatTimes() const
{
    std::vector<double> times;
    TBeat beat;
    for (int index = 0; m_study.beatsFile()->read(index, beat); ++index)
        times.push_back(beat.value(TBeat::QrsTime));
    std::sort(times.begin(), times.end());
    return times;
}

std::vector<TBeatPauses::Pause> TReviewAnalysis::pauses() const
{
    return TBeatPauses::find(storedBeatTimes(), TSignalGaps::of(m_study.results()));
}

double TReviewAnalysis::longestRr() const
{
    return TBeatPauses::longestRr(storedBeatTimes(), TSignalGaps::of(m_study.results()));
}

double TReviewAnalysis::alignmentTime() const
{
    return double(m_mainAverager->centre()) / m_mainAverager->samplingRate();
}
