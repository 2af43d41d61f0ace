#pragma once

#include "analysis/signal/TLeadSet.h"
#include "formats/TWfdbHeader.h"

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

struct TWfdbRecord;

// Which signal of a WFDB record is which of the device's fourteen leads
// (TLeadSet order: I, II, III, aVR, aVL, aVF, V1 ... V6, CM5, CR5). A
// signal is matched by its description, ignoring case and blanks, as the
// lead's own name or a common alias: MLI, MLII, MLIII, D1 ... D3 and
// DI ... DIII for the limb leads, MV1 ... MV6 for the chest leads, each
// also after the signal type "ECG" or "EKG" (EDF+ labels). Only
// voltage signals count; the first signal that matches a lead is taken.
// Leads the record lacks are not derived from the others: they stay zero.
class TWfdbLeadMap
{
public:
    // Matches the header's signals. Throws std::runtime_error ("... has no
    // usable ECG lead") when none is one of the fourteen leads.
    explicit TWfdbLeadMap(const TWfdbHeader& header);

    // The lead position a signal description names, or -1.
    static int leadPosition(const QString& description);

    bool hasLead(int position) const { return signalOf(position) >= 0; }
    // Index of the record's signal taken for a lead, or -1.
    int signalOf(int position) const { return m_signalOf[std::size_t(position)]; }
    // Names (TLeadSet) of the leads found, in lead order.
    QStringList foundLeadNames() const;

    // The fourteen leads of the record in millivolts, in lead order; every
    // lead the record lacks is all zero, as long as the record.
    std::vector<std::vector<double>> leads(const TWfdbRecord& record) const;

private:
    std::array<int, TLeadSet::LeadCount> m_signalOf;
};
