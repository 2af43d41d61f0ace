#include "storage/TStudyFiles.h"

#include "analysis/beats/TBeatStore.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TPrivateFiles.h"
#include "storage/TRecordingLimits.h"
#include "storage/TStudy.h"
#include "storage/TStudyJson.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonParseError>
#include <QSaveFile>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace TStudyFiles {

namespace {

const QString StudyKey = QStringLiteral("study");
const QString PatientKey = QStringLiteral("patient");
const QString EcgKey = QStringLiteral("ecg");
const QString ResultsKey = QStringLiteral("results");
const QString RiskFactorsKey = QStringLiteral("riskFactors");

// Longest channel name kept in an ECG header that has to be shortened.
constexpr int ShortChannelName = 16;
constexpr int MaximumResolution = 64;
// More beats per second than any heart beats.
constexpr double MaximumBeatsPerSecond = 5.0;

// Answers null after noting what was refused.
std::nullptr_t refuse(QString* refusal, const QString& path, const QString& what)
{
    if (refusal != nullptr)
        *refusal = QStringLiteral("%1: %2").arg(path, what);
    return nullptr;
}

// The "ecg" object of an ECG file header, checked against what recordings
// have; `what` is set when it is refused.
struct EcgHeader
{
    int resolution = 0;
    int samplingRate = 0;
    double gainMin = 0.0;
    double gainMax = 0.0;
    QJsonArray channels;
    QString what; // empty when the header is accepted
};

EcgHeader parseEcgHeader(QByteArray area)
{
    EcgHeader header;
    // Only the header area: the document ends at the first zero byte.
    const int end = area.indexOf('\0');
    if (end >= 0)
        area.truncate(end);
    const QJsonObject root = QJsonDocument::fromJson(area).object();
    const QJsonObject ecg = root.value(EcgKey).toObject();
    if (root.isEmpty() || ecg.isEmpty()) {
        header.what = QStringLiteral("the header holds no \"ecg\" object");
        return header;
    }
    const QJsonValue rate = ecg.value(QStringLiteral("samplingRate"));
    header.resolution = ecg.value(QStringLiteral("resolution")).toInt(0);
    header.samplingRate = rate.toInt(0);
    header.gainMin = ecg.value(QStringLiteral("gainMin")).toDouble(0.0);
    header.gainMax = ecg.value(QStringLiteral("gainMax")).toDouble(0.0);
    header.channels = ecg.value(QStringLiteral("channels")).toArray();
    const auto amplitude = [](double value) { return std::isfinite(value) && std::abs(value) <= MaximumAmplitude; };
    if (header.samplingRate < MinimumSamplingRate || header.samplingRate > MaximumSamplingRate)
        header.what = QStringLiteral("\"samplingRate\" %1 is not %2 to %3 Hz")
                          .arg(rate.toVariant().toString())
                          .arg(MinimumSamplingRate)
                          .arg(MaximumSamplingRate);
    else if (header.resolution <= 0 || header.resolution > MaximumResolution)
        header.what = QStringLiteral("\"resolution\" is not 1 to %1 bits").arg(MaximumResolution);
    else if (header.channels.isEmpty() || header.channels.size() > TSignal::MaxChannels)
        header.what = QStringLiteral("\"channels\" does not name 1 to %1 channels").arg(TSignal::MaxChannels);
    else if (ecg.value(QStringLiteral("sampleFormat")).toString().isEmpty())
        header.what = QStringLiteral("\"sampleFormat\" is empty");
    else if (!amplitude(header.gainMin) || !amplitude(header.gainMax) || !(header.gainMin < header.gainMax))
        header.what = QStringLiteral("\"gainMin\" and \"gainMax\" are not an amplitude range of a recording");
    return header;
}

QJsonObject ecgObject(const TEcgFile& ecg)
{
    QJsonArray channels;
    for (int c = 0; c < ecg.channelCount(); ++c)
        channels.append(ecg.channelName(c));
    QJsonObject object;
    object.insert(QStringLiteral("sampleFormat"), QStringLiteral("short"));
    object.insert(QStringLiteral("samplingRate"), ecg.samplingRate());
    object.insert(QStringLiteral("resolution"), ecg.resolutionBits());
    object.insert(QStringLiteral("gainMin"), ecg.rangeMinimum());
    object.insert(QStringLiteral("gainMax"), ecg.rangeMaximum());
    object.insert(QStringLiteral("channels"), channels);
    return object;
}

// The first `keep` characters of a text, never splitting a surrogate pair.
QString leftOf(const QString& text, int keep)
{
    keep = std::max(0, std::min(keep, text.size()));
    if (keep > 0 && keep < text.size() && text.at(keep - 1).isHighSurrogate())
        --keep;
    return text.left(keep);
}

// The text with at least one and at least `count` characters cut off its end.
QString shortened(const QString& text, int count)
{
    return leftOf(text, text.size() - std::max(1, count));
}

} // namespace

