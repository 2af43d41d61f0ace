#include "report/THRECGReport.h"

#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatAverager.h"
#include "analysis/signal/TElectrodeOff.h"
#include "analysis/beats/TIntervalMeasures.h"
#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/filters/TReviewFilterChain.h"
#include "analysis/signal/TSignalGaps.h"
#include "report/BeatGraphic.h"
#include "report/SignalGraphic.h"
#include "pipeline/TLatePotentialLimits.h"
#include "report/TBeatListSearch.h"
#include "report/VARORGraphic.h"
#include "report/engine/QReportEngine.h"
#include "pipeline/TReviewAnalysis.h"
#include "pipeline/TStudyLatePotentials.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TStudy.h"
#include "storage/TStudyInfo.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPainter>
#include <QPixmap>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>

namespace {

const char* const templateFiles[] = {":/res/ecgreport1.xml", ":/res/ecgreport2.xml", ":/res/ecgreport3.xml"};
const char* const brandLogoFile = ":/res/logo-pulsorix-report.png";

// The averager of the average column sees the beats of this window, from
// five seconds before the start of the traces.
constexpr double AverageWindow = 20.0;
constexpr double AverageLeadIn = 5.0;

constexpr int AllLeads = 4095;
// Resolution pictures are printed at.
constexpr int PictureDpi = 300;

// What an ECG strip of the first page shows: its leads, its start after
// the report's start time, and whether it has beat marks and calibration
// pulses.
struct EcgStrip
{
    int leadMask;
    double offset;
    bool beatMarks;
    bool calibration;
};

struct NamedStrip
{
    const char* code;
    EcgStrip strip;
};

// The columns of the 6-by-2 and 4-by-3 layouts follow each other in time,
// each as long as its column is wide at 25 mm/s.
const NamedStrip namedStrips[] = {
    {"12by1", {AllLeads, 0.0, true, true}},
    {"6by2/1", {63, 0.0, false, false}},
    {"6by2/2", {4032, 5.4, false, true}},
    {"3by4/1", {7, 0.0, false, false}},
    {"3by4/2", {56, 2.6, false, false}},
    {"3by4/3", {448, 5.2, false, false}},
    {"3by4/4", {3584, 7.8, false, true}},
};

// The words of the filter list in the language of the Spanish templates.
const std::pair<const char*, const char*> spanishFilterWords[] = {
    {"notch 50hz", "red 50 Hz"},
    {"muscle noise", "ruido muscular"},
    {"baseline fix", "corrección de línea de base"},
    {"none", "ninguno"},
};

// Why a verdict cannot be given, in the language of the Spanish templates.
const std::pair<const char*, const char*> spanishReasons[] = {
    {"the criteria are defined at %1 Hz", "los criterios se definen a %1 Hz"},
    {"noise %1 uV is above the limit of %2 uV", "ruido de %1 uV por encima del límite de %2 uV"},
    {"%1 beats averaged, fewer than %2", "%1 latidos promediados, menos de %2"},
    {"source leads missing: %1", "faltan derivaciones fuente: %1"},
    {"electrodes off during more than a tenth of the averaged beats: %1",
     "electrodos sin contacto en más de la décima parte de los latidos promediados: %1"},
    {"the QRS onset is at the end of its search range", "el inicio del QRS está en el límite de su búsqueda"},
    {"the QRS offset is at the end of its search range", "el final del QRS está en el límite de su búsqueda"},
};

// The wave marks of the combined averaged beat, in BeatGraphic's order.
const char* const beatMarkNames[] = {"POnset", "POffset", "PPeak", "QRSOnset", "QRSOffset", "TOnset", "TOffset"};

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), int(text.size()));
}

// A picture is scaled to fit the bounds keeping its aspect ratio, with no
// more pixels than 300 dpi on paper need, and centred in them.
void drawCentred(QPainter& painter, const QRect& bounds, const QPixmap& pixmap)
{
    if (pixmap.isNull())
        return;
    const QSize target = pixmap.size().scaled(bounds.size(), Qt::KeepAspectRatio);
    const double share = std::min(1.0, double(PictureDpi) / std::max(1, painter.device()->logicalDpiX()));
    const QSize pixels(std::max(1, int(target.width() * share)), std::max(1, int(target.height() * share)));
    const QPixmap scaled = pixmap.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QRect place((bounds.left() + bounds.right()) / 2 - target.width() / 2,
                      (bounds.top() + bounds.bottom()) / 2 - target.height() / 2, target.width(), target.height());
    painter.drawPixmap(place, scaled);
}

