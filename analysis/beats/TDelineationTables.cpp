#include "analysis/beats/TDelineationTables.h"

#include "analysis/filters/TFirKernel.h"

#include <algorithm>

namespace {

const double PWaveHalf[] = {
    0.0043996, 0.0056271, 0.0088415, 0.0141294, 0.0213604, 0.0301867, 0.0400671,
    0.0503131, 0.0601533, 0.0688084, 0.0755696, 0.0798707, 0.0813464,
};

const double TWaveHalf[] = {
    9.36e-05,  0.0002632, 0.0004958, 0.0008378, 0.0013368, 0.0020388, 0.0029856,
    0.0042122, 0.0057442, 0.0075962, 0.0097697, 0.0122524, 0.0150174, 0.0180239,
    0.0212177, 0.0245332, 0.0278947, 0.03122,   0.0344229, 0.0374164, 0.0401164,
    0.0424449, 0.0443332, 0.0457245, 0.0465767, 0.0468637,
};

const double QrsOffsetHalf[] = {
    0.0005773,  0.0003942,  9.66e-05,   -0.0002847, -0.0006899, -0.0010243, -0.0011672,
    -0.0010016, -0.0004599, 0.0004278,  0.0015037,  0.002488,   0.0030329,  0.0028175,
    0.0016649,  -0.0003551, -0.0028766, -0.0052712, -0.0067751, -0.0066906, -0.004618,
    -0.0006502, 0.004535,   0.0097343,  0.0134451,  0.0142259,  0.0111161,  0.0040118,
    -0.006111,  -0.0172092, -0.0264538, -0.0307502, -0.0273992, -0.0147609, 0.0072378,
    0.0368819,  0.0708116,  0.1045238,  0.1331469,  0.1523334,  0.1590852,
};

const double MarkRefinementHalf[] = {
    0.0044187, 0.0050091, 0.0066567, 0.0093325, 0.0129581, 0.0174084, 0.0225163, 0.0280805,
    0.0338744, 0.0396563, 0.0451811, 0.0502114, 0.0545289, 0.0579451, 0.0603098, 0.0615189,
};

} // namespace

namespace TDelineationTables {

const TFirTable& pWave()
{
    static const TFirTable table = TFirTable::fromHalf(PWaveHalf, 25);
    return table;
}

const TFirTable& tWave()
{
    static const TFirTable table = TFirTable::fromHalf(TWaveHalf, 51);
    return table;
}

const TFirTable& qrsOffset()
{
    static const TFirTable table = TFirTable::fromHalf(QrsOffsetHalf, 81);
    return table;
}

const TFirTable& markRefinement()
{
    static const TFirTable table = TFirTable::fromHalf(MarkRefinementHalf, 32);
    return table;
}

std::vector<double> smoothCentred(const TFirTable& table, const std::vector<double>& values)
{
    const int length = table.length();
    const int shift = (length - 1) / 2;
    const int count = int(values.size());
    // window[m] = values[m - (length - 1 - shift)], zero outside.
    std::vector<double> window(values.size() + std::size_t(length > 0 ? length - 1 : 0), 0.0);
    std::copy(values.begin(), values.end(), window.begin() + (length > 0 ? length - 1 - shift : 0));
    std::vector<double> smoothed(values.size(), 0.0);
    TFirKernel(table.taps()).run(window.data(), count, smoothed.data());
    return smoothed;
}

} // namespace TDelineationTables
