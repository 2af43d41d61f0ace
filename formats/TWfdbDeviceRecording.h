#pragma once

#include "formats/TWfdbHeader.h"
#include "formats/TWfdbLeadMap.h"

#include <QString>
#include <QtGlobal>

#include <vector>

struct TWfdbRecord;

// A WFDB record as the acquisition device would have delivered it: the
// fourteen leads (TWfdbLeadMap) at 1000 Hz, band-limited resampling from
// the record's rate (TResampler), as 16-bit counts on the device scale
// (deviceCount). Leads the record lacks are all zero.
class TWfdbDeviceRecording
{
public:
    static constexpr int SampleRate = 1000;
    // The sampling rates of ECG recordings, from low-rate rhythm records
    // to high-resolution ones; a rate outside them is a damaged header, and
    // resampling from it could take minutes and gigabytes.
    static constexpr double MinimumInputRate = 50.0;
    static constexpr double MaximumInputRate = 32000.0;

    // Reads the record of a header file (TWfdbRecord::read) and converts it.
    static TWfdbDeviceRecording read(const QString& headerPath);
    // Converts a record already read. Throws std::runtime_error when it has
    // no usable ECG lead or its rate is outside the rates of ECG recordings.
    static TWfdbDeviceRecording fromRecord(const TWfdbRecord& record);

    const TWfdbHeader& header() const { return m_header; }
    const TWfdbLeadMap& leadMap() const { return m_leadMap; }
    // Frames (samples per lead) at SampleRate.
    qint64 frameCount() const { return qint64(m_leads.front().size()); }
    // The fourteen leads in TLeadSet order.
    const std::vector<std::vector<qint16>>& leads() const { return m_leads; }

private:
    TWfdbDeviceRecording(const TWfdbHeader& header, const TWfdbLeadMap& leadMap);

    TWfdbHeader m_header;
    TWfdbLeadMap m_leadMap;
    std::vector<std::vector<qint16>> m_leads;
};
