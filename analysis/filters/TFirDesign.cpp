#include "analysis/filters/TFirDesign.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

constexpr double Pi = 3.14159265358979323846;

// Modified Bessel function of the first kind, order 0 (power series).
double besselI0(double x)
{
    double sum = 1.0;
    double term = 1.0;
    const double quarterSquare = x * x / 4.0;
    for (int k = 1; k < 200; ++k) {
        term *= quarterSquare / (double(k) * k);
        sum += term;
        if (term < 1e-17 * sum)
            break;
    }
    return sum;
}

// Kaiser's shape parameter for a stop-band attenuation in dB.
double kaiserBeta(double attenuationDb)
{
    if (attenuationDb > 50.0)
        return 0.1102 * (attenuationDb - 8.7);
    if (attenuationDb >= 21.0)
        return 0.5842 * std::pow(attenuationDb - 21.0, 0.4) + 0.07886 * (attenuationDb - 21.0);
    return 0.0;
}

} // namespace

std::vector<double> TFirDesign::kaiserLowPass(double passEdge, double stopEdge, double attenuationDb)
{
    if (!(passEdge > 0.0 && stopEdge > passEdge && stopEdge <= 0.5))
        throw std::runtime_error("Invalid low-pass band edges: pass band to " + std::to_string(passEdge)
                                 + ", stop band from " + std::to_string(stopEdge) + " of the sampling rate");
    const double transition = stopEdge - passEdge;
    int length = int(std::ceil((attenuationDb - 7.95) / (14.36 * transition))) + 1;
    if (length % 2 == 0)
        ++length;
    const double beta = kaiserBeta(attenuationDb);
    const double windowPeak = besselI0(beta);
    const double cutoff = (passEdge + stopEdge) / 2.0;
    const int half = length / 2;
    std::vector<double> taps(static_cast<std::size_t>(length));
    double sum = 0.0;
    for (int n = 0; n < length; ++n) {
        const int m = n - half;
        const double sinc = m == 0 ? 2.0 * cutoff : std::sin(2.0 * Pi * cutoff * m) / (Pi * m);
        const double ratio = half > 0 ? double(m) / half : 0.0;
        const double window = besselI0(beta * std::sqrt(std::max(0.0, 1.0 - ratio * ratio))) / windowPeak;
        taps[std::size_t(n)] = sinc * window;
        sum += taps[std::size_t(n)];
    }
    for (double& tap : taps)
        tap /= sum;
    return taps;
}

double TFirDesign::magnitudeAt(const std::vector<double>& taps, double frequency)
{
    double re = 0.0;
    double im = 0.0;
    for (std::size_t n = 0; n < taps.size(); ++n) {
        re += taps[n] * std::cos(2.0 * Pi * frequency * double(n));
        im -= taps[n] * std::sin(2.0 * Pi * frequency * double(n));
    }
    return std::hypot(re, im);
}
