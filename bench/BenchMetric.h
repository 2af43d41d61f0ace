#pragma once

#include <cstdio>

// One benchmark figure: "metric <name> <value> <unit>".
inline void metric(const char* name, double value, const char* unit, int decimals = 1)
{
    std::printf("metric %s %.*f %s\n", name, decimals, value, unit);
    std::fflush(stdout);
}