// The valid beats of the beat list from `from` up to `to` (exclusive), in
// time order; rejected beats are never averaged.
void feedBeats(const TBeatsFile& beats, double from, double to, TBeatAverager& averager)
{
    TBeat beat;
    for (int index = firstBeatFrom(beats, from); beats.read(index, beat) && beat.value(TBeat::QrsTime) < to; ++index) {
        if (beat.isValid())
            averager.add(beat);
    }
}

} // namespace

THRECGReport::THRECGReport(TStudy* study, const TLatePotentials* latePotentials, QObject* parent)
    : QObject(parent), m_study(study), m_latePotentials(latePotentials), m_engine(std::make_unique<QReportEngine>())
{
    computeMeasures();
    connect(m_engine.get(), &QReportEngine::setValue, this, &THRECGReport::reportValue);
    connect(m_engine.get(), &QReportEngine::setValueImage, this, &THRECGReport::reportImage);
    connect(m_engine.get(), &QReportEngine::drawing, this, &THRECGReport::reportDrawing);
    connect(m_engine.get(), &QReportEngine::progress, this, &THRECGReport::progress);
}

THRECGReport::~THRECGReport() = default;

// The interval measurements of the study's wave marks. A mark that is not
// set (0) leaves the measurements that need it absent: without the T
// offset there is no QT and no QTc, rather than an interval measured to
// the beat's alignment point.
void THRECGReport::computeMeasures()
{
    const TIntervalMeasures intervals = TIntervalMeasures::fromWaveMarks(m_study->results());
    const std::pair<const char*, std::optional<int>> entries[] = {
        {"PR", intervals.pr}, {"QRS", intervals.qrs}, {"QT", intervals.qt}, {"QTc", intervals.qtc}, {"RR", intervals.rr}};
    for (const auto& entry : entries) {
        if (entry.second)
            m_measures.insert(QString::fromLatin1(entry.first), *entry.second);
    }
    if (m_latePotentials != nullptr)
        m_assessment = TStudyLatePotentials::assess(*m_study, *m_latePotentials, TLatePotentialLimits::fromSettings());
}

void THRECGReport::printReport()
{
    prepareTemplate();
    m_engine->printToPrinter(false, true, QString());
}

bool THRECGReport::saveReportPdf(const QString& path)
{
    prepareTemplate();
    return m_engine->printToPdfFile(path, m_openPdf);
}

TReportTextFit::Outcome THRECGReport::conclusionFit()
{
    loadTemplate();
    return m_engine->labelFit(QStringLiteral("demo/conclusion"));
}

void THRECGReport::loadTemplate()
{
    const int layout = m_options.layout == TReportOptions::Layout6by2 || m_options.layout == TReportOptions::Layout4by3
                           ? m_options.layout
                           : TReportOptions::Layout12by1;
    if (!m_engine->loadTemplate(QString::fromLatin1(templateFiles[layout])))
        throw std::runtime_error(TemplateLoadError);
}

// Template page 0 (the ECG) is always printed; page 1 (the rest of a
// conclusion too long for its box on page 0) only when needed; pages 2 to
// 4 only when chosen. Every kept page prints its MasterData band once.
void THRECGReport::prepareTemplate()
{
    loadTemplate();
    splitConclusion();
    m_engine->pageRecordCounts.append(1);
    QList<int> removed;
    if (m_conclusionRest.isEmpty())
        removed.append(ContinuationPage);
    else
        m_engine->pageRecordCounts.append(1);
    const bool keep[] = {m_options.printAverageMeasures, m_options.printLeadAverage, m_options.printLatePotentials};
    for (int page = ContinuationPage + 1; page <= ContinuationPage + 3; ++page) {
        if (keep[page - ContinuationPage - 1])
            m_engine->pageRecordCounts.append(1);
        else
            removed.append(page);
    }
    m_engine->removeTemplatePages(removed);
}

// A conclusion that does not fit its box even at the smallest readable
// size prints there as far as it fits, with a note that it continues, and
// whole on the page that follows.
void THRECGReport::splitConclusion()
{
    m_conclusionHead.clear();
    m_conclusionRest.clear();
    const QString whole = studyProperty(QStringLiteral("conclusion"));
    const QString note = spanish() ? QStringLiteral(" (continúa en la pág. 2)") : tr(" (continued on page 2)");
    const int length = m_engine->labelFittingLength(QStringLiteral("demo/conclusion"), note);
    if (length < 0 || length >= whole.size())
        return;
    m_conclusionHead = whole.left(length).trimmed() + note;
    m_conclusionRest = whole.mid(length).trimmed();
}

