#include "bench/BenchStudy.h"

#include "acquisition/TFastReplaySource.h"
#include "analysis/signal/TLeadSet.h"
#include "pipeline/TStudyRecording.h"
#include "storage/TStudy.h"

#include <stdexcept>

BenchStudy::BenchStudy(double seconds)
    : m_store(std::make_unique<TLocalStudyStore>("PulsorixVAROR", m_folder.path()))
{
    constexpr int Rate = 1000;
    TFastReplaySource source(QStringLiteral(VAROR_DATA_DIR "/ecg1000.dat"), TLeadSet::LeadCount, Rate,
                             qint64(seconds * Rate));
    TStudyInfo info;
    info.lastName = "Bench";
    info.firstName = "Study";
    info.studyType = "VA ROR";
    info.studyDateTime = "20240312103000";
    TStudyRecording::describeSignal(info, source);
    TStudy* study = m_store->createStudy(info);
    TStudyRecording::recordReplay(source, study, info.studyDateTime);
    m_store->saveStudy(study);
    m_store->closeStudy(study);
    m_id = info.id;
}
