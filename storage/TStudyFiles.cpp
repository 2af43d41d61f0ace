#include "storage/TStudyFiles.h"

#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TPrivateFiles.h"
#include "storage/TStudy.h"
#include "storage/TStudyJson.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonParseError>
#include <QSaveFile>

#include <zlib.h>

#include <algorithm>
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

std::unique_ptr<TStudy> loadStudyFile(const QString& path)
{
    QJsonDocument document;
    if (!readStudyDocument(path, document) || document.isEmpty() || !document.isObject())
        return nullptr;
    const QString ecgPath = siblingPath(path, QString::fromLatin1(EcgExtension));
    const QString beatsPath = siblingPath(path, QString::fromLatin1(BeatsExtension));

    const QJsonObject root = document.object();
    const QJsonObject studyObject = root.value(StudyKey).toObject();
    const QJsonObject patientObject = root.value(PatientKey).toObject();
    if (root.isEmpty() || studyObject.isEmpty() || patientObject.isEmpty())
        return nullptr;

    auto study = std::make_unique<TStudy>();
    TStudyJson::readStudyObject(studyObject, *study);
    TStudyJson::readPatientObject(patientObject, *study);

    std::unique_ptr<TEcgFile> ecg = openEcgFile(ecgPath);
    if (!ecg)
        return nullptr;
    std::unique_ptr<TBeatsFile> beats = openBeatsFile(ecg.get(), beatsPath);
    if (!beats)
        return nullptr;
    study->setEcgFile(std::move(ecg));
    study->setBeatsFile(std::move(beats));

    TStudyJson::readResultsObject(root.value(ResultsKey).toObject(), study->results());
    return study;
}

std::unique_ptr<TEcgFile> openEcgFile(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray magic = file.read(6);
    if (magic != EcgMagic)
        return nullptr;
    // Only the header area: the document ends at the first zero byte.
    QByteArray header = file.read(TEcgFile::DefaultHeaderSize - 6);
    const int end = header.indexOf('\0');
    if (end >= 0)
        header.truncate(end);
    file.close();

    const QJsonObject root = QJsonDocument::fromJson(header).object();
    const QJsonObject ecg = root.value(EcgKey).toObject();
    if (root.isEmpty() || ecg.isEmpty())
        return nullptr;

    const int resolution = ecg.value(QStringLiteral("resolution")).toInt(0);
    const int samplingRate = ecg.value(QStringLiteral("samplingRate")).toInt(0);
    const double gainMin = ecg.value(QStringLiteral("gainMin")).toDouble(0.0);
    const double gainMax = ecg.value(QStringLiteral("gainMax")).toDouble(0.0);
    const QString sampleFormat = ecg.value(QStringLiteral("sampleFormat")).toString();
    const QJsonArray channels = ecg.value(QStringLiteral("channels")).toArray();
    // Besides the non-zero checks, values the signal model cannot
    // hold are refused too, so a damaged header never reaches it.
    if (resolution <= 0 || resolution > 64 || samplingRate <= 0 || channels.isEmpty()
        || channels.size() > TSignal::MaxChannels || sampleFormat.isEmpty())
        return nullptr;

    try {
        auto signal = std::make_unique<TEcgFile>(path, channels.size(), samplingRate, TEcgFile::DefaultHeaderSize, false);
        signal->setAmplitudeRange(gainMin, gainMax);
        signal->setResolution(resolution);
        for (int c = 0; c < channels.size(); ++c)
            signal->setChannelName(c, channels.at(c).toString());
        return signal;
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::unique_ptr<TBeatsFile> openBeatsFile(const TSignal* channelSet, const QString& path)
{
    if (channelSet == nullptr)
        return nullptr;
    {
        QFile file(path);
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
            return nullptr;
        if (file.read(8) != BeatsMagic)
            return nullptr;
    }
    try {
        return std::make_unique<TBeatsFile>(channelSet, path, TBeatsFile::DefaultHeaderSize, false);
    } catch (const std::exception&) {
        return nullptr;
    }
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
