#include "analysis/filters/TFftBaselineFilter.h"

#include "analysis/signal/TSampleConversion.h"
#include "analysis/signal/TSignal.h"


TFftBaselineFilter::TFftBaselineFilter()
    : m_fft(WindowLength)
    , m_input(WindowLength)
    , m_re(WindowLength)
    , m_im(WindowLength)
{
}

void TFftBaselineFilter::process()
{
    if (m_source == nullptr || m_sink == nullptr)
        return;
    const int available = m_source->appendedCount();
    const int channels = m_source->channelCount();
    std::vector<qint16> outputs(std::size_t(channels) * Step);
    while (m_nextIndex + WindowLength <= available) {
        for (int channel = 0; channel < channels; ++channel) {
            m_source->readRange(channel, m_nextIndex, WindowLength, m_input.data());
            for (int i = 0; i < WindowLength; ++i) {
                m_re[std::size_t(i)] = m_input[std::size_t(i)] / 32768.0;
                m_im[std::size_t(i)] = 0.0;
            }
            m_fft.transform(m_re.data(), m_im.data(), false);
            for (int bin : {0, 1, WindowLength - 2, WindowLength - 1})
                m_re[std::size_t(bin)] = m_im[std::size_t(bin)] = 0.0;
            m_fft.transform(m_re.data(), m_im.data(), true);
            for (int i = 0; i < Step; ++i)
                outputs[std::size_t(channel) * Step + i] = toSample16(m_re[std::size_t(FirstOutput + i)] * 32.0);
        }
        qint16 frame[TSignal::MaxChannels];
        for (int i = 0; i < Step; ++i) {
            for (int channel = 0; channel < channels; ++channel)
                frame[channel] = outputs[std::size_t(channel) * Step + i];
            appendFrame(frame);
        }
        m_nextIndex += Step; // 1024 collected, 960 stepped back
    }
}
