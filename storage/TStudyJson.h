#pragma once

#include <QJsonObject>
#include <QString>

#include <string>

class TStudy;
struct TStudyInfo;
class TWaveMarks;

// The JSON forms of a study and their reading rules. Readers
// look keys up by name and never fail: a missing or mistyped member reads
// as the empty text, 0 or an empty list.
namespace TStudyJson {

QString toQString(const std::string& utf8);
std::string toUtf8(const QString& text);

// {"id", the eleven study texts, "studyDateTime", "recordingDateTime"}.
QJsonObject studyObject(const TStudy& study);
// The seventeen patient texts and "riskFactors" [{name, status, comment}]
// in name order.
QJsonObject patientObject(const TStudy& study);
// One member per result: {"type": "value", "value"}, {"type":
// "valueArray", "values"} or {"type": "trend", "timestamps", "values"}.
QJsonObject resultsObject(const TWaveMarks& results);

// "id" as an integer (absent: 0), the date-times and the study texts as
// strings (any other type: empty).
void readStudyObject(const QJsonObject& object, TStudy& study);
// Patient texts: strings as they are, numbers in the shortest general form
// of six significant digits, anything else empty. Risk factors in array
// order, a later element replacing an earlier one of the same name.
void readPatientObject(const QJsonObject& object, TStudy& study);
// For every entry the registry holds, its member read by the entry's kind
// (not by the member's "type"); a "signalGaps" member (TSignalGaps) is
// taken in as a trend; other members are ignored.
void readResultsObject(const QJsonObject& object, TWaveMarks& results);

// A JSON value as patient text (the rule above).
QString patientText(const QJsonValue& value);

// The six members of a study index row: "baseFilename", "status",
// "studyType", "studyDateTime", "patientFirstName", "patientLastName".
QByteArray indexJson(const TStudyInfo& info);
// Fills those six fields from an index row; broken JSON fills nothing.
void readIndexJson(const QString& json, TStudyInfo& info);

// Compact serialisation.
QByteArray compact(const QJsonObject& object);

} // namespace TStudyJson
