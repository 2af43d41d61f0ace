#include "tests/windows/ReviewTestSupport.h"

#include "acquisition/TFastReplaySource.h"
#include "pipeline/TStudyRecording.h"
#include "analysis/signal/TSignal.h"
#include "analysis/signal/TWaveMarks.h"
#include "windows/EcgReviewWindow.h"

#include <QTest>

#include <stdexcept>
#include <utility>

namespace reviewtest {

namespace {

constexpr int Leads = 14;

TStudyInfo studyInfo(const QString& channelNames)
{
    TStudyInfo info;
    info.firstName = "Ana";
    info.lastName = "Garcia";
    info.studyDateTime = "20140312103000";
    info.studyType = "VA ROR";
    info.sampleFormat = "short";
    info.samplingRate = Rate;
    info.channelCount = Leads;
    info.channelNames = channelNames.toStdString();
    info.resolution = 16;
    info.gain = 300.0;
    info.conclusion = "Sinus rhythm.";
    return info;
}

} // namespace

ReviewStudy::ReviewStudy(const QString& channelNames)
    : m_store(std::make_unique<TLocalStudyStore>("PulsorixVAROR", m_base.path()))
{
    record(channelNames);
}

ReviewStudy::~ReviewStudy()
{
    m_store->closeStudy(m_study);
}

void ReviewStudy::reopen()
{
    const int id = m_study->id();
    m_store->saveStudy(m_study);
    m_store->closeStudy(std::exchange(m_study, nullptr));
    m_study = m_store->openStudy(id);
    if (!m_study)
        throw std::runtime_error("The study cannot be reopened");
}

// Replays the demo recording through the acquisition pipeline, recording
// from its first sample, then reopens the saved study for review.
void ReviewStudy::record(const QString& channelNames)
{
    TStudyInfo info = studyInfo(channelNames);
    TStudy* recording = m_store->createStudy(info);
    TFastReplaySource source(QStringLiteral(VAROR_DATA_DIR "/ecg1000.dat"), Leads, Rate,
                             qint64(RecordedSeconds * Rate));
    TStudyRecording::recordReplay(source, recording, "20140312103015");
    m_store->saveStudy(recording);
    m_store->closeStudy(recording);
    m_study = m_store->openStudy(info.id);
    if (!m_study)
        throw std::runtime_error("The recorded study cannot be reopened");
}

double ReviewStudy::result(const char* name) const
{
    return m_study->results().find(QLatin1String(name))->value();
}

void ReviewStudy::setResult(const char* name, double value)
{
    m_study->results().find(QLatin1String(name))->setValue(value);
}

std::unique_ptr<EcgReviewWindow> openReviewWindow(ReviewStudy& study)
{
    auto window = std::make_unique<EcgReviewWindow>(nullptr, study.study(), &study.store());
    window->resize(1280, 800);
    window->show();
    if (!waitFor([&] { return window->isAnalysed(); }))
        throw std::runtime_error("The analysis run did not happen");
    return window;
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

} // namespace reviewtest