QByteArray compress(const QByteArray& data)
{
    return qCompress(data, -1);
}

bool uncompress(const QByteArray& data, QByteArray& out, qint64 limit)
{
    out.clear();
    if (data.size() <= 4)
        return false;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return false;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData() + 4));
    stream.avail_in = uInt(data.size() - 4);
    std::vector<char> buffer(65536);
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
        stream.avail_out = uInt(buffer.size());
        result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END)
            break;
        const qint64 produced = qint64(buffer.size()) - stream.avail_out;
        if (qint64(out.size()) + produced > limit) {
            result = Z_MEM_ERROR;
            break;
        }
        out.append(buffer.data(), int(produced));
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END) {
        out.clear();
        return false;
    }
    return true;
}

QJsonObject studyDocument(const TStudy& study)
{
    QJsonObject document;
    document.insert(StudyKey, TStudyJson::studyObject(study));
    document.insert(PatientKey, TStudyJson::patientObject(study));
    document.insert(ResultsKey, TStudyJson::resultsObject(study.results()));
    return document;
}

bool readStudyDocument(const QString& path, QJsonDocument& document)
{
    document = QJsonDocument();
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    if (file.size() > MaxStudyDocumentBytes)
        return false;
    const QByteArray magic = file.read(8);
    if (magic.size() < 8)
        return false;
    const bool compressed = magic == StudyMagic;
    if (!compressed && magic != StudyMagicV1)
        return false;
    const QByteArray rest = file.read(MaxStudyDocumentBytes);
    if (rest.isEmpty())
        return false;
    QByteArray json;
    if (compressed) {
        if (!uncompress(rest, json))
            return false;
    } else {
        json = rest;
    }
    QJsonParseError error{};
    document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        document = QJsonDocument();
    return true;
}

void saveStudyFile(const TStudy& study, const QString& path)
{
    const QByteArray json = TStudyJson::compact(studyDocument(study));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("Cannot create study file");
    TPrivateFiles::restrict(file);
    const QByteArray data = QByteArray(StudyMagic) + compress(json);
    // QSaveFile buffers: a failure to hand the data over (a full disk, a
    // size limit) shows only at flush, which commit itself does not check.
    if (file.write(data) != data.size() || !file.flush())
        file.cancelWriting();
    if (!file.commit())
        throw std::runtime_error("Write error");
}

QString siblingPath(const QString& studyPath, const QString& extension)
{
    const QFileInfo info(studyPath);
    return QStringLiteral("%1/%2.%3").arg(info.path(), info.completeBaseName(), extension);
}

std::unique_ptr<TStudy> loadStudyFile(const QString& path, QString* refusal)
{
    QJsonDocument document;
    if (!readStudyDocument(path, document) || document.isEmpty() || !document.isObject())
        return refuse(refusal, path, QStringLiteral("not a readable study file"));
    const QString ecgPath = siblingPath(path, QString::fromLatin1(EcgExtension));
    const QString beatsPath = siblingPath(path, QString::fromLatin1(BeatsExtension));

    const QJsonObject root = document.object();
    const QJsonObject studyObject = root.value(StudyKey).toObject();
    const QJsonObject patientObject = root.value(PatientKey).toObject();
    if (root.isEmpty() || studyObject.isEmpty() || patientObject.isEmpty())
        return refuse(refusal, path, QStringLiteral("the \"study\" or \"patient\" object is missing"));

    auto study = std::make_unique<TStudy>();
    TStudyJson::readStudyObject(studyObject, *study);
    TStudyJson::readPatientObject(patientObject, *study);

    std::unique_ptr<TEcgFile> ecg = openEcgFile(ecgPath, refusal);
    if (!ecg)
        return nullptr;
    std::unique_ptr<TBeatsFile> beats = openBeatsFile(ecg.get(), beatsPath, refusal);
    if (!beats)
        return nullptr;
    study->setEcgFile(std::move(ecg));
    study->setBeatsFile(std::move(beats));

    TStudyJson::readResultsObject(root.value(ResultsKey).toObject(), study->results());
    return study;
}

std::unique_ptr<TEcgFile> openEcgFile(const QString& path, QString* refusal)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return refuse(refusal, path, QStringLiteral("cannot be opened"));
    if (file.read(6) != EcgMagic)
        return refuse(refusal, path, QStringLiteral("not an ECG file"));
    const EcgHeader header = parseEcgHeader(file.read(TEcgFile::DefaultHeaderSize - 6));
    file.close();
    if (!header.what.isEmpty())
        return refuse(refusal, path, header.what);

    try {
        auto signal = std::make_unique<TEcgFile>(path, header.channels.size(), header.samplingRate,
                                                 TEcgFile::DefaultHeaderSize, false);
        signal->setAmplitudeRange(header.gainMin, header.gainMax);
        signal->setResolution(header.resolution);
        for (int c = 0; c < header.channels.size(); ++c)
            signal->setChannelName(c, header.channels.at(c).toString());
        return signal;
    } catch (const std::exception& error) {
        return refuse(refusal, path, QString::fromLocal8Bit(error.what()));
    }
}

