#include "storage/TStudyJson.h"

#include "analysis/signal/TSignalGaps.h"
#include "analysis/signal/TWaveMarks.h"
#include "storage/TStudy.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

namespace TStudyJson {

QString toQString(const std::string& utf8)
{
    return QString::fromUtf8(utf8.data(), int(utf8.size()));
}

std::string toUtf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

QJsonObject studyObject(const TStudy& study)
{
    QJsonObject object;
    object.insert(QStringLiteral("id"), study.id());
    for (const std::string& key : TStudy::studyKeys())
        object.insert(QString::fromLatin1(key.c_str()), toQString(study.propertyValue(key)));
    object.insert(QStringLiteral("studyDateTime"), toQString(study.studyDateTime()));
    object.insert(QStringLiteral("recordingDateTime"), toQString(study.recordingDateTime()));
    const std::string state = study.propertyValue(TStudy::RecordingStateKey);
    if (!state.empty())
        object.insert(QLatin1String(TStudy::RecordingStateKey), toQString(state));
    return object;
}

QJsonObject patientObject(const TStudy& study)
{
    QJsonObject object;
    for (const std::string& field : TStudy::patientFields())
        object.insert(QString::fromLatin1(field.c_str()), toQString(study.propertyValue(TStudy::patientKey(field))));
    QJsonArray riskFactors;
    for (const auto& [name, entry] : study.riskFactors()) {
        QJsonObject factor;
        factor.insert(QStringLiteral("name"), toQString(name));
        factor.insert(QStringLiteral("status"), entry.first);
        factor.insert(QStringLiteral("comment"), toQString(entry.second));
        riskFactors.append(factor);
    }
    object.insert(QStringLiteral("riskFactors"), riskFactors);
    return object;
}

QJsonObject resultsObject(const TWaveMarks& results)
{
    QJsonObject object;
    for (const TWaveMark& mark : results) {
        QJsonObject member;
        switch (mark.kind()) {
        case TWaveMark::SingleValue:
            member.insert(QStringLiteral("type"), QStringLiteral("value"));
            member.insert(QStringLiteral("value"), mark.value());
            break;
        case TWaveMark::ValueArray: {
            QJsonArray values;
            for (double value : mark.values())
                values.append(value);
            member.insert(QStringLiteral("type"), QStringLiteral("valueArray"));
            member.insert(QStringLiteral("values"), values);
            break;
        }
        case TWaveMark::Trend: {
            QJsonArray timestamps;
            QJsonArray values;
            for (int point = 0; point < mark.pointCount(); ++point) {
                timestamps.append(mark.timestamp(point));
                values.append(mark.pointValue(point));
            }
            member.insert(QStringLiteral("type"), QStringLiteral("trend"));
            member.insert(QStringLiteral("timestamps"), timestamps);
            member.insert(QStringLiteral("values"), values);
            break;
        }
        }
        object.insert(mark.name(), member);
    }
    return object;
}

void readStudyObject(const QJsonObject& object, TStudy& study)
{
    study.setId(object.value(QStringLiteral("id")).toInt(0));
    study.setStudyDateTime(toUtf8(object.value(QStringLiteral("studyDateTime")).toString()));
    study.setRecordingDateTime(toUtf8(object.value(QStringLiteral("recordingDateTime")).toString()));
    for (const std::string& key : TStudy::studyKeys())
        study.setProperty(key, toUtf8(object.value(QString::fromLatin1(key.c_str())).toString()));
    const QString state = object.value(QLatin1String(TStudy::RecordingStateKey)).toString();
    if (!state.isEmpty())
        study.setProperty(TStudy::RecordingStateKey, toUtf8(state));
}

QString patientText(const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 6);
    return QString();
}

void readPatientObject(const QJsonObject& object, TStudy& study)
{
    for (const std::string& field : TStudy::patientFields())
        study.setProperty(TStudy::patientKey(field),
                          toUtf8(patientText(object.value(QString::fromLatin1(field.c_str())))));
    const QJsonArray riskFactors = object.value(QStringLiteral("riskFactors")).toArray();
    for (const QJsonValue& element : riskFactors) {
        const QJsonObject factor = element.toObject();
        study.addRiskFactor(toUtf8(factor.value(QStringLiteral("name")).toString()),
                            factor.value(QStringLiteral("status")).toBool(false),
                            toUtf8(factor.value(QStringLiteral("comment")).toString()));
    }
}

