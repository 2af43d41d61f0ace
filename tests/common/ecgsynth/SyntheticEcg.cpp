#include "tests/common/ecgsynth/SyntheticEcg.h"

#include "analysis/signal/TLeadSet.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace ecgsynth {

namespace {

constexpr double Pi = 3.14159265358979323846;

struct Wave
{
    double centre; // s from the R peak
    double width;  // standard deviation, s
    double LeadShape::*amplitude;
};

// Wave timing for an RR interval: the PR interval and the QT interval
// shorten as the rate rises.
std::vector<Wave> wavesFor(double rr)
{
    const double clampedRr = std::clamp(rr, 0.3, 1.5);
    return {
        {-(0.10 + 0.06 * clampedRr), 0.020, &LeadShape::p},
        {-0.028, 0.010, &LeadShape::q},
        {0.0, 0.012, &LeadShape::r},
        {0.030, 0.011, &LeadShape::s},
        {0.27 * std::sqrt(clampedRr), 0.040, &LeadShape::t},
    };
}

std::vector<double> beatTimes(const Config& config)
{
    std::vector<double> beats;
    double time = config.firstBeat;
    for (std::size_t k = 0; time < config.duration; ++k) {
        beats.push_back(time);
        time += k < config.rr.size() ? config.rr[k] : 60.0 / config.heartRate;
    }
    return beats;
}

double beatFactor(const Config& config, int beat, int lead)
{
    const auto found = config.beatScale.find(beat);
    if (found == config.beatScale.end() || lead >= int(found->second.size()))
        return 1.0;
    return found->second[std::size_t(lead)];
}

LeadShape shapeOf(const Config& config, int lead)
{
    return config.shapes.empty() ? standardShape(lead) : config.shapes[std::size_t(lead)];
}

// Adds a Gaussian wave to a millivolt trace.
void addWave(std::vector<double>& trace, int rate, double centre, double width, double amplitude)
{
    const int length = int(trace.size());
    const int from = std::max(0, int(std::floor((centre - 5 * width) * rate)));
    const int to = std::min(length, int(std::ceil((centre + 5 * width) * rate)));
    for (int i = from; i < to; ++i) {
        const double x = (double(i) / rate - centre) / width;
        trace[std::size_t(i)] += amplitude * std::exp(-0.5 * x * x);
    }
}

// Adds the Gaussian waves of every beat, the blocked P waves and the
// artifacts to the millivolt traces.
void addBeats(const Config& config, const std::vector<double>& beats, std::vector<std::vector<double>>& mv)
{
    for (int k = 0; k < int(beats.size()); ++k) {
        const double rr = k > 0 ? beats[std::size_t(k)] - beats[std::size_t(k - 1)] : 60.0 / config.heartRate;
        for (const Wave& wave : wavesFor(rr)) {
            for (int lead = 0; lead < config.leads; ++lead) {
                const LeadShape shape = shapeOf(config, lead);
                addWave(mv[std::size_t(lead)], config.rate, beats[std::size_t(k)] + wave.centre + shape.delay,
                        wave.width, shape.*wave.amplitude * beatFactor(config, k, lead));
            }
        }
    }
    const Wave p = wavesFor(60.0 / config.heartRate).front();
    for (const double time : config.blockedPWaves) {
        for (int lead = 0; lead < config.leads; ++lead)
            addWave(mv[std::size_t(lead)], config.rate, time, p.width, shapeOf(config, lead).p);
    }
    for (const auto& [lead, time] : config.spikes) {
        addWave(mv[std::size_t(lead)], config.rate, time - 0.006, 0.004, config.spikeMv);
        addWave(mv[std::size_t(lead)], config.rate, time + 0.006, 0.004, -config.spikeMv);
    }
}

// An electrode off: a random walk of a few millivolts.
double drift(double& level, std::mt19937& random, std::normal_distribution<double>& noise)
{
    level = 0.999 * level + 0.05 * noise(random);
    return level;
}

// Wander, hum and noise of one lead at sample i.
double disturbance(const Config& config, int lead, int i, std::mt19937& random,
                   std::normal_distribution<double>& noise)
{
    const double t = double(i) / config.rate;
    const double phase = 0.7 * lead;
    const double wander = config.wanderMv
        * (0.7 * std::sin(2 * Pi * config.wanderHz * t + phase)
           + 0.3 * std::sin(2 * Pi * config.wanderHz * 0.37 * t + 2 * phase));
    const double hum = config.humMv * std::sin(2 * Pi * config.humHz * t + phase);
    return wander + hum + config.noiseMv * noise(random);
}

bool contains(const std::vector<int>& leads, int lead)
{
    return std::find(leads.begin(), leads.end(), lead) != leads.end();
}

qint16 toCounts(double mv)
{
    return qint16(std::clamp(std::lround(mv * CountsPerMv), -32768L, 32767L));
}

} // namespace

