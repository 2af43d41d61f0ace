#include "formats/TWfdbLeadMap.h"

#include "formats/TWfdbRecord.h"

#include <QHash>

#include <stdexcept>

namespace {

QString normalisedName(const QString& name)
{
    QString result;
    for (const QChar c : name) {
        if (!c.isSpace())
            result.append(c.toLower());
    }
    return result;
}

// Every accepted (normalised) name with its lead position.
QHash<QString, int> namesOfLeads()
{
    QHash<QString, int> names;
    for (int position = 0; position < TLeadSet::LeadCount; ++position)
        names.insert(normalisedName(TLeadSet::leadName(position)), position);
    const QStringList limbNumerals = {QStringLiteral("i"), QStringLiteral("ii"), QStringLiteral("iii")};
    for (int k = 0; k < limbNumerals.size(); ++k) {
        const int position = TLeadSet::LeadI + k;
        names.insert(QStringLiteral("ml") + limbNumerals[k], position);
        names.insert(QStringLiteral("d") + limbNumerals[k], position);
        names.insert(QStringLiteral("d%1").arg(k + 1), position);
    }
    for (int k = 1; k <= 6; ++k)
        names.insert(QStringLiteral("mv%1").arg(k), TLeadSet::LeadV1 + k - 1);
    return names;
}

} // namespace

int TWfdbLeadMap::leadPosition(const QString& description)
{
    static const QHash<QString, int> names = namesOfLeads();
    const QString name = normalisedName(description);
    // EDF+ labels put the signal type first: "ECG V1", "EKG II".
    for (const QLatin1String type : {QLatin1String("ecg"), QLatin1String("ekg")}) {
        if (name.startsWith(type) && names.contains(name.mid(type.size())))
            return names.value(name.mid(type.size()));
    }
    return names.value(name, -1);
}

TWfdbLeadMap::TWfdbLeadMap(const TWfdbHeader& header)
{
    m_signalOf.fill(-1);
    bool found = false;
    QStringList descriptions;
    for (int s = 0; s < header.signalCount(); ++s) {
        const TWfdbSignalInfo& info = header.signalInfos[std::size_t(s)];
        descriptions.append(QStringLiteral("\"%1\"").arg(info.description));
        const int position = info.isVoltage() ? leadPosition(info.description) : -1;
        if (position >= 0 && m_signalOf[std::size_t(position)] < 0) {
            m_signalOf[std::size_t(position)] = s;
            found = true;
        }
    }
    if (!found)
        throw std::runtime_error(QStringLiteral("The record %1 has no usable ECG lead (its signals are %2)")
                                     .arg(header.recordName, descriptions.join(QStringLiteral(", ")))
                                     .toStdString());
}

QStringList TWfdbLeadMap::foundLeadNames() const
{
    QStringList names;
    for (int position = 0; position < TLeadSet::LeadCount; ++position) {
        if (hasLead(position))
            names.append(TLeadSet::leadName(position));
    }
    return names;
}

std::vector<std::vector<double>> TWfdbLeadMap::leads(const TWfdbRecord& record) const
{
    std::vector<std::vector<double>> leads;
    leads.reserve(TLeadSet::LeadCount);
    for (int position = 0; position < TLeadSet::LeadCount; ++position) {
        if (hasLead(position))
            leads.push_back(record.millivolts[std::size_t(signalOf(position))]);
        else
            leads.emplace_back(record.length(), 0.0);
    }
    return leads;
}
