#include "formats/TAecgExport.h"

#include "analysis/signal/TLeadSet.h"
#include "formats/TExportRecord.h"

#include <QLocale>
#include <QStringList>
#include <QUuid>
#include <QXmlStreamWriter>

#include <cmath>
#include <functional>
#include <optional>

namespace {

const QString Hl7Namespace = QStringLiteral("urn:hl7-org:v3");
const QString XsiNamespace = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");
const QString Mdc = QStringLiteral("2.16.840.1.113883.6.24");
const QString ActCode = QStringLiteral("2.16.840.1.113883.5.4");
const QString Cpt4 = QStringLiteral("2.16.840.1.113883.6.12");
const QString Gender = QStringLiteral("2.16.840.1.113883.5.1");
const QString TimestampFormat = QStringLiteral("yyyyMMddHHmmss.zzz");
constexpr int StandardLeads = TLeadSet::LeadV6 + 1; // I ... V6

// A wave of the representative beat: its onset and offset marks, and the
// mark of its peak where there is one.
struct Wave
{
    const char* code;
    const char* onset;
    const char* offset;
    const char* peak;
};
constexpr Wave Waves[] = {
    {"MDC_ECG_WAVC_PWAVE", "POnset", "POffset", "PPeak"},
    {"MDC_ECG_WAVC_QRSWAVE", "QRSOnset", "QRSOffset", nullptr},
    {"MDC_ECG_WAVC_TWAVE", "TOnset", "TOffset", nullptr},
};

class AecgWriter
{
public:
    explicit AecgWriter(const TExportRecord& record) : m_record(record), m_xml(&m_bytes)
    {
        m_xml.setAutoFormatting(true);
        m_xml.setAutoFormattingIndent(1);
    }

    QByteArray encode();

private:
    void start(const char* name) { m_xml.writeStartElement(QLatin1String(name)); }
    void end() { m_xml.writeEndElement(); }
    void code(const QString& code, const QString& system, const QString& systemName = QString());
    void id() { attributeElement("id", "root", QUuid::createUuid().toString(QUuid::WithoutBraces)); }
    void attributeElement(const char* name, const char* attribute, const QString& value);
    void typedValue(const char* type);
    void quantity(const char* name, double value, const char* unit);
    void timestamp(const char* name, double seconds);
    void effectiveTime();
    void subject();
    void series();
    void sequenceSet(const char* timeCode, const std::vector<std::vector<qint16>>* counts,
                     const std::vector<std::vector<double>>* millivolts);
    void leadSequence(int lead, double scaleMicrovolts, const QString& digits);
    void representativeBeat();
    void waveAnnotations();
    void seriesAnnotations();
    void measurement(const char* code, const std::optional<double>& value, const char* unit);
    void beatAnnotation(const TExportBeat& beat);
    void regionOfInterest(const char* timeCode, const char* type, const std::function<void()>& bounds);

    static QString leadCode(int lead) { return QStringLiteral("MDC_ECG_LEAD_") + TLeadSet::leadName(lead).toUpper(); }