void THRECGReport::reportValue(int&, QString& paramName, QVariant& paramValue, int)
{
    const QVariant answer = value(paramName);
    if (answer.isValid())
        paramValue = answer;
}

void THRECGReport::reportImage(int&, QString&, QImage&, int) {}

QVariant THRECGReport::value(const QString& name) const
{
    static const QString demoPrefix = QStringLiteral("demo/");
    static const QString measurementPrefix = QStringLiteral("beatMeasurement/");
    if (name == QLatin1String("headerTitle"))
        return m_options.headerTitle;
    if (name == QLatin1String("headerInfo"))
        return m_options.headerInfo;
    if (name == QLatin1String("demo/conclusion") && !m_conclusionRest.isEmpty())
        return m_conclusionHead;
    if (name == QLatin1String("conclusionContinued"))
        return m_conclusionRest;
    if (name.startsWith(demoPrefix))
        return studyProperty(name.mid(demoPrefix.size()));
    if (name == QLatin1String("studyDateTime"))
        return studyDate();
    if (name == QLatin1String("patientBMI"))
        return patientBmi();
    if (name == QLatin1String("patientRiskFactors"))
        return riskFactors();
    if (name.startsWith(measurementPrefix))
        return measurement(name.mid(measurementPrefix.size()));
    if (name == QLatin1String("ecgFilters"))
        return filterList();
    if (name == QLatin1String("ecgElectrodesOff"))
        return electrodesOff();
    return latePotentialParameter(name);
}

QString THRECGReport::studyProperty(const QString& key) const
{
    return fromUtf8(m_study->propertyValue(key.toUtf8().toStdString()));
}

QString THRECGReport::studyDate() const
{
    const QDateTime dateTime =
        QDateTime::fromString(fromUtf8(m_study->studyDateTime()), QStringLiteral("yyyyMMddHHmmss"));
    return dateTime.isValid() ? dateTime.toString(QStringLiteral("dd/MM/yyyy")) : QString();
}

QString THRECGReport::patientBmi() const
{
    return fromUtf8(bodyMassIndexText(m_study->propertyValue("patient/weight"),
                                      m_study->propertyValue("patient/height")));
}

QString THRECGReport::riskFactors() const
{
    QString text;
    for (const auto& entry : m_study->riskFactors()) {
        if (!entry.second.first)
            continue;
        text += fromUtf8(entry.first);
        if (!entry.second.second.empty())
            text += QStringLiteral(" [%1]").arg(fromUtf8(entry.second.second));
        text += QLatin1Char('\n');
    }
    return text;
}

QString THRECGReport::measurement(const QString& key) const
{
    const int milliseconds = m_measures.value(key, 0);
    return milliseconds != 0 ? QString::number(milliseconds) : QStringLiteral("--");
}

QString THRECGReport::filterList() const
{
    QStringList filters;
    if (m_options.notchFilter)
        filters.append(filterWord(QT_TR_NOOP("notch 50hz")));
    if (m_options.muscleFilter)
        filters.append(filterWord(QT_TR_NOOP("muscle noise")));
    if (m_options.baselineFilter)
        filters.append(filterWord(QT_TR_NOOP("baseline fix")));
    return filters.isEmpty() ? filterWord(QT_TR_NOOP("none")) : filters.join(QStringLiteral(", "));
}

// Every interval with an electrode off, after the filters of the first
// page: " - Electrodos sin contacto: LA 0:00-1:00, V3 0:12-0:40"; empty
// when all stayed on.
QString THRECGReport::electrodesOff() const
{
    const auto clock = [](double seconds) {
        const int whole = int(seconds);
        return QString::asprintf("%d:%02d", whole / 60, whole % 60);
    };
    QStringList intervals;
    for (const TElectrodeOff::Interval& interval : TElectrodeOff::of(m_study->results()))
        intervals << QStringLiteral("%1 %2-%3")
                         .arg(interval.electrode, clock(interval.start), clock(interval.start + interval.seconds));
    if (intervals.isEmpty())
        return QString();
    const QString caption = spanish() ? QStringLiteral("Electrodos sin contacto") : tr("Electrodes off");
    return QStringLiteral(" - %1: %2").arg(caption, intervals.join(QStringLiteral(", ")));
}

