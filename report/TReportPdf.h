#pragma once

#include <QByteArray>

class TLatePotentials;
class TStudy;

// The study's report in its first layout as PDF bytes, with the three
// display filters the review window opens with: what varor-analyze's
// --report writes and what goes to the hospital's archive. Throws
// std::runtime_error when the PDF cannot be made.
namespace TReportPdf {

QByteArray of(TStudy& study, const TLatePotentials& potentials);

} // namespace TReportPdf
