#include "storage/TStudyInfo.h"

#include <QRegularExpression>
#include <QString>

namespace {

// The leading decimal number of a text, a point or a comma separating its
// decimals; 0 when the text does not start with a number.
double leadingNumber(const std::string& text)
{
    static const QRegularExpression number(
        QStringLiteral("^\\s*[+-]?([0-9]+([.,][0-9]*)?|[.,][0-9]+)([eE][+-]?[0-9]+)?"));
    const QRegularExpressionMatch match = number.match(QString::fromStdString(text));
    return match.hasMatch() ? match.captured(0).trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble()
                            : 0.0;
}

} // namespace

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

std::string bodyMassIndexText(const std::string& weight, const std::string& height)
{
    const double metres = leadingNumber(height) * 0.01;
    if (metres <= 0.0)
        return std::string();
    return QString::number(leadingNumber(weight) / (metres * metres), 'f', 1).toStdString();
}
