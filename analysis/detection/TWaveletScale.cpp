#include "analysis/detection/TWaveletScale.h"

#include "analysis/signal/TSignal.h"

namespace {

// The first half of each table; the second half repeats it mirrored with
// the opposite sign.
const double HalfW1[] = {-2.0};
const double HalfW2[] = {-0.25, -0.75, -0.5};
const double HalfW3[] = {-0.03125, -0.09375, -0.1875, -0.3125, -0.34375, -0.28125, -0.125};
const double HalfW4[] = {-0.00390625, -0.01171875, -0.0234375, -0.0390625, -0.05859375, -0.08203125,
                         -0.109375,   -0.140625,   -0.16015625, -0.16796875, -0.1640625, -0.1484375,
                         -0.12109375, -0.08203125, -0.03125};

template <int Half>
std::vector<double> antisymmetric(const double (&half)[Half])
{
    std::vector<double> taps(2 * Half);
    for (int k = 0; k < Half; ++k) {
        taps[std::size_t(k)] = half[k];
        taps[std::size_t(2 * Half - 1 - k)] = -half[k];
    }
    return taps;
}

} // namespace

const std::vector<double>& TWaveletScale::taps(int level)
{
    static const std::vector<double> tables[Levels + 1] = {
        {}, antisymmetric(HalfW1), antisymmetric(HalfW2), antisymmetric(HalfW3), antisymmetric(HalfW4),
    };
    return tables[level >= 1 && level <= Levels ? level : 0];
}

TWaveletScale::TWaveletScale(int level, TSignal& source, int origin, int capacity)
    : m_origin(origin)
    , m_output(source.channelCount(), source.samplingRate(), source.blockSize(), capacity)
    , m_stage(taps(level))
{
    m_stage.attach(&source, origin);
    m_stage.setSink(&m_output);
}

void TWaveletScale::read(int channel, int start, int count, double* dst) const
{
    m_output.readRange(channel, start - m_origin, count, dst);
}