    const TExportRecord& m_record;
    QByteArray m_bytes;
    QXmlStreamWriter m_xml;
};

QByteArray AecgWriter::encode()
{
    m_xml.writeStartDocument();
    m_xml.writeDefaultNamespace(Hl7Namespace);
    m_xml.writeNamespace(XsiNamespace, QStringLiteral("xsi"));
    start("AnnotatedECG");
    id();
    code(QStringLiteral("93000"), Cpt4, QStringLiteral("CPT-4"));
    effectiveTime();
    subject();
    start("component");
    series();
    end();
    end();
    m_xml.writeEndDocument();
    return m_bytes;
}

void AecgWriter::code(const QString& value, const QString& system, const QString& systemName)
{
    start("code");
    m_xml.writeAttribute(QStringLiteral("code"), value);
    m_xml.writeAttribute(QStringLiteral("codeSystem"), system);
    if (!systemName.isEmpty())
        m_xml.writeAttribute(QStringLiteral("codeSystemName"), systemName);
    end();
}

void AecgWriter::attributeElement(const char* name, const char* attribute, const QString& value)
{
    start(name);
    m_xml.writeAttribute(QLatin1String(attribute), value);
    end();
}

void AecgWriter::typedValue(const char* type)
{
    start("value");
    m_xml.writeAttribute(XsiNamespace, QStringLiteral("type"), QLatin1String(type));
}

void AecgWriter::quantity(const char* name, double value, const char* unit)
{
    start(name);
    m_xml.writeAttribute(QStringLiteral("value"), QString::number(value, 'g', QLocale::FloatingPointShortest));
    m_xml.writeAttribute(QStringLiteral("unit"), QLatin1String(unit));
    end();
}

void AecgWriter::timestamp(const char* name, double seconds)
{
    const QDateTime time = m_record.start.addMSecs(std::llround(seconds * 1000.0));
    attributeElement(name, "value", time.toString(TimestampFormat));
}

void AecgWriter::effectiveTime()
{
    start("effectiveTime");
    timestamp("low", 0.0);
    timestamp("high", double(m_record.length()) / m_record.samplingRate);
    end();
}

void AecgWriter::subject()
{
    start("componentOf");
    start("timepointEvent");
    start("componentOf");
    start("subjectAssignment");
    start("subject");
    start("trialSubject");
    attributeElement("id", "extension", m_record.name);
    start("subjectDemographicPerson");
    start("name");
    m_xml.writeTextElement(QStringLiteral("given"), m_record.firstName);
    m_xml.writeTextElement(QStringLiteral("family"), m_record.lastName);
    end();
    start("administrativeGenderCode");
    m_xml.writeAttribute(QStringLiteral("code"), m_record.sex.isEmpty() ? QStringLiteral("UN") : m_record.sex);
    m_xml.writeAttribute(QStringLiteral("codeSystem"), Gender);
    end();
    if (m_record.birthDate.isValid())
        attributeElement("birthTime", "value", m_record.birthDate.toString(QStringLiteral("yyyyMMdd")));
    end(); // subjectDemographicPerson
    end(); // trialSubject
    end(); // subject
    start("componentOf");
    start("clinicalTrial");
    id();
    end();
    end();
    end(); // subjectAssignment
    end();
    end(); // timepointEvent
    end();
}

void AecgWriter::series()
{
    start("series");
    id();
    code(QStringLiteral("RHYTHM"), ActCode, QStringLiteral("ActCode"));
    effectiveTime();
    start("author");
    start("seriesAuthor");
    start("manufacturedSeriesDevice");
    m_xml.writeTextElement(QStringLiteral("manufacturerModelName"), QStringLiteral("VA ROR"));
    end();
    start("manufacturerOrganization");
    m_xml.writeTextElement(QStringLiteral("name"), QStringLiteral("Pulsorix"));
    end();
    end();
    end();
    // The schema's order: component, subjectOf, derivation.
    start("component");
    sequenceSet("TIME_ABSOLUTE", &m_record.leads, nullptr);
    end();
    start("subjectOf");
    seriesAnnotations();
    end();
    start("derivation");
    representativeBeat();
    end();
    end();
}

// The time sequence and one sequence per standard lead, from device counts
// (exact at the device's step) or from millivolts (in whole microvolts).
void AecgWriter::sequenceSet(const char* timeCode, const std::vector<std::vector<qint16>>* counts,
                             const std::vector<std::vector<double>>* millivolts)
{
    start("sequenceSet");
    start("component");
    start("sequence");
    code(QLatin1String(timeCode), ActCode, QStringLiteral("ActCode"));
    const bool absolute = counts != nullptr;
    typedValue(absolute ? "GLIST_TS" : "GLIST_PQ");
    if (absolute)
        attributeElement("head", "value", m_record.start.toString(TimestampFormat));
    else
        quantity("head", 0.0, "s");
    quantity("increment", 1.0 / m_record.samplingRate, "s");
    end();
    end();
    end();
    for (int lead = 0; lead < StandardLeads; ++lead) {
        const int index = m_record.leadNames.indexOf(TLeadSet::leadName(lead));
        if (index < 0)
            continue;
        QStringList digits;
        if (absolute) {
            for (const qint16 count : (*counts)[std::size_t(index)])
                digits.append(QString::number(count));
            leadSequence(lead, m_record.millivoltsPerCount * 1000.0, digits.join(QLatin1Char(' ')));
        } else {
            for (const double value : (*millivolts)[std::size_t(index)])
                digits.append(QString::number(std::lround(value * 1000.0)));
            leadSequence(lead, 1.0, digits.join(QLatin1Char(' ')));
        }
    }
    end();
}

void AecgWriter::leadSequence(int lead, double scaleMicrovolts, const QString& digits)
{
    start("component");
    start("sequence");
    code(leadCode(lead), Mdc, QStringLiteral("MDC"));
    typedValue("SLIST_PQ");
    quantity("origin", 0.0, "uV");
    quantity("scale", scaleMicrovolts, "uV");
    m_xml.writeTextElement(QStringLiteral("digits"), digits);
    end();
    end();
    end();
}

void AecgWriter::representativeBeat()
{
    start("derivedSeries");
    id();
    code(QStringLiteral("REPRESENTATIVE_BEAT"), ActCode, QStringLiteral("ActCode"));
    // The beat is averaged over the whole recording: its time is the
    // recording's.
    effectiveTime();
    start("component");
    sequenceSet("TIME_RELATIVE", nullptr, &m_record.averagedBeats);
    end();
    start("subjectOf");
    start("annotationSet");
    waveAnnotations();
    end();
    end();
    end();
}

// Marks are stored from the beat's centre; the relative time runs from its
// first sample.
void AecgWriter::waveAnnotations()
{
    const auto at = [this](const char* mark) -> std::optional<double> {
        const auto found = m_record.marks.find(QLatin1String(mark));
        if (found == m_record.marks.end())
            return std::nullopt;
        return (found->second + m_record.averagedBeatCentre) * 1000.0;
    };
    for (const Wave& wave : Waves) {
        const std::optional<double> onset = at(wave.onset);
        const std::optional<double> offset = at(wave.offset);
        if (!onset || !offset)
            continue;
        start("component");
        start("annotation");
        code(QStringLiteral("MDC_ECG_WAVC"), Mdc, QStringLiteral("MDC"));
        typedValue("CE");
        m_xml.writeAttribute(QStringLiteral("code"), QLatin1String(wave.code));
        m_xml.writeAttribute(QStringLiteral("codeSystem"), Mdc);
        end();
        regionOfInterest("TIME_RELATIVE", "IVL_PQ", [&] {
            quantity("low", *onset, "ms");
            quantity("high", *offset, "ms");
        });
        if (const std::optional<double> peak = wave.peak ? at(wave.peak) : std::nullopt) {
            start("component");
            start("annotation");
            code(QStringLiteral("MDC_ECG_WAVC_PEAK"), Mdc, QStringLiteral("MDC"));
            regionOfInterest("TIME_RELATIVE", "IVL_PQ", [&] {
                quantity("low", *peak, "ms");
                quantity("high", *peak, "ms");
            });
            end();
            end();
        }
        end();
        end();
    }
}

void AecgWriter::regionOfInterest(const char* timeCode, const char* type, const std::function<void()>& bounds)
{
    start("support");
    start("supportingROI");
    code(QStringLiteral("ROIPS"), ActCode, QStringLiteral("ActCode"));
    start("component");
    start("boundary");
    code(QLatin1String(timeCode), ActCode, QStringLiteral("ActCode"));
    typedValue(type);
    bounds();
    end();
    end();
    end();
    end();
    end();
}

void AecgWriter::seriesAnnotations()
{
    start("annotationSet");
    const auto optional = [](const std::optional<int>& value) -> std::optional<double> {
        return value ? std::optional<double>(*value) : std::nullopt;
    };
    const TIntervalMeasures& measures = m_record.measures;
    measurement("MDC_ECG_HEART_RATE", m_record.heartRate > 0.0 ? std::optional<double>(m_record.heartRate) : std::nullopt,
                "bpm");
    measurement("MDC_ECG_TIME_PD_PR", optional(measures.pr), "ms");
    measurement("MDC_ECG_TIME_PD_QRS", optional(measures.qrs), "ms");
    measurement("MDC_ECG_TIME_PD_QT", optional(measures.qt), "ms");
    measurement("MDC_ECG_TIME_PD_QTc", optional(measures.qtc), "ms");
    measurement("MDC_ECG_TIME_PD_RR", optional(measures.rr), "ms");
    for (const TExportBeat& beat : m_record.beats)
        beatAnnotation(beat);
    end();
}

void AecgWriter::measurement(const char* measure, const std::optional<double>& value, const char* unit)
{
    if (!value)
        return;
    start("component");
    start("annotation");
    code(QLatin1String(measure), Mdc, QStringLiteral("MDC"));
    typedValue("PQ");
    m_xml.writeAttribute(QStringLiteral("value"), QString::number(*value, 'g', QLocale::FloatingPointShortest));
    m_xml.writeAttribute(QStringLiteral("unit"), QLatin1String(unit));
    end();
    end();
    end();
}

void AecgWriter::beatAnnotation(const TExportBeat& beat)
{
    start("component");
    start("annotation");
    code(QStringLiteral("MDC_ECG_BEAT"), Mdc, QStringLiteral("MDC"));
    typedValue("CE");
    m_xml.writeAttribute(QStringLiteral("code"), beat.normal ? QStringLiteral("MDC_ECG_BEAT_NORMAL")
                                                             : QStringLiteral("MDC_ECG_BEAT_UNKNOWN"));
    m_xml.writeAttribute(QStringLiteral("codeSystem"), Mdc);
    end();
    regionOfInterest("TIME_ABSOLUTE", "IVL_TS", [&] {
        timestamp("low", beat.seconds);
        timestamp("high", beat.seconds);
    });
    end();
    end();
}

} // namespace

namespace TAecgExport {

QByteArray encode(const TExportRecord& record)
{
    return AecgWriter(record).encode();
}

} // namespace TAecgExport