QStringList THRECGReport::reasons() const
{
    QStringList texts;
    for (const TLatePotentialsAssessment::Reason& reason : m_assessment.reasonDetails) {
        QString wording = QCoreApplication::translate("TLatePotentialsAssessment", reason.wording);
        if (spanish()) {
            for (const auto& [english, spanishWording] : spanishReasons) {
                if (qstrcmp(english, reason.wording) == 0)
                    wording = QString::fromUtf8(spanishWording);
            }
        }
        texts << reason.text(wording);
    }
    return texts;
}

bool THRECGReport::spanish() const
{
    return m_engine->templateLanguage() == QLatin1String("es");
}

// The filter list stands among the template's fixed texts, so it speaks
// their language rather than that of the windows.
QString THRECGReport::filterWord(const char* english) const
{
    if (spanish()) {
        for (const auto& word : spanishFilterWords) {
            if (qstrcmp(word.first, english) == 0)
                return QString::fromUtf8(word.second);
        }
    }
    return tr(english);
}

QVariant THRECGReport::latePotentialParameter(const QString& name) const
{
    if (m_latePotentials == nullptr)
        return QVariant();
    if (name == QLatin1String("varorParams/HPCutoff"))
        return m_latePotentials->highPassCutoff();
    if (name == QLatin1String("varorParams/LASThreshold"))
        return m_latePotentials->lasThreshold();
    if (name == QLatin1String("varorParams/RMSDuration"))
        return m_latePotentials->rmsDuration();
    return latePotentialAssessment(name);
}

QVariant THRECGReport::latePotentialAssessment(const QString& name) const
{
    const TLatePotentialsAssessment& a = m_assessment;
    if (name == QLatin1String("varorQuality/Noise"))
        return QString::number(a.noiseMicrovolts, 'f', 2);
    if (name == QLatin1String("varorQuality/NoiseLimit"))
        return QString::number(TLatePotentialLimits::fromSettings().noiseMicrovolts, 'f', 1);
    if (name == QLatin1String("varorQuality/BeatsAveraged"))
        return a.beatsAveraged;
    if (name == QLatin1String("varorQuality/MinimumBeats"))
        return TLatePotentialLimits::fromSettings().minimumBeats;
    const std::pair<const char*, const TLatePotentialsAssessment::Criterion*> criteria[] = {
        {"QRSD", &a.qrsd}, {"RMS", &a.rms}, {"LAS", &a.las}};
    for (const auto& [criterion, figures] : criteria) {
        const QString prefix = QStringLiteral("varorCriteria/") + QLatin1String(criterion);
        if (name == prefix + QLatin1String("Value"))
            return QString::number(figures->value, 'f', 0);
        if (name == prefix + QLatin1String("Holds"))
            return figures->holds ? 1 : 0;
    }
    // 1 positive, 0 negative, -1 not assessable.
    if (name == QLatin1String("varorCriteria/Verdict"))
        return a.verdict == TLatePotentialsAssessment::Verdict::Positive   ? 1
               : a.verdict == TLatePotentialsAssessment::Verdict::Negative ? 0
                                                                            : -1;
    if (name == QLatin1String("varorCriteria/LimitsByHand")) {
        if (!TReviewAnalysis::latePotentialLimitsByHand(m_study->results()))
            return QString();
        return spanish() ? QStringLiteral(", sobre los límites del QRS fijados a mano")
                         : tr(", on the QRS limits set by hand");
    }
    if (name == QLatin1String("varorCriteria/Reasons"))
        return reasons().join(QStringLiteral("; "));
    return QVariant();
}

void THRECGReport::reportDrawing(int&, QString& paramName, QPainter& painter, QRect& bounds, int)
{
    static const QString ecgPrefix = QStringLiteral("ecgGraphic/");
    static const QString leadBeatPrefix = QStringLiteral("beatGraphic/");
    if (paramName == QLatin1String("headerLogo")) {
        drawCentred(painter, bounds, QPixmap(m_options.logoFileName));
    } else if (paramName == QLatin1String("brandLogo")) {
        drawCentred(painter, bounds, QPixmap(QString::fromLatin1(brandLogoFile)));
    } else if (paramName.startsWith(ecgPrefix)) {
        drawEcgGraphic(painter, bounds, paramName.mid(ecgPrefix.size()));
    } else if (paramName == QLatin1String("beatGraphic")) {
        drawBeatGraphic(painter, bounds, m_options.averageLeadMask, true);
    } else if (paramName.startsWith(leadBeatPrefix)) {
        bool isNumber = false;
        const int lead = paramName.mid(leadBeatPrefix.size()).toInt(&isNumber);
        if (isNumber && lead >= 0 && lead < TBeat::MaxLeads)
            drawBeatGraphic(painter, bounds, 1 << lead, false);
    } else if (paramName == QLatin1String("varorGraphic")) {
        drawLatePotentials(painter, bounds);
    }
}

