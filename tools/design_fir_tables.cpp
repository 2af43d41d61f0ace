// Designs the long linear-phase FIR tables (mains notches,
// baseline high-passes, the display chain's baseline high-pass) and writes
// them as the C++ source analysis/filters/TFirLongTables.cpp. The build never runs
// this program; the generated source is committed.
//
// Method: windowed designs whose kernel is fitted to the listed values.
// Every table has the form
//
//     h[n] = a * base[n] - c * kaiser(Le, beta)[n] * sinc(fc)[n] * mod[n]
//
// centred on the table's middle, where kaiser(Le, beta) is a Kaiser window
// of Le <= L taps (0 outside them), sinc(fc) an ideal low-pass of cut-off
// fc (fc = 0: the bare window), and
//   - notches: base = unit impulse at the centre, mod = cos(2 pi f0 (n - m) / fs)
//     with m the centre: a pass-all minus a narrow band-pass bump at f0;
//   - high-passes: mod = 1 and base = unit impulse (odd L) or, for even L,
//     a Kaiser-windowed low-pass cut off at 0.94 fs/2 at half-sample offsets
//     (a symmetric table of even length is necessarily 0 at fs/2): a
//     pass-all minus a smooth low-pass kernel.
// a and c are solved so that the DC gain and the notch centre (notches) or
// the DC gain and the pass-band level 1 (high-passes) are exact; a listed
// notch DC gain other than 1 (1.0025 at 250 Hz) is added as a smooth
// low-pass bump of that height. For each kernel width (Le with fc = 0, or
// fc with Le = L) beta is solved by bisection so that the first listed
// value next to the notch or corner is met; among the widths whose table
// meets every listed value within PointTolerance, the one with the flattest
// pass band is kept. Kaiser kernels have low side lobes, so the response
// away from the notch or above the corner stays flat; the report printed
// below gives every listed value and the flatness, and the response test
// (tests/analysis/filters/FilterTablesTest.cpp) checks them.
//
// Usage: design_fir_tables [output.cpp [table]]
//   prints a report of every table's response; with output.cpp writes the
//   source; with a table name designs only that table (for trying changes).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;

struct Point {
    double hz;
    double value;
};

enum class Kind { Notch, HighPass };

struct Design {
    const char* symbol; // name of the half table in the generated source
    const char* title;  // comment line above it
    Kind kind;
    int rate;
    int taps;
    double centre;             // notch frequency (notches only)
    double level;              // pass-band level (DC gain of notches)
    double dc;                 // DC gain of high-passes
    std::vector<Point> points; // listed values; the first two set the kernel
    double flatFrom;           // flat band: notch |f - centre| >= flatFrom, high-pass f >= flatFrom
    double flatTo;             // upper end of the flat band (Hz)
};

// Zeroth-order modified Bessel function of the first kind (power series).
double besselI0(double x)
{
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 500; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < 1e-17 * sum)
            break;
    }
    return sum;
}

// Kaiser window of `span` taps centred in a table of `length` taps (span
// and length of the same parity); 0 outside the span.
std::vector<double> kaiser(int length, int span, double beta)
{
    std::vector<double> w(length, 0.0);
    const double m = 0.5 * (span - 1);
    const int first = (length - span) / 2;
    for (int n = 0; n < span; ++n) {
        const double r = span > 1 ? (n - m) / m : 0.0;
        w[first + n] = besselI0(beta * std::sqrt(std::max(0.0, 1.0 - r * r))) / besselI0(beta);
    }
    return w;
}

// Zero-phase amplitude of a symmetric table: sum h[n] cos(w (n - m)).
double amplitude(const std::vector<double>& h, double hz, int rate)
{
    const double w = 2.0 * Pi * hz / rate;
    const double m = 0.5 * (double(h.size()) - 1.0);
    double sum = 0.0;
    for (std::size_t n = 0; n < h.size(); ++n)
        sum += h[n] * std::cos(w * (double(n) - m));
    return sum;
}

