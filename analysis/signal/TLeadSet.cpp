#include "analysis/signal/TLeadSet.h"

#include <algorithm>

namespace {

qint16 clampTo16(int value)
{
    return static_cast<qint16>(std::clamp(value, -32768, 32767));
}

} // namespace

const QStringList& TLeadSet::leadNames()
{
    static const QStringList names = {
        QStringLiteral("I"), QStringLiteral("II"), QStringLiteral("III"),
        QStringLiteral("aVR"), QStringLiteral("aVL"), QStringLiteral("aVF"),
        QStringLiteral("V1"), QStringLiteral("V2"), QStringLiteral("V3"),
        QStringLiteral("V4"), QStringLiteral("V5"), QStringLiteral("V6"),
        QStringLiteral("CM5"), QStringLiteral("CR5"),
    };
    return names;
}

QString TLeadSet::leadName(int position)
{
    return leadNames().value(position);
}

QString TLeadSet::leadNamesText()
{
    return leadNames().join(QLatin1Char(','));
}

const QStringList& TLeadSet::electrodeNames()
{
    static const QStringList names = {
        QStringLiteral("LA"), QStringLiteral("LL"), QStringLiteral("RA"),
        QStringLiteral("V1"), QStringLiteral("V2"), QStringLiteral("V3"),
        QStringLiteral("V4"), QStringLiteral("V5"), QStringLiteral("V6"),
    };
    return names;
}

TLeadSet::AugmentedLeads TLeadSet::deriveAugmented(qint16 leadI, qint16 leadII, qint16 leadIII)
{
    return AugmentedLeads{
        clampTo16(-((leadI + leadII) / 2)),
        clampTo16((leadI - leadIII) / 2),
        clampTo16((leadII + leadIII) / 2),
    };
}
