#include "storage/TStudyInfo.h"

const std::vector<std::string>& defaultRiskFactorNames()
{
    static const std::vector<std::string> names{
        "Hipertensi\xc3\xb3n",
        "Tabaquismo actual",
        "Ex-tabaquismo",
        "Sedentarismo",
        "Obesidad",
        "Diabetes",
        "Dislipemia",
        "Stress",
        "Angor",
        "Infarto agudo de miocardio",
        "Gota",
    };
    return names;
}