// |H(f)| by the DFT of the taps (what the response test evaluates).
double magnitude(const std::vector<double>& h, double hz, int rate)
{
    const double w = 2.0 * Pi * hz / rate;
    double re = 0.0, im = 0.0;
    for (std::size_t k = 0; k < h.size(); ++k) {
        re += h[k] * std::cos(w * double(k));
        im -= h[k] * std::sin(w * double(k));
    }
    return std::hypot(re, im);
}

// The pass-all part: a unit impulse at the centre (odd lengths), or a
// Kaiser-windowed low-pass at half-sample offsets cut off at 0.94 fs/2
// (even lengths), normalised to a DC gain of 1.
std::vector<double> baseTable(int length)
{
    std::vector<double> base(length, 0.0);
    if (length % 2 == 1) {
        base[length / 2] = 1.0;
        return base;
    }
    const double cutoff = 0.94 * 0.5; // cycles per sample
    const std::vector<double> w = kaiser(length, length, 10.0);
    const double m = 0.5 * (length - 1);
    double sum = 0.0;
    for (int n = 0; n < length; ++n) {
        const double t = n - m;
        base[n] = w[n] * std::sin(2.0 * Pi * cutoff * t) / (Pi * t);
        sum += base[n];
    }
    for (double& v : base)
        v /= sum;
    return base;
}

// The kernel: a Kaiser window, times an ideal low-pass of cut-off `cutoff`
// Hz (a sinc; 0 leaves the bare window), times the notch modulation.
std::vector<double> kernel(const Design& d, int span, double cutoff, double beta)
{
    std::vector<double> g = kaiser(d.taps, span, beta);
    const double m = 0.5 * (d.taps - 1);
    for (int n = 0; n < d.taps; ++n) {
        const double t = n - m;
        if (cutoff > 0.0) {
            const double x = 2.0 * Pi * cutoff * t / d.rate;
            g[n] *= t == 0.0 ? 1.0 : std::sin(x) / x;
        }
        if (d.kind == Kind::Notch)
            g[n] *= std::cos(2.0 * Pi * d.centre * t / d.rate);
    }
    return g;
}

// The table for one kernel: a and c from the exact conditions.
std::vector<double> fit(const Design& d, int span, double cutoff, double beta)
{
    const std::vector<double> base = baseTable(d.taps);
    const std::vector<double> g = kernel(d, span, cutoff, beta);
    double a = 1.0, c = 0.0;
    if (d.kind == Kind::Notch) {
        // a B(0) - c G(0) = level, a B(f0) - c G(f0) = value at the centre.
        const double b0 = amplitude(base, 0.0, d.rate), g0 = amplitude(g, 0.0, d.rate);
        const double b1 = amplitude(base, d.centre, d.rate), g1 = amplitude(g, d.centre, d.rate);
        const double v1 = d.points[0].value;
        const double det = -b0 * g1 + b1 * g0;
        a = (-d.level * g1 + v1 * g0) / det;
        c = (b0 * v1 - b1 * d.level) / det;
    } else {
        // Pass band 1, DC gain dc: 1 - c G(0) = dc.
        c = (1.0 - d.dc) / amplitude(g, 0.0, d.rate);
    }
    std::vector<double> h(d.taps);
    for (int n = 0; n < d.taps; ++n)
        h[n] = a * base[n] - c * g[n];
    if (d.kind == Kind::Notch && d.dc != d.level) {
        // A listed DC gain off the pass-band level: add a smooth low-pass
        // bump of that height (a Kaiser window, beta 6, normalised to a DC
        // gain of 1), which fades within a few Hz and leaves the notch alone.
        const std::vector<double> bump = kaiser(d.taps, d.taps, 6.0);
        const double height = d.dc - amplitude(h, 0.0, d.rate);
        const double gain = amplitude(bump, 0.0, d.rate);
        for (int n = 0; n < d.taps; ++n)
            h[n] += height * bump[n] / gain;
    }
    for (int n = 0; n < d.taps / 2; ++n)
        h[d.taps - 1 - n] = h[n]; // exact symmetry
    return h;
}

