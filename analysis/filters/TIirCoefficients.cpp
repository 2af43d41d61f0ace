#include "analysis/filters/TIirCoefficients.h"

// The review chain's sets, exact doubles.
namespace {

const TIirSet BaselineHighPass500 = {
    2,
    {0.997781024102941, -1.995562048205882, 0.997781024102941, 0.0, 0.0},
    {1.0, 1.995557124345789, -0.995566972065975, 0.0, 0.0},
    2000};

const TIirSet BaselineHighPass1000 = {
    2,
    {0.998889895887226, -1.997779791774452, 0.998889895887226, 0.0, 0.0},
    {1.0, 1.997778559442932, -0.997781024105973, 0.0, 0.0},
    5000};

const TIirSet Notch50Hz500 = {
    4,
    {0.951558090821252, -2.128420753699903, 2.85527558178394, -2.128420753699904, 0.951558090821252},
    {1.0, 2.181925067619687, -2.854072963143573, 2.07491643978012, -0.904318800282871},
    500};

const TIirSet Notch50Hz1000 = {
    4,
    {0.975331910638375, -3.433582821317144, 4.952900855244864, -3.433582821317145, 0.975331910638375},
    {1.0, 3.476732766930921, -4.952592786329411, 3.390432875703367, -0.950971890192202},
    2000};

const TIirSet SecondHighPass500 = {
    4,
    {0.987761389276826, -3.951045557107303, 5.926568335660954, -3.951045557107303, 0.987761389276826},
    {1.0, 3.975371912560921, -5.926418555965424, 3.926719197756786, -0.975672562146085},
    3000};

const TIirSet SecondHighPass1000 = {
    4,
    {0.993861876134463, -3.975447504537852, 5.963171256806778, -3.975447504537852, 0.993861876134463},
    {1.0, 3.987685939693474, -5.963133580487246, 3.963209069137177, -0.987761428833515},
    8000};

const TIirSet* byRate(int rate, const TIirSet& at500, const TIirSet& at1000)
{
    if (rate == 500)
        return &at500;
    if (rate == 1000)
        return &at1000;
    return nullptr;
}

} // namespace

namespace TIirCoefficients {

const TIirSet* baselineHighPass(int rate)
{
    return byRate(rate, BaselineHighPass500, BaselineHighPass1000);
}

const TIirSet* notch50Hz(int rate)
{
    return byRate(rate, Notch50Hz500, Notch50Hz1000);
}

const TIirSet* secondHighPass(int rate)
{
    return byRate(rate, SecondHighPass500, SecondHighPass1000);
}

} // namespace TIirCoefficients
