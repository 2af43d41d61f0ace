#include "analysis/filters/TFirTables.h"

#include "analysis/filters/TFirTableData.h"

#include <utility>

// The short tables, copied digit for digit (first halves).
namespace TFirTableData {

// low-pass "40hz", 500 Hz, 12 taps
static const double LowPass40Hz500Values[6] = {
    -0.008120316264993628,
    0.002794300371559609,
    0.03630624862308258,
    0.09607237890241209,
    0.1637611878565559,
    0.2091862005113835,
};
const THalfTable LowPass40Hz500 = {LowPass40Hz500Values, 12};

// low-pass "25hz", 500 Hz, 19 taps
static const double LowPass25Hz500Values[10] = {
    -0.006898437609736363,
    -0.002462926601564548,
    0.003424370072103679,
    0.01594286678927037,
    0.03541805331714414,
    0.06030706274342504,
    0.08719893290208984,
    0.1114613783540022,
    0.1283818337936462,
    0.1344537324792388,
};
const THalfTable LowPass25Hz500 = {LowPass25Hz500Values, 19};

// low-pass "25hz", 1000 Hz, 34 taps
static const double LowPass25Hz1000Values[17] = {
    -0.005466125929848,
    -0.000643806010636,
    0.000325113761809,
    0.002137988917645,
    0.004898386379085,
    0.008667074935348,
    0.013443933830369,
    0.01915566539527,
    0.025650461966448,
    0.032700361708215,
    0.04001140239773,
    0.047240947392945,
    0.054020818403308,
    0.059984225833811,
    0.064794026461376,
    0.068169624482172,
    0.069909900074952,
};
const THalfTable LowPass25Hz1000 = {LowPass25Hz1000Values, 34};

// low-pass "40hz", 1000 Hz, 41 taps
static const double LowPass40Hz1000Values[21] = {
    -0.0012473038,
    -0.001451991,
    -0.0017799048,
    -0.0021728358,
    -0.0024942225,
    -0.0025351454,
    -0.0020332189,
    -0.0007027906,
    0.0017268981,
    0.0054703118,
    0.0106464779,
    0.0172476412,
    0.0251205355,
    0.0339636815,
    0.0433421839,
    0.0527192961,
    0.061501835,
    0.069094654,
    0.0749580856,
    0.0786617195,
    0.0799281854,
};
const THalfTable LowPass40Hz1000 = {LowPass40Hz1000Values, 41};

// low-pass, 250 Hz (any name), 62 taps
static const double LowPass250Values[31] = {
    0.0001953022,
    3.28318e-05,
    -0.0004334316,
    -0.0006634275,
    -3.1952e-05,
    0.0011614112,
    0.0015052129,
    -6.98603e-05,
    -0.0024811934,
    -0.0028458753,
    0.0003956266,
    0.0046683777,
    0.0048229674,
    -0.0011376158,
    -0.0081027008,
    -0.0076115107,
    0.0025977389,
    0.0133806226,
    0.0115071863,
    -0.0052993109,
    -0.0216545159,
    -0.0171860081,
    0.0103600708,
    0.0358291405,
    0.0266881186,
    -0.021136777,
    -0.0665910953,
    -0.0494241861,
    0.0568229703,
    0.2108176187,
    0.3238842645,
};
const THalfTable LowPass250 = {LowPass250Values, 62};

// decimation low-pass (1000 to 500 Hz), 29 taps
static const double DecimationValues[15] = {
    -0.000303319654414908,
    -0.0004788673391996646,
    0.001282413458801371,
    0.003400974051631541,
    -0.0003884162620068182,
    -0.009470596258839368,
    -0.008094626324010618,
    0.01350861637661189,
    0.02918479574400282,
    -0.001386860999023406,
    -0.06050318579197458,
    -0.05336992142156587,
    0.08986614325307074,
    0.2977889810583952,
    0.3979277402170436,
};
const THalfTable Decimation = {DecimationValues, 29};

} // namespace TFirTableData

TFirTable::TFirTable(std::vector<double> taps)
    : m_taps(std::move(taps))
{
}