// Index of the first and second kernel-setting values in d.points.
int firstShapePoint(const Design& d)
{
    return d.kind == Kind::Notch ? 1 : 0;
}

bool inFlatBand(const Design& d, double hz)
{
    if (hz > d.flatTo)
        return false;
    if (d.kind == Kind::Notch)
        return std::fabs(hz - d.centre) >= d.flatFrom;
    return hz >= d.flatFrom;
}

// Worst |H - level| over the flat band, on a grid of `step` Hz.
double flatDeviation(const Design& d, const std::vector<double>& h, double step, double* at = nullptr)
{
    double worst = 0.0;
    for (double hz = 0.0; hz <= d.flatTo + 1e-9; hz += step) {
        if (!inFlatBand(d, hz))
            continue;
        const double e = std::fabs(magnitude(h, hz, d.rate) - 1.0);
        if (e > worst) {
            worst = e;
            if (at != nullptr)
                *at = hz;
        }
    }
    return worst;
}

struct Choice {
    int span = 0;
    double cutoff = 0.0;
    double beta = 0.0;
    double error = 1e300;
};

// For one kernel span, the beta that meets the first shape value
// (bisection over 0 .. 30; the value moves monotonically with beta while
// the point lies in the kernel's main lobe). Returns a negative beta when
// the value cannot be met with this span.
double betaFor(const Design& d, int span, double cutoff)
{
    const Point& p = d.points[firstShapePoint(d)];
    auto error = [&](double beta) { return magnitude(fit(d, span, cutoff, beta), p.hz, d.rate) - p.value; };
    double lo = 0.0, hi = 30.0;
    double elo = error(lo), ehi = error(hi);
    if ((elo > 0) == (ehi > 0))
        return -1.0;
    for (int i = 0; i < 60; ++i) {
        const double mid = 0.5 * (lo + hi);
        const double e = error(mid);
        if ((e > 0) == (elo > 0)) {
            lo = mid;
            elo = e;
        } else {
            hi = mid;
        }
    }
    return 0.5 * (lo + hi);
}

// Worst distance of the listed values.
double pointError(const Design& d, const std::vector<double>& h)
{
    double worst = 0.0;
    for (const Point& p : d.points)
        worst = std::max(worst, std::fabs(magnitude(h, p.hz, d.rate) - p.value));
    return worst;
}

// Flatness on a grid fine near the notch or corner and coarse beyond.
double quickFlatDeviation(const Design& d, const std::vector<double>& h)
{
    const double edge = d.kind == Kind::Notch ? d.centre : 0.0;
    double worst = 0.0;
    for (double hz = 0.0; hz <= d.flatTo + 1e-9;) {
        if (inFlatBand(d, hz))
            worst = std::max(worst, std::fabs(magnitude(h, hz, d.rate) - 1.0));
        hz += std::fabs(hz - edge) < d.flatFrom + 25.0 ? 0.05 : 0.5;
    }
    return worst;
}

// Among the kernel spans whose table meets every listed value within
// PointTolerance, the one with the flattest band; without such a span, the
// one closest to the listed values.
constexpr double PointTolerance = 0.015;

