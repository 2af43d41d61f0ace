#include "ReportTestSupport.h"

#include "analysis/beats/TBeat.h"
#include "analysis/beats/TWaveDelineator.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>

namespace reporttest {

namespace {

constexpr int Leads = 14;
constexpr int StandardLeads = 12;
constexpr int Rate = 1000;
constexpr int V5 = 10;

TStudyInfo demoStudyInfo()
{
    TStudyInfo info;
    info.firstName = "Ana";
    info.lastName = "García López";
    info.studyDateTime = "20240305101500";
    info.studyType = "VA ROR";
    info.sampleFormat = "short";
    info.samplingRate = Rate;
    info.channelCount = Leads;
    info.channelNames = "I,II,III,aVR,aVL,aVF,V1,V2,V3,V4,V5,V6,CM5,CR5";
    info.resolution = 16;
    info.gain = 300.0;
    info.age = "54";
    info.weight = "70";
    info.height = "168";
    info.technicianName = "Luis Pérez";
    info.doctorName = "Dra. Marta Ruiz";
    info.conclusion = "Ritmo sinusal. Sin potenciales tardíos.";
    return info;
}

double sampleAt(const QByteArray& frames, int frame, int lead)
{
    return qFromLittleEndian<qint16>(frames.constData() + 2 * (frame * Leads + lead));
}

} // namespace

TempEnvironment::TempEnvironment()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Pulsorix"));
    QCoreApplication::setApplicationName(QStringLiteral("VA ROR"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
}

QByteArray demoFrames()
{
    QFile file(QStringLiteral(VAROR_DATA_DIR "/ecg1000.dat"));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("The demo recording is missing");
    return file.readAll();
}

std::vector<double> findRPeaks(const QByteArray& frames)
{
    const int count = frames.size() / (2 * Leads);
    constexpr int Half = 4;     // slope over +-4 ms
    constexpr int Smooth = 40;  // ms
    std::vector<double> slope(std::size_t(count), 0.0);
    for (int i = Half; i < count - Half; ++i) {
        for (int lead = 0; lead < StandardLeads; ++lead)
            slope[std::size_t(i)] += std::abs(sampleAt(frames, i + Half, lead) - sampleAt(frames, i - Half, lead));
    }
    std::vector<double> energy(std::size_t(count), 0.0);
    double window = 0.0;
    for (int i = 0; i < count; ++i) {
        window += slope[std::size_t(i)] - (i >= Smooth ? slope[std::size_t(i - Smooth)] : 0.0);
        energy[std::size_t(i - Smooth / 2 >= 0 ? i - Smooth / 2 : 0)] = window;
    }
    const double threshold = 0.4 * *std::max_element(energy.begin(), energy.end());
    const int refractory = Rate * 3 / 10;
    std::vector<double> peaks;
    for (int i = 0; i < count;) {
        if (energy[std::size_t(i)] < threshold) {
            ++i;
            continue;
        }
        int peak = i;
        for (int j = i; j < std::min(count, i + refractory); ++j) {
            if (energy[std::size_t(j)] > energy[std::size_t(peak)])
                peak = j;
        }
        peaks.push_back(double(peak) / Rate);
        i = peak + refractory;
    }
    return peaks;
}

DemoStudy::DemoStudy() : m_store(std::make_unique<TLocalStudyStore>("PulsorixVAROR", m_environment.base()))
{
    record();
    analyse();
}

DemoStudy::~DemoStudy()
{
    m_latePotentials.reset();
    m_averager.reset();
    m_chain.reset();
    m_store->closeStudy(m_study);
}

QString DemoStudy::reportsFolder() const
{
    return QString::fromStdString(m_store->dataPath()) + QStringLiteral("/reports");
}

// Records the whole demo recording with one beat per R peak (RR to the
// previous peak, running mean of up to eight RR), then reopens the study
// as the review does, with its files opened for reading.
void DemoStudy::record()
{
    TStudyInfo info = demoStudyInfo();
    TStudy* recording = m_store->createStudy(info);
    const QByteArray frames = demoFrames();
    recording->ecgFile()->appendInterleaved(frames.constData(), frames.size());
    m_beatTimes = findRPeaks(frames);
    std::vector<double> rrs;
    for (std::size_t k = 0; k < m_beatTimes.size(); ++k) {
        const double time = m_beatTimes[k];
        TBeat beat(recording->ecgFile());
        beat.setNumber(int(k));
        beat.setWindowStart(time - 0.25);
        beat.setWindowLength(0.6);
        beat.setValue(TBeat::QrsTime, time);
        const double rr = k > 0 ? time - m_beatTimes[k - 1] : 0.0;
        const std::size_t recent = std::min<std::size_t>(rrs.size(), 8);
        beat.setValue(TBeat::RrInterval, rr);
        beat.setValue(TBeat::MeanRrInterval,
                      recent > 0 ? std::accumulate(rrs.end() - std::ptrdiff_t(recent), rrs.end(), 0.0) / double(recent)
                                 : 0.0);
        for (int lead = 0; lead < Leads; ++lead) {
            beat.setMark(lead, TBeat::LeadUsable, 1);
            beat.setMark(lead, TBeat::MainQrsWave, time);
            beat.setMark(lead, TBeat::QrsPolarity, 1);
        }
        recording->beatsFile()->append(beat);
        if (k > 0)
            rrs.push_back(rr);
    }
    m_meanRr = std::accumulate(rrs.begin(), rrs.end(), 0.0) / double(std::max<std::size_t>(1, rrs.size()));
    m_store->saveStudy(recording);
    const int id = recording->id();
    m_store->closeStudy(recording);
    m_study = m_store->openStudy(id);
    if (m_study == nullptr)
        throw std::runtime_error("The demo study cannot be reopened");
}

void DemoStudy::analyse()
{
    m_chain = std::make_unique<TReviewFilterChain>(m_study->ecgFile());
    m_chain->configure(false, true, false);
    m_averager = std::make_unique<TLiveBeatAverager>(*m_chain->output());
    TBeat beat;
    for (int index = 0; m_study->beatsFile()->read(index, beat); ++index)
        m_averager->add(beat);
    m_latePotentials = std::make_unique<TLatePotentials>(*m_averager);
    m_latePotentials->compute();
    TWaveDelineator().delineate(*m_averager, V5).storeInto(m_study->results(), m_averager->samplingRate(),
                                                          m_averager->centre());
    setResult("avgRRInterval", m_meanRr);
}

void DemoStudy::setResult(const char* name, double value)
{
    m_study->results().find(QString::fromLatin1(name))->setValue(value);
}

double DemoStudy::result(const char* name) const
{
    return m_study->results().find(QString::fromLatin1(name))->value();
}

} // namespace reporttest
