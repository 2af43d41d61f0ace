#pragma once

// Raw coefficient data of the FIR tables. Every table is
// symmetric (h[k] = h[L-1-k]) and stored by its first half: (L + 1) / 2
// values, h[0] up to the middle tap for odd L, up to h[L/2 - 1] for even L.
// TFirTables mirrors them into full tables; nothing else should use these.
struct THalfTable {
    const double* values;
    int length; // full table length L
};

namespace TFirTableData {

// Short tables, copied from the published values (TFirTables.cpp).
extern const THalfTable LowPass40Hz500;  // 12 taps
extern const THalfTable LowPass25Hz500;  // 19 taps
extern const THalfTable LowPass25Hz1000; // 34 taps
extern const THalfTable LowPass40Hz1000; // 41 taps
extern const THalfTable LowPass250;      // 62 taps
extern const THalfTable Decimation;      // 29 taps, 1000 to 500 Hz

// Long tables, designed by tools/design_fir_tables (TFirLongTables.cpp,
// generated).
extern const THalfTable Notch50Hz250;       // 109 taps
extern const THalfTable Notch50Hz500;       // 195 taps
extern const THalfTable Notch50Hz1000;      // 391 taps
extern const THalfTable Notch60Hz250;       // 109 taps
extern const THalfTable Notch60Hz500;       // 195 taps
extern const THalfTable Notch60Hz1000;      // 391 taps
extern const THalfTable Baseline250;        // 382 taps
extern const THalfTable Baseline500;        // 501 taps
extern const THalfTable Baseline1000;       // 1355 taps
extern const THalfTable DisplayBaseline500; // 1501 taps

} // namespace TFirTableData
