#pragma once

#include "formats/TDicomEcgExport.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

class TReviewAnalysis;
class TStagedFiles;
class TStudy;

// A stored study written out in an exchange format chosen by the file
// name's extension: ".edf" EDF+ and ".bdf" BDF+ (TEdfExport), ".hea" a
// WFDB record with its ".dat" and ".atr" files beside the header
// (TWfdbExport), ".xml" HL7 aECG (TAecgExport), ".dcm" a DICOM General
// ECG object (TDicomEcgExport) with the late potentials when the analysis
// computed them. The averaged beat, its
// wave marks (the study's stored marks, or else those found automatically,
// as the review window shows them) and the interval measurements come
// from the study's review analysis. The files are staged: they reach their
// places when the caller commits them, together with its other files.
namespace TStudyExport {

enum class Format { Edf, Bdf, Wfdb, Aecg, Dicom };

std::optional<Format> formatOf(const QString& path);

// The name of a study's file in a folder: its base file name (made a
// valid record name for WFDB) with the format's extension.
QString fileName(const QString& baseFilename, Format format);

// `analysis` is the study's, holding its stored beats. Throws
// std::runtime_error naming the file and what failed (also for an
// extension of no format).
void stage(TStagedFiles& files, const TStudy& study, const TReviewAnalysis& analysis, const QString& path);

// The study's DICOM objects: the General ECG object and the report PDF
// encapsulated, of one DICOM study (TDicomEcgExport).
std::vector<TDicomEcgExport::Object> dicomObjects(const TStudy& study, const TReviewAnalysis& analysis,
                                                  const QByteArray& reportPdf);

// The DICOM form with the report: the General ECG object at `path` and the
// report PDF as an Encapsulated PDF object of the same study beside it,
// named by dicomReportPath().
void stageDicom(TStagedFiles& files, const TStudy& study, const TReviewAnalysis& analysis, const QString& path,
                const QByteArray& reportPdf);
QString dicomReportPath(const QString& path);

} // namespace TStudyExport
