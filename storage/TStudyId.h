#pragma once

#include <random>

// New study ids: uniform over 1 .. 999999999 from a non-deterministic
// random device. The store redraws while its index already holds the id.
class TStudyIdGenerator
{
public:
    static constexpr int Minimum = 1;
    static constexpr int Maximum = 999999999;

    TStudyIdGenerator() : m_distribution(Minimum, Maximum) {}

    int next() { return m_distribution(m_device); }

private:
    std::random_device m_device;
    std::uniform_int_distribution<int> m_distribution;
};
