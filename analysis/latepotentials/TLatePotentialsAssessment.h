#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

class TLatePotentials;

// What a clinician needs beside QRSD, RMS and LAS to sign a late-potential
// analysis: its quality figures, the three criteria with their limits, and
// a verdict with the reasons it cannot be given.
//
// Quality: the noise level (RMS in microvolts of the filtered vector
// magnitude over 40 ms starting 60 ms after the QRS offset, moved back
// inside the beat where it would reach past it), the beats averaged (the
// fewest of the source leads I, II, V1 ... V6), the source leads that are
// missing (no average, or an average without signal), whether a QRS limit
// stopped at the end of its search range, and the LAS margin: how close
// the vector magnitude came to the LAS threshold where it decides LAS (the
// nearest approach from below within the low-amplitude run, or the sample
// that ends the run, whichever is closer).
//
// Criteria, defined at 40 Hz: QRSD > 114 ms, RMS < 20 uV, LAS > 38 ms; late
// potentials are present when at least two hold. The verdict is "not
// assessable" when the noise is above its limit, fewer beats than the
// minimum were averaged, a source lead is missing (also one whose
// electrode was off during much of the recording), a limit is at the end of
// its range, or the analysis ran at another cutoff.
//
// The criteria only mean something at the settings they are defined for:
// 40 Hz, a LAS threshold of 40 uV and an RMS over 40 ms. assessStandard()
// therefore judges that standard analysis whatever settings the operator
// looks at, and the figures at other settings carry no verdict.
struct TLatePotentialsAssessment
{
    enum class Verdict { Positive, Negative, NotAssessable };

    struct Limits
    {
        double noiseMicrovolts = 1.0;
        int minimumBeats = 100;
    };

    struct Criterion
    {
        double value = 0.0; // ms or uV
        double limit = 0.0;
        bool holds = false;
    };

    static constexpr int CriteriaCutoff = 40;          // Hz
    static constexpr int CriteriaLasThreshold = 40;    // uV
    static constexpr double CriteriaRmsDuration = 0.040; // s
    static constexpr double QrsdLimit = 114.0;         // ms, longer holds
    static constexpr double RmsLimit = 20.0;           // uV, lower holds
    static constexpr double LasLimit = 38.0;           // ms, longer holds
    static constexpr double NoiseDelay = 0.060;        // s after the QRS offset
    static constexpr double NoiseLength = 0.040;       // s

    double noiseMicrovolts = 0.0;
    int noiseStart = 0;  // samples of the averaged beat
    int noiseLength = 0;
    int beatsAveraged = 0;
    QStringList missingLeads;
    bool onsetAtRangeEnd = false;
    bool offsetAtRangeEnd = false;
    double lasMarginMicrovolts = 0.0;
    Criterion qrsd;
    Criterion rms;
    Criterion las;
    int criteriaHolding = 0;
    Verdict verdict = Verdict::NotAssessable;
    // One reason the verdict cannot be given: an English wording with
    // placeholders %1, %2 (marked for translation in the context
    // "TLatePotentialsAssessment") and the values that fill them.
    struct Reason
    {
        const char* wording;
        QStringList arguments;
        // The reason in `wording` (the English one or a translation of it).
        QString text(const QString& wording) const;
    };
    QVector<Reason> reasonDetails;
    QStringList reasons; // why the verdict is "not assessable", in English

    // Assesses an analysis already computed, at its own settings.
    static TLatePotentialsAssessment assess(const TLatePotentials& potentials, const Limits& limits);
    // Assesses the standard analysis of the orthogonal leads `shown` was
    // computed from: `shown` itself when it is standard, otherwise one
    // computed beside it at 40 Hz, 40 uV and 40 ms, on the QRS limits of
    // `shown` when the operator set them by hand, else on limits searched
    // at 40 Hz. `electrodesOff` names the electrodes that were off during
    // more than a tenth of the averaged beats: the source leads they feed
    // count as missing.
    static TLatePotentialsAssessment assessStandard(const TLatePotentials& shown, bool limitsByHand,
                                                    const Limits& limits, const QStringList& electrodesOff = {});
    // Whether an analysis runs at the settings the criteria are defined for.
    static bool isStandard(const TLatePotentials& potentials);
    // The settings of an analysis where they are not the standard ones, as
    // its figures are labelled ("at 25 Hz", "at 10 µV / 80 ms"): "25 Hz",
    // "10 µV / 80 ms" or both joined by ", "; empty for the standard one.
    static QString settingsLabel(const TLatePotentials& potentials);

    // The three criteria for QRSD (ms), RMS (uV) and LAS (ms).
    void setCriteria(double qrsdMs, double rmsMicrovolts, double lasMs);
    // The verdict from the criteria, or "not assessable" with reasons.
    void decide();
    // "positive", "negative" or "not assessable".
    static QString verdictText(Verdict verdict);

private:
    static TLatePotentialsAssessment judge(const TLatePotentials& potentials, const Limits& limits,
                                           const QStringList& electrodesOff);
};
