#pragma once

#include <array>

// The last eight RR intervals behind the running mean RR. A push returns
// the mean of the positive entries held before it (0 when there are none)
// and remembers that mean as the ring's last mean.
class TRrRing
{
public:
    static constexpr int Size = 8;

    double push(double rr);
    void clear();
    double lastMean() const { return m_lastMean; }
    int positiveCount() const;

private:
    double meanOfPositive() const;

    std::array<double, Size> m_entries{};
    int m_next = 0;
    double m_lastMean = 0.0;
};
