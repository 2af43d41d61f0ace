#include "formats/TWfdbDeviceRecording.h"

#include "analysis/filters/TResampler.h"
#include "analysis/signal/TSampleConversion.h"
#include "formats/TWfdbRecord.h"

#include <stdexcept>

TWfdbDeviceRecording::TWfdbDeviceRecording(const TWfdbHeader& header, const TWfdbLeadMap& leadMap)
    : m_header(header), m_leadMap(leadMap)
{
}

TWfdbDeviceRecording TWfdbDeviceRecording::read(const QString& headerPath)
{
    return fromRecord(TWfdbRecord::read(headerPath));
}

TWfdbDeviceRecording TWfdbDeviceRecording::fromRecord(const TWfdbRecord& record)
{
    const double rate = record.header.samplingFrequency;
    if (!(rate >= MinimumInputRate && rate <= MaximumInputRate))
        throw std::runtime_error(QStringLiteral("The sampling rate of %1, %2 Hz, is not that of an ECG recording "
                                                "(%3 to %4 Hz)")
                                     .arg(record.header.recordName)
                                     .arg(rate)
                                     .arg(MinimumInputRate)
                                     .arg(MaximumInputRate)
                                     .toStdString());
    TWfdbDeviceRecording result(record.header, TWfdbLeadMap(record.header));
    const TResampler resampler(record.header.samplingFrequency, SampleRate);
    const std::size_t frames = resampler.outputLength(record.length());
    result.m_leads.reserve(TLeadSet::LeadCount);
    for (int position = 0; position < TLeadSet::LeadCount; ++position) {
        std::vector<qint16>& counts = result.m_leads.emplace_back(frames, qint16(0));
        if (!result.m_leadMap.hasLead(position))
            continue;
        const auto& signal = record.millivolts[std::size_t(result.m_leadMap.signalOf(position))];
        const std::vector<double> millivolts = resampler.resample(signal);
        for (std::size_t i = 0; i < frames; ++i)
            counts[i] = deviceCount(millivolts[i]);
    }
    return result;
}