namespace {

void readResult(const QJsonObject& member, TWaveMark& mark)
{
    switch (mark.kind()) {
    case TWaveMark::SingleValue:
        mark.setValue(member.value(QStringLiteral("value")).toDouble(0.0));
        break;
    case TWaveMark::ValueArray: {
        const QJsonArray array = member.value(QStringLiteral("values")).toArray();
        QVector<double> values(array.size(), 0.0);
        for (int i = 0; i < array.size(); ++i)
            values[i] = array.at(i).toDouble(0.0);
        mark.setValues(values);
        break;
    }
    case TWaveMark::Trend: {
        const QJsonArray timestamps = member.value(QStringLiteral("timestamps")).toArray();
        const QJsonArray values = member.value(QStringLiteral("values")).toArray();
        for (int i = 0; i < timestamps.size(); ++i)
            mark.appendPoint(timestamps.at(i).toDouble(0.0), i < values.size() ? values.at(i).toDouble(0.0) : 0.0);
        break;
    }
    }
}

// The kind a result member's "type" names; false for an unknown type.
bool kindOfType(const QJsonObject& member, TWaveMark::Kind& kind)
{
    const QString type = member.value(QStringLiteral("type")).toString();
    if (type == QLatin1String("value"))
        kind = TWaveMark::SingleValue;
    else if (type == QLatin1String("valueArray"))
        kind = TWaveMark::ValueArray;
    else if (type == QLatin1String("trend"))
        kind = TWaveMark::Trend;
    else
        return false;
    return true;
}

} // namespace

// The registry's own entries are read by their kind. Further results (the
// late-potential settings kept with a study, and whatever a later version
// adds) are taken in by the type they were written with, so that saving a
// study again never drops them.
void readResultsObject(const QJsonObject& object, TWaveMarks& results)
{
    // The gaps of a recording exist only in studies that have them.
    const QString gaps = QLatin1String(TSignalGaps::ResultName);
    if (object.contains(gaps) && results.find(gaps) == nullptr)
        results.insert(gaps, TWaveMark::Trend);
    for (QString name = results.firstName(); !name.isEmpty(); name = results.nextName()) {
        if (TWaveMark* mark = results.find(name))
            readResult(object.value(name).toObject(), *mark);
    }
    for (auto member = object.begin(); member != object.end(); ++member) {
        TWaveMark::Kind kind = TWaveMark::SingleValue;
        if (results.find(member.key()) == nullptr && kindOfType(member.value().toObject(), kind))
            readResult(member.value().toObject(), results.insert(member.key(), kind));
    }
}

QByteArray indexJson(const TStudyInfo& info)
{
    QJsonObject object;
    object.insert(QStringLiteral("baseFilename"), toQString(info.baseFilename));
    object.insert(QStringLiteral("status"), toQString(info.status));
    object.insert(QStringLiteral("studyType"), toQString(info.studyType));
    object.insert(QStringLiteral("studyDateTime"), toQString(info.studyDateTime));
    object.insert(QStringLiteral("patientFirstName"), toQString(info.firstName));
    object.insert(QStringLiteral("patientLastName"), toQString(info.lastName));
    return compact(object);
}

void readIndexJson(const QString& json, TStudyInfo& info)
{
    const QJsonObject object = QJsonDocument::fromJson(json.toUtf8()).object();
    info.baseFilename = toUtf8(object.value(QStringLiteral("baseFilename")).toString());
    info.status = toUtf8(object.value(QStringLiteral("status")).toString());
    info.studyType = toUtf8(object.value(QStringLiteral("studyType")).toString());
    info.studyDateTime = toUtf8(object.value(QStringLiteral("studyDateTime")).toString());
    info.firstName = toUtf8(object.value(QStringLiteral("patientFirstName")).toString());
    info.lastName = toUtf8(object.value(QStringLiteral("patientLastName")).toString());
}

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace TStudyJson
