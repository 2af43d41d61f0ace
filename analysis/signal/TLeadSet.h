#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// The fixed lead order of the acquisition device and the names used for
// channels and electrodes. The analysis addresses leads by position; the
// positions below are the ones it relies on.
class TLeadSet
{
public:
    enum Position {
        LeadI = 0,
        LeadII = 1,
        LeadIII = 2,
        LeadAVR = 3,
        LeadAVL = 4,
        LeadAVF = 5,
        LeadV1 = 6,
        LeadV2 = 7,
        LeadV3 = 8,
        LeadV4 = 9,
        LeadV5 = 10,
        LeadV6 = 11,
        LeadCM5 = 12,
        LeadCR5 = 13,
    };
    static constexpr int LeadCount = 14;

    struct AugmentedLeads
    {
        qint16 aVR;
        qint16 aVL;
        qint16 aVF;
    };

    TLeadSet() = delete;

    // "I", "II", "III", "aVR", "aVL", "aVF", "V1" ... "V6", "CM5", "CR5".
    static const QStringList& leadNames();
    // Name of a lead position; empty beyond the fourteen leads.
    static QString leadName(int position);
    // The lead names joined by commas, as recorded with a study.
    static QString leadNamesText();
    // "LA", "LL", "RA", "V1" ... "V6".
    static const QStringList& electrodeNames();

    // The augmented limb leads from leads I, II and III. Sums are formed in
    // full int width and halved with truncation toward zero, and each result
    // is clamped to 16 bits: only aVR can leave the range, when
    // (I + II) / 2 is -32768 it becomes 32767.
    static AugmentedLeads deriveAugmented(qint16 leadI, qint16 leadII, qint16 leadIII);
};
