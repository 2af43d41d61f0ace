#pragma once

#include "analysis/filters/TFirTables.h"

#include <vector>

// Symmetric smoothing tables of the wave delineation, and their centred
// application. The first three work at 250 Hz on the averaged beat, the
// fourth at the device rate on the raw signal.
namespace TDelineationTables {

const TFirTable& pWave();          // 25 taps
const TFirTable& tWave();          // 51 taps
const TFirTable& qrsOffset();      // 81 taps
const TFirTable& markRefinement(); // 32 taps

// The full convolution of `values` with the table, shifted left by
// (L - 1) / 2 samples and cut to the length of `values` (values outside
// the vector count as 0).
std::vector<double> smoothCentred(const TFirTable& table, const std::vector<double>& values);

} // namespace TDelineationTables
