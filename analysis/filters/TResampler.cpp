#include "analysis/filters/TResampler.h"

#include "analysis/filters/TFirDesign.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <string>

namespace {

constexpr double MinimumRate = 1.0;
constexpr double MaximumRate = 1e6;

std::int64_t microhertz(double rate, const char* which)
{
    if (!(rate >= MinimumRate && rate <= MaximumRate))
        throw std::runtime_error(std::string("Cannot resample: the ") + which + " rate of " + std::to_string(rate)
                                 + " Hz is not between 1 Hz and 1 MHz");
    return std::llround(rate * 1e6);
}

} // namespace

TResampler::TResampler(double inputRate, double outputRate)
{
    const std::int64_t input = microhertz(inputRate, "input");
    const std::int64_t output = microhertz(outputRate, "output");
    const std::int64_t divisor = std::gcd(input, output);
    m_up = output / divisor;
    m_down = input / divisor;
    if (!isPassThrough())
        buildTable(inputRate, outputRate);
}

// The prototype low-pass runs at the input rate times the phase count; row
// r of the table holds its taps at input positions r / m_phases past whole
// input samples, ordered so that tap j weighs input sample
// (sample - m_before + j). Row m_phases (one whole sample on) closes the
// interpolation between the last phase and the next sample.
void TResampler::buildTable(double inputRate, double outputRate)
{
    m_phases = int(std::min<std::int64_t>(m_up, MaxPhases));
    const double prototypeRate = inputRate * m_phases;
    const double lowerRate = std::min(inputRate, outputRate);
    const std::vector<double> prototype = TFirDesign::kaiserLowPass(
        PassFraction * lowerRate / prototypeRate, StopFraction * lowerRate / prototypeRate, AttenuationDb);
    const long length = long(prototype.size());
    const long centre = length / 2;
    m_before = int(centre / m_phases) + 1;
    m_width = 2 * m_before + 1;
    m_table.assign(std::size_t(m_phases + 1) * std::size_t(m_width), 0.0);
    for (int row = 0; row <= m_phases; ++row) {
        double* taps = m_table.data() + std::size_t(row) * std::size_t(m_width);
        double sum = 0.0;
        for (int j = 0; j < m_width; ++j) {
            const long index = centre + long(m_before - j) * m_phases + row;
            if (index >= 0 && index < length) {
                taps[j] = prototype[std::size_t(index)];
                sum += taps[j];
            }
        }
        for (int j = 0; j < m_width; ++j)
            taps[j] /= sum;
    }
}

std::size_t TResampler::outputLength(std::size_t inputLength) const
{
    return std::size_t(std::llround(static_cast<long double>(inputLength) * m_up / m_down));
}

std::vector<double> TResampler::resample(const std::vector<double>& input) const
{
    if (isPassThrough() || input.empty())
        return input;
    std::vector<double> padded;
    padded.reserve(input.size() + std::size_t(m_width) + 1);
    padded.insert(padded.end(), std::size_t(m_before), input.front());
    padded.insert(padded.end(), input.begin(), input.end());
    padded.insert(padded.end(), std::size_t(m_before) + 1, input.back());

    std::vector<double> output(outputLength(input.size()));
    const std::int64_t wholeStep = m_down / m_up;
    const std::int64_t phaseStep = m_down % m_up;
    std::int64_t sample = 0;
    std::int64_t phase = 0;
    for (double& value : output) {
        value = filterAt(padded.data() + sample, phase);
        sample += wholeStep;
        phase += phaseStep;
        if (phase >= m_up) {
            phase -= m_up;
            ++sample;
        }
    }
    return output;
}

double TResampler::filterAt(const double* window, std::int64_t phase) const
{
    if (m_phases == m_up)
        return dot(int(phase), window);
    const std::int64_t scaled = phase * m_phases;
    const int row = int(scaled / m_up);
    const double weight = double(scaled % m_up) / double(m_up);
    const double atRow = dot(row, window);
    return weight == 0.0 ? atRow : atRow + weight * (dot(row + 1, window) - atRow);
}

// Four partial sums, so consecutive multiply-adds do not wait on each other.
double TResampler::dot(int row, const double* window) const
{
    const double* taps = m_table.data() + std::size_t(row) * std::size_t(m_width);
    double sums[4] = {0.0, 0.0, 0.0, 0.0};
    int j = 0;
    for (; j + 4 <= m_width; j += 4) {
        sums[0] += taps[j] * window[j];
        sums[1] += taps[j + 1] * window[j + 1];
        sums[2] += taps[j + 2] * window[j + 2];
        sums[3] += taps[j + 3] * window[j + 3];
    }
    for (; j < m_width; ++j)
        sums[0] += taps[j] * window[j];
    return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}
