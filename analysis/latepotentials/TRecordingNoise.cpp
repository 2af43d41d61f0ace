#include "analysis/latepotentials/TRecordingNoise.h"

#include "analysis/latepotentials/TLatePotentialsAssessment.h"

TRecordingNoise::TRecordingNoise(const TLiveBeatAverager& averager)
    : m_potentials(averager)
{
    m_potentials.setHighPassCutoff(TLatePotentialsAssessment::CriteriaCutoff);
}

TRecordingNoise::Reading TRecordingNoise::measure(double targetMicrovolts)
{
    m_potentials.setOnset(0);
    m_potentials.setOffset(0);
    m_potentials.compute();
    const TLatePotentialsAssessment assessment = TLatePotentialsAssessment::assess(m_potentials, {});
    Reading reading;
    reading.noiseMicrovolts = assessment.noiseMicrovolts;
    reading.beats = assessment.beatsAveraged;
    if (reading.beats > 0 && m_checkpointBeats == 0) {
        m_checkpointBeats = reading.beats;
        m_checkpointNoise = reading.noiseMicrovolts;
    } else if (m_checkpointBeats > 0 && reading.beats >= 2 * m_checkpointBeats) {
        m_falling = reading.noiseMicrovolts < FallingShare * m_checkpointNoise;
        m_checkpointBeats = reading.beats;
        m_checkpointNoise = reading.noiseMicrovolts;
    }
    reading.falling = m_falling;
    reading.reached = reading.beats > 0 && reading.noiseMicrovolts > 0.0 && reading.noiseMicrovolts <= targetMicrovolts;
    return reading;
}