std::vector<double> design(const Design& d, Choice* chosen)
{
    Choice closest, flattest;
    double flattestDeviation = 1e300;
    auto consider = [&](int span, double cutoff) {
        const double beta = betaFor(d, span, cutoff);
        if (beta < 0.0)
            return;
        const std::vector<double> h = fit(d, span, cutoff, beta);
        const double error = pointError(d, h);
        if (error < closest.error)
            closest = {span, cutoff, beta, error};
        if (error <= PointTolerance) {
            const double deviation = quickFlatDeviation(d, h);
            if (deviation < flattestDeviation) {
                flattestDeviation = deviation;
                flattest = {span, cutoff, beta, error};
            }
        }
    };
    // Bare windows of every span, then full-length windowed sincs.
    for (int span = d.taps; span >= d.taps / 4; span -= 2)
        consider(span, 0.0);
    const double widest = d.kind == Kind::Notch ? 4.0 : 2.0;
    for (double cutoff = 0.02; cutoff <= widest + 1e-9; cutoff += 0.02)
        consider(d.taps, cutoff);
    const Choice best = flattest.span != 0 ? flattest : closest;
    if (best.span == 0)
        throw std::runtime_error(std::string("no kernel meets the listed values of ") + d.symbol);
    *chosen = best;
    return fit(d, best.span, best.cutoff, best.beta);
}

// The table set. Notches list their value at the centre and at
// 1 and 2 Hz either side (the kernel is set by the centre, f0 + 1 and
// f0 + 2; f0 - 1 and f0 - 2 are checked); high-passes their listed corner
// values (the kernel is set by the first two above DC).
std::vector<Design> designs()
{
    std::vector<Design> list;
    struct NotchRate {
        int rate, taps;
        double centre, one, two, dc;
    };
    const NotchRate rates[] = {{250, 109, 0.0, 0.13, 0.43, 1.0025},
                               {500, 195, 0.001, 0.11, 0.39, 1.0},
                               {1000, 391, 0.001, 0.16, 0.53, 1.0}};
    static const char* symbols[2][3] = {{"Notch50Hz250", "Notch50Hz500", "Notch50Hz1000"},
                                        {"Notch60Hz250", "Notch60Hz500", "Notch60Hz1000"}};
    static const char* titles[2][3] = {{"mains notch \"50hz\", 250 Hz, 109 taps (delay 54)",
                                        "mains notch \"50hz\", 500 Hz, 195 taps (delay 97)",
                                        "mains notch \"50hz\", 1000 Hz, 391 taps (delay 195)"},
                                       {"mains notch \"60hz\", 250 Hz, 109 taps (delay 54)",
                                        "mains notch \"60hz\", 500 Hz, 195 taps (delay 97)",
                                        "mains notch \"60hz\", 1000 Hz, 391 taps (delay 195)"}};
    for (int mains = 0; mains < 2; ++mains) {
        const double f0 = mains == 0 ? 50.0 : 60.0;
        for (int r = 0; r < 3; ++r) {
            const NotchRate& n = rates[r];
            Design d{symbols[mains][r], titles[mains][r], Kind::Notch, n.rate, n.taps, f0, 1.0, n.dc, {}, 5.0,
                     0.5 * n.rate};
            d.points = {{f0, n.centre},      {f0 + 1.0, n.one}, {f0 + 2.0, n.two},
                        {f0 - 1.0, n.one},   {f0 - 2.0, n.two}, {0.0, n.dc}};
            list.push_back(d);
        }
    }
    list.push_back({"Baseline250", "baseline \"fir\" high-pass, 250 Hz, 382 taps (delay 191)", Kind::HighPass, 250,
                    382, 0.0, 1.0, 0.0, {{0.5, 0.28}, {1.0, 0.76}, {0.0, 0.0}}, 2.0, 110.0});
    list.push_back({"Baseline500", "baseline \"fir\" high-pass, 500 Hz, 501 taps (delay 250)", Kind::HighPass, 500,
                    501, 0.0, 1.0, 0.0, {{0.5, 0.16}, {1.0, 0.51}, {2.0, 0.97}, {0.0, 0.0}}, 5.0, 250.0});
    list.push_back({"Baseline1000", "baseline \"fir\" high-pass, 1000 Hz, 1355 taps (delay 677)", Kind::HighPass,
                    1000, 1355, 0.0, 1.0, 0.067, {{0.5, 0.45}, {1.0, 1.07}, {2.0, 0.94}, {0.0, 0.067}}, 10.0, 500.0});
    list.push_back({"DisplayBaseline500", "baseline high-pass of the display chain, 500 Hz, 1501 taps (delay 750)",
                    Kind::HighPass, 500, 1501, 0.0, 1.0, 0.0, {{0.3, 0.45}, {0.5, 0.83}, {0.7, 0.99}, {0.0, 0.0}},
                    1.0, 250.0});
    return list;
}