TFirTable TFirTable::fromHalf(const double* firstHalf, int length)
{
    std::vector<double> taps(std::size_t(length > 0 ? length : 0));
    for (int k = 0; k < (length + 1) / 2; ++k) {
        taps[std::size_t(k)] = firstHalf[k];
        taps[std::size_t(length - 1 - k)] = firstHalf[k];
    }
    return TFirTable(std::move(taps));
}

namespace {

TFirTable mirror(const THalfTable& half)
{
    return TFirTable::fromHalf(half.values, half.length);
}

// Every table, mirrored once on first use (thread-safe static init).
struct Tables {
    TFirTable lowPass40Hz500 = mirror(TFirTableData::LowPass40Hz500);
    TFirTable lowPass25Hz500 = mirror(TFirTableData::LowPass25Hz500);
    TFirTable lowPass25Hz1000 = mirror(TFirTableData::LowPass25Hz1000);
    TFirTable lowPass40Hz1000 = mirror(TFirTableData::LowPass40Hz1000);
    TFirTable lowPass250 = mirror(TFirTableData::LowPass250);
    TFirTable decimation = mirror(TFirTableData::Decimation);
    TFirTable notch50Hz250 = mirror(TFirTableData::Notch50Hz250);
    TFirTable notch50Hz500 = mirror(TFirTableData::Notch50Hz500);
    TFirTable notch50Hz1000 = mirror(TFirTableData::Notch50Hz1000);
    TFirTable notch60Hz250 = mirror(TFirTableData::Notch60Hz250);
    TFirTable notch60Hz500 = mirror(TFirTableData::Notch60Hz500);
    TFirTable notch60Hz1000 = mirror(TFirTableData::Notch60Hz1000);
    TFirTable baseline250 = mirror(TFirTableData::Baseline250);
    TFirTable baseline500 = mirror(TFirTableData::Baseline500);
    TFirTable baseline1000 = mirror(TFirTableData::Baseline1000);
    TFirTable displayBaseline500 = mirror(TFirTableData::DisplayBaseline500);
    TFirTable empty;
};

const Tables& tables()
{
    static const Tables instance;
    return instance;
}

} // namespace

namespace TFirTables {

const TFirTable& lowPass40Hz500() { return tables().lowPass40Hz500; }
const TFirTable& lowPass25Hz500() { return tables().lowPass25Hz500; }
const TFirTable& lowPass25Hz1000() { return tables().lowPass25Hz1000; }
const TFirTable& lowPass40Hz1000() { return tables().lowPass40Hz1000; }
const TFirTable& lowPass250() { return tables().lowPass250; }
const TFirTable& decimation() { return tables().decimation; }
const TFirTable& displayBaseline() { return tables().displayBaseline500; }
const TFirTable& empty() { return tables().empty; }

const TFirTable& lowPass(const QString& name, int rate)
{
    const Tables& t = tables();
    const bool known = name == QLatin1String("40hz") || name == QLatin1String("25hz");
    const bool narrow = name == QLatin1String("25hz");
    if (rate == 250)
        return t.lowPass250;
    if (!known)
        return t.empty;
    if (rate == 500)
        return narrow ? t.lowPass25Hz500 : t.lowPass40Hz500;
    if (rate == 1000)
        return narrow ? t.lowPass25Hz1000 : t.lowPass40Hz1000;
    return t.empty;
}

const TFirTable& notch(const QString& name, int rate)
{
    const Tables& t = tables();
    if (name == QLatin1String("50hz")) {
        switch (rate) {
        case 250: return t.notch50Hz250;
        case 500: return t.notch50Hz500;
        case 1000: return t.notch50Hz1000;
        default: break;
        }
    } else if (name == QLatin1String("60hz")) {
        switch (rate) {
        case 250: return t.notch60Hz250;
        case 500: return t.notch60Hz500;
        case 1000: return t.notch60Hz1000;
        default: break;
        }
    }
    return t.empty;
}

const TFirTable& baseline(int rate)
{
    const Tables& t = tables();
    switch (rate) {
    case 250: return t.baseline250;
    case 500: return t.baseline500;
    case 1000: return t.baseline1000;
    default: return t.empty;
    }
}

const TFirTable& monitorLowPass(int rate)
{
    const Tables& t = tables();
    if (rate == 250)
        return t.lowPass250;
    if (rate == 500)
        return t.lowPass40Hz500;
    return t.lowPass40Hz1000;
}

} // namespace TFirTables