void THRECGReport::drawEcgGraphic(QPainter& painter, const QRect& bounds, const QString& code) const
{
    if (m_study->ecgFile() == nullptr)
        return;
    EcgStrip strip{AllLeads, 0.0, true, true};
    if (code == QLatin1String("rhythm"))
        strip.leadMask = 1 << rhythmLeadIndex();
    else if (code.startsWith(QLatin1String("6by2/")) || code.startsWith(QLatin1String("3by4/")))
        strip.beatMarks = false;
    for (const NamedStrip& named : namedStrips) {
        if (code == QLatin1String(named.code))
            strip = named.strip;
    }

    TReviewFilterChain chain(m_study->ecgFile());
    chain.setNotchName(QStringLiteral("50hz"));
    chain.setLowPassName(QStringLiteral("40hz"));
    chain.configure(m_options.notchFilter, m_options.muscleFilter, m_options.baselineFilter);

    SignalGraphic graphic;
    graphic.setSignal(chain.output());
    graphic.setBeats(m_study->beatsFile());
    graphic.setGaps(TSignalGaps::of(m_study->results()));
    graphic.setLeadMask(strip.leadMask);
    graphic.setStartTime(m_options.startTime + strip.offset);
    graphic.setShowBeatMarks(strip.beatMarks);
    graphic.setShowCalibration(strip.calibration);
    graphic.setHrFormat(tr("HR %1 bpm"));
    graphic.setShowAverage(m_options.showAverage);
    std::unique_ptr<TBeatAverager> averager;
    if (m_options.showAverage && m_study->beatsFile() != nullptr) {
        averager = std::make_unique<TBeatAverager>(*chain.output(), AverageWindow);
        const double from = m_options.startTime - AverageLeadIn;
        feedBeats(*m_study->beatsFile(), from, from + AverageWindow, *averager);
        graphic.setAverager(averager.get());
    }
    graphic.draw(painter, bounds);
}

int THRECGReport::rhythmLeadIndex() const
{
    const TEcgFile& ecg = *m_study->ecgFile();
    for (int channel = 0; channel < ecg.channelCount(); ++channel) {
        if (ecg.channelName(channel) == m_options.rhythmLead)
            return channel;
    }
    return 0;
}

// The averaged beats of the late-potential analysis. The study's marks
// count from the beat's alignment point; on the beat they count from its
// first sample. Marks that are not set stay out of the graphic.
void THRECGReport::drawBeatGraphic(QPainter& painter, const QRect& bounds, int leadMask, bool withMarks) const
{
    if (m_latePotentials == nullptr)
        return;
    const TLiveBeatAverager& averager = m_latePotentials->averager();
    BeatGraphic graphic;
    graphic.setBeatSet(&averager);
    graphic.setLeadMask(leadMask);
    if (withMarks) {
        const double fiducial = double(averager.centre()) / averager.samplingRate();
        for (int index = 0; index < int(std::size(beatMarkNames)); ++index) {
            const TWaveMark* mark = m_study->results().find(QString::fromLatin1(beatMarkNames[index]));
            if (mark != nullptr && mark->value() != 0.0)
                graphic.setMark(index, mark->value() + fiducial);
        }
    }
    graphic.draw(painter, bounds);
}

void THRECGReport::drawLatePotentials(QPainter& painter, const QRect& bounds) const
{
    if (m_latePotentials == nullptr)
        return;
    VARORGraphic graphic;
    graphic.setAnalysis(m_latePotentials);
    const QString settings = TLatePotentialsAssessment::settingsLabel(*m_latePotentials);
    if (!settings.isEmpty())
        graphic.setSettingsLabel(spanish() ? QStringLiteral("a %1").arg(settings) : tr("at %1").arg(settings));
    graphic.draw(painter, bounds);
}