LeadShape standardShape(int lead)
{
    static const LeadShape shapes[] = {
        {0.10, -0.05, 0.80, -0.10, 0.25},  // I
        {0.15, -0.10, 1.20, -0.20, 0.35},  // II
        {0.05, 0.00, 0.70, -0.30, 0.15},   // III
        {-0.12, 0.00, -0.90, 0.10, -0.30}, // aVR
        {0.05, -0.05, 0.60, -0.20, 0.12},  // aVL
        {0.10, -0.05, 0.85, -0.25, 0.20},  // aVF
        {0.06, 0.00, 0.25, -1.20, -0.10},  // V1
        {0.08, 0.00, 0.50, -1.50, 0.50},   // V2
        {0.08, 0.00, 0.90, -0.90, 0.50},   // V3
        {0.10, -0.05, 1.50, -0.50, 0.45},  // V4
        {0.10, -0.10, 1.40, -0.30, 0.35},  // V5
        {0.10, -0.08, 1.00, -0.15, 0.30},  // V6
        {0.12, -0.10, 1.60, -0.30, 0.40},  // CM5
        {0.12, -0.05, 1.90, -0.20, 0.45},  // CR5
    };
    return shapes[std::clamp(lead, 0, 13)];
}

std::vector<double> regularRr(double bpm, int count)
{
    return std::vector<double>(std::size_t(std::max(0, count)), 60.0 / bpm);
}

Record synthesize(const Config& config)
{
    Record record;
    record.rate = config.rate;
    record.beats = beatTimes(config);
    const int length = int(std::lround(config.duration * config.rate));
    std::vector<std::vector<double>> mv(std::size_t(config.leads), std::vector<double>(std::size_t(length), 0.0));
    addBeats(config, record.beats, mv);

    std::mt19937 random(config.seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    record.leads.resize(std::size_t(config.leads));
    for (int lead = 0; lead < config.leads; ++lead) {
        const double offset = config.offsetMv * ((lead % 5) - 2) / 2.0;
        const bool flat = contains(config.flatLeads, lead);
        const bool clipped = contains(config.clippedLeads, lead);
        const auto disconnected = config.disconnectedFrom.find(lead);
        const int offFrom = disconnected == config.disconnectedFrom.end()
            ? length : int(std::lround(disconnected->second * config.rate));
        double level = 0.0;
        std::vector<qint16>& counts = record.leads[std::size_t(lead)];
        counts.resize(std::size_t(length));
        for (int i = 0; i < length; ++i) {
            const double extra = disturbance(config, lead, i, random, noise);
            double value = offset
                + (flat ? config.noiseMv * noise(random)
                        : i >= offFrom ? drift(level, random, noise) + config.noiseMv * noise(random)
                                       : mv[std::size_t(lead)][std::size_t(i)] + extra);
            if (clipped)
                value += 32767.0 / CountsPerMv;
            counts[std::size_t(i)] = toCounts(value);
        }
    }
    return record;
}

std::unique_ptr<TSignalBuffer16> makeSignal(const Record& record, int blockSize)
{
    const int capacity = std::max(81920, record.length());
    auto signal = std::make_unique<TSignalBuffer16>(int(record.leads.size()), record.rate, blockSize, capacity);
    signal->setResolutionBits(16);
    signal->setRange(-300.0, 300.0);
    return signal;
}

void append(TSignal& signal, const Record& record, int from, int count)
{
    count = std::min(count, record.length() - from);
    if (count <= 0)
        return;
    std::vector<const qint16*> channels;
    for (const auto& lead : record.leads)
        channels.push_back(lead.data() + from);
    signal.append(channels.data(), count);
}

std::unique_ptr<TSignalBuffer16> toSignal(const Record& record, int blockSize)
{
    auto signal = makeSignal(record, blockSize);
    append(*signal, record, 0, record.length());
    return signal;
}

} // namespace ecgsynth
