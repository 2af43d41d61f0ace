#pragma once

#include "analysis/signal/TAnalysisConstants.h"

#include <QtGlobal>

// What the detector finds for one beat in one lead. Positions are absolute
// sample indices of the analysed signal; TAnalysisConstants::MissingWave
// marks a wave that was not found, polarity 0 likewise.
struct TLeadWaveRecord
{
    static constexpr qint32 Missing = TAnalysisConstants::MissingWave;
    static constexpr float UnknownActivity = -1.0f;

    qint32 qrs = Missing;      // QRS position (the fused position once fused)
    qint32 p = Missing;        // P wave
    qint32 firstQrs = Missing; // first QRS wave (Q, or the main wave)
    qint32 mainQrs = Missing;  // main QRS wave, the lead's fiducial point
    qint32 lastQrs = Missing;  // last QRS wave (S, or the main wave)
    qint32 t = Missing;        // T wave
    qint32 further = Missing;  // a further wave (not searched)
    qint32 qrsOnset = Missing;
    qint32 qrsOffset = Missing;
    qint32 pStart = Missing;   // first P maximum - 0.01 s
    qint32 pEnd = Missing;     // last P maximum + 0.01 s
    qint32 tStart = Missing;   // T - 0.02 s
    qint32 tEnd = Missing;     // T + 0.02 s
    qint16 pPolarity = 0;      // +1 upright, -1 inverted, 0 not found
    qint16 qrsPolarity = 0;    // 0: no QRS detected in this lead
    qint16 tPolarity = 0;
    // The QRS's largest scale-2^4 modulus over the lead's typical one (that
    // of its recent QRSs); 0 when not detected.
    float strength = 0.0f;
    // The lead's largest scale-2^4 modulus near the fused beat over its
    // typical QRS modulus, detected or not: how much a lead shows there;
    // UnknownActivity before the lead has a QRS of its own.
    float activity = UnknownActivity;

    static bool isPresent(qint32 position) { return position != Missing; }
    bool isDetected() const { return qrsPolarity != 0; }

    // What fusion and beat assembly use of a record (the QRS position replaced
    // by the fused one, the waves and the polarities); bounds stay absent.
    TLeadWaveRecord fused(qint32 fusedQrs) const
    {
        TLeadWaveRecord record;
        record.qrs = fusedQrs;
        record.p = p;
        record.firstQrs = firstQrs;
        record.mainQrs = mainQrs;
        record.lastQrs = lastQrs;
        record.t = t;
        record.further = further;
        record.pPolarity = pPolarity;
        record.qrsPolarity = qrsPolarity;
        record.tPolarity = tPolarity;
        record.strength = strength;
        return record;
    }
};