std::unique_ptr<TBeatsFile> openBeatsFile(const TSignal* channelSet, const QString& path, QString* refusal)
{
    if (channelSet == nullptr)
        return nullptr;
    {
        QFile file(path);
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
            return refuse(refusal, path, QStringLiteral("cannot be opened"));
        if (file.read(8) != BeatsMagic)
            return refuse(refusal, path, QStringLiteral("not a beats file"));
    }
    try {
        auto beats = std::make_unique<TBeatsFile>(channelSet, path, TBeatsFile::DefaultHeaderSize, false);
        const QString implausible =
            beats->implausibleRecord(double(channelSet->appendedCount()) / channelSet->samplingRate());
        if (!implausible.isEmpty())
            return refuse(refusal, path, implausible);
        return beats;
    } catch (const std::exception& error) {
        return refuse(refusal, path, QString::fromLocal8Bit(error.what()));
    }
}

qint64 maximumEcgFileSize(const QByteArray& headerArea, QString* refusal)
{
    if (!headerArea.startsWith(EcgMagic)) {
        if (refusal != nullptr)
            *refusal = QStringLiteral("not an ECG file");
        return -1;
    }
    const EcgHeader header = parseEcgHeader(headerArea.mid(6, TEcgFile::DefaultHeaderSize - 6));
    if (!header.what.isEmpty()) {
        if (refusal != nullptr)
            *refusal = header.what;
        return -1;
    }
    const double frames = std::ceil(TRecordingLimits::MaximumStudySeconds * header.samplingRate);
    return TEcgFile::DefaultHeaderSize + qint64(frames) * 2 * header.channels.size();
}

qint64 maximumBeatsFileSize(const QByteArray& ecgHeaderArea)
{
    const EcgHeader header = parseEcgHeader(ecgHeaderArea.mid(6, TEcgFile::DefaultHeaderSize - 6));
    const qint64 beats = qint64(TRecordingLimits::MaximumStudySeconds * MaximumBeatsPerSecond);
    return TBeatsFile::DefaultHeaderSize + beats * TBeatStore::slotSize(std::max(1, int(header.channels.size())));
}

QByteArray ecgHeader(const TStudy& study, const TEcgFile& ecg, int headerSize)
{
    const QByteArray magic(EcgMagic);
    // At least one zero byte must follow the document inside the area.
    const int limit = std::max(0, headerSize - magic.size() - 1);

    QJsonObject studyObject = TStudyJson::studyObject(study);
    QJsonObject patientObject = TStudyJson::patientObject(study);
    std::vector<QJsonObject> factors;
    for (const QJsonValue& factor : patientObject.value(RiskFactorsKey).toArray())
        factors.push_back(factor.toObject());
    patientObject.remove(RiskFactorsKey);
    QJsonObject ecgObj = ecgObject(ecg);

    const auto assemble = [&] {
        QJsonArray array;
        for (const QJsonObject& factor : factors)
            array.append(factor);
        QJsonObject patient = patientObject;
        patient.insert(RiskFactorsKey, array);
        QJsonObject root;
        root.insert(StudyKey, studyObject);
        root.insert(PatientKey, patient);
        root.insert(EcgKey, ecgObj);
        return TStudyJson::compact(root);
    };

    bool channelsShortened = false;
    for (;;) {
        const QByteArray json = assemble();
        if (json.size() <= limit)
            return magic + json;
        const int excess = json.size() - limit;

        // The longest text of the study, patient and risk factor members.
        QJsonObject* owner = nullptr;
        QString ownerKey;
        int longest = 0;
        const auto consider = [&](QJsonObject& object) {
            for (auto at = object.begin(); at != object.end(); ++at) {
                if (at.value().isString() && at.value().toString().size() > longest) {
                    longest = at.value().toString().size();
                    owner = &object;
                    ownerKey = at.key();
                }
            }
        };
        consider(studyObject);
        consider(patientObject);
        for (QJsonObject& factor : factors)
            consider(factor);
        if (owner != nullptr) {
            owner->insert(ownerKey, shortened(owner->value(ownerKey).toString(), excess));
            continue;
        }
        if (!channelsShortened) {
            QJsonArray channels;
            for (const QJsonValue& name : ecgObj.value(QStringLiteral("channels")).toArray())
                channels.append(leftOf(name.toString(), ShortChannelName));
            ecgObj.insert(QStringLiteral("channels"), channels);
            channelsShortened = true;
            continue;
        }
        if (!factors.empty()) {
            factors.pop_back();
            continue;
        }
        return magic + json.left(limit);  // unreachable with at most 16 channels
    }
}

QByteArray beatsHeader()
{
    return QByteArray(BeatsMagic);
}

} // namespace TStudyFiles