void report(const Design& d, const std::vector<double>& h, const Choice& c)
{
    double sum = 0.0;
    for (double v : h)
        sum += v;
    std::printf("%s: %d taps at %d Hz, kernel %d taps, sinc cut-off %.2f Hz, Kaiser beta %.4f, sum of taps %.6f\n",
                d.symbol, d.taps, d.rate, c.span, c.cutoff, c.beta, sum);
    for (const Point& p : d.points)
        std::printf("  |H(%g Hz)| = %.5f (listed %g)\n", p.hz, magnitude(h, p.hz, d.rate), p.value);
    double at = 0.0;
    const double dev = flatDeviation(d, h, 0.01, &at);
    if (d.kind == Kind::Notch) {
        std::printf("  |f - %g| >= %g Hz: max |H - 1| = %.5f at %.2f Hz\n", d.centre, d.flatFrom, dev, at);
        Design far = d;
        far.flatFrom = 10.0;
        const double farDev = flatDeviation(far, h, 0.01, &at);
        std::printf("  |f - %g| >= 10 Hz: max |H - 1| = %.5f at %.2f Hz\n", d.centre, farDev, at);
    } else {
        std::printf("  %g..%g Hz: max |H - 1| = %.5f at %.2f Hz\n", d.flatFrom, d.flatTo, dev, at);
    }
}

void writeSource(std::FILE* out, const std::vector<Design>& list, const std::vector<std::vector<double>>& tables,
                 const std::vector<Choice>& choices)
{
    std::fprintf(out,
                 "// Generated by tools/design_fir_tables (see tools/README.md); do not edit.\n"
                 "// The long FIR tables, each given by its first half: h[0] up to\n"
                 "// the middle tap (odd lengths) or up to h[L/2 - 1] (even lengths).\n"
                 "#include \"analysis/filters/TFirTableData.h\"\n\n"
                 "namespace TFirTableData {\n");
    for (std::size_t t = 0; t < list.size(); ++t) {
        const Design& d = list[t];
        const std::vector<double>& h = tables[t];
        const int half = (d.taps + 1) / 2;
        std::fprintf(out,
                     "\n// %s; kernel %d taps, sinc cut-off %.2f Hz, Kaiser beta %.4f\n"
                     "static const double %sValues[%d] = {\n",
                     d.title, choices[t].span, choices[t].cutoff, choices[t].beta, d.symbol, half);
        for (int i = 0; i < half; ++i)
            std::fprintf(out, "    %.17g,\n", h[i]);
        std::fprintf(out, "};\nconst THalfTable %s = {%sValues, %d};\n", d.symbol, d.symbol, d.taps);
    }
    std::fprintf(out, "\n} // namespace TFirTableData\n");
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<Design> list = designs();
    if (argc > 2) {
        std::vector<Design> only;
        for (const Design& d : list)
            if (argv[2] == std::string(d.symbol))
                only.push_back(d);
        list = only;
    }
    std::vector<std::vector<double>> tables;
    std::vector<Choice> choices;
    for (const Design& d : list) {
        Choice choice;
        tables.push_back(design(d, &choice));
        choices.push_back(choice);
        report(d, tables.back(), choice);
        std::fflush(stdout);
    }
    if (argc > 1) {
        std::FILE* out = std::fopen(argv[1], "w");
        if (out == nullptr) {
            std::perror(argv[1]);
            return 1;
        }
        writeSource(out, list, tables, choices);
        std::fclose(out);
        std::printf("wrote %s\n", argv[1]);
    }
    return 0;
}
