#include "analysis/filters/TButterworthHighPass.h"

TButterworthHighPass::TButterworthHighPass(const std::array<double, 5>& b, const std::array<double, 5>& a)
    : m_b(b)
    , m_a(a)
{
}

const TButterworthHighPass& TButterworthHighPass::forCutoff(int hertz)
{
    static const TButterworthHighPass at40Hz(
        {0.719359552810643, -2.877438211242574, 4.316157316863861, -2.877438211242574, 0.719359552810643},
        {1.0, -3.344067837711873, 4.238863950884064, -2.409342856586318, 0.51747819978804});
    static const TButterworthHighPass at25Hz(
        {0.814254556886246, -3.257018227544985, 4.885527341317477, -3.257018227544985, 0.814254556886246},
        {1.0, -3.589733887112176, 4.851275882519416, -2.924052656162458, 0.663010484385891});
    return hertz == 40 ? at40Hz : at25Hz;
}

double TButterworthHighPass::output(const double* in, const double* out, int n, int at, int step) const
{
    double y = m_b[0] * in[at];
    for (int k = 1; k <= 4; ++k) {
        const int earlier = at - k * step;
        if (earlier < 0 || earlier >= n)
            break;
        y += m_b[std::size_t(k)] * in[earlier] - m_a[std::size_t(k)] * out[earlier];
    }
    return y;
}

void TButterworthHighPass::forward(const double* in, int n, double* out) const
{
    for (int i = 0; i < n; ++i)
        out[i] = output(in, out, n, i, 1);
}

void TButterworthHighPass::backward(const double* in, int n, double* out) const
{
    for (int i = n - 1; i >= 0; --i)
        out[i] = output(in, out, n, i, -1);
}
