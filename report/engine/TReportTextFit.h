#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QPaintDevice;

// A label's text fitted into its fixed rectangle: at the field's font when
// the wrapped text fits; otherwise at the largest smaller size, half a
// point at a time, down to a floor; otherwise at the floor, cut at a word
// with an ellipsis where the rectangle ends. A label never prints over
// what lies below it.
struct TReportTextFit
{
    enum Outcome { Fits, Shrunk, Cut };
    // Below this size a printed text is hard to read.
    static constexpr double MinimumPointSize = 7.0;

    QFont font;
    QString text;
    Outcome outcome = Fits;

    // Measured as drawn on `device` with the given alignment and wrapping
    // flags.
    static TReportTextFit fit(const QFont& font, const QString& text, const QRect& rect, int flags,
                              const QPaintDevice* device);
    // How many characters of `text` fit at the floor size with `suffix`
    // after them, ended at a word break: where a text too long for its
    // rectangle is split to continue elsewhere. The whole length when the
    // text fits.
    static int fittingLength(const QFont& font, const QString& text, const QString& suffix, const QRect& rect,
                             int flags, const QPaintDevice* device);
    // The first `length` characters, back to the last word break when the
    // text goes on after them.
    static QString head(const QString& text, int length);
};
