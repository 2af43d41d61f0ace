#include "analysis/detection/TRrRing.h"

double TRrRing::push(double rr)
{
    m_lastMean = meanOfPositive();
    m_entries[std::size_t(m_next)] = rr;
    m_next = (m_next + 1) % Size;
    return m_lastMean;
}

void TRrRing::clear()
{
    m_entries.fill(0.0);
    m_next = 0;
    m_lastMean = 0.0;
}

int TRrRing::positiveCount() const
{
    int count = 0;
    for (double entry : m_entries)
        count += entry > 0.0 ? 1 : 0;
    return count;
}

double TRrRing::meanOfPositive() const
{
    double sum = 0.0;
    int count = 0;
    for (double entry : m_entries) {
        if (entry > 0.0) {
            sum += entry;
            ++count;
        }
    }
    return count > 0 ? sum / count : 0.0;
}
