#pragma once

#include <QString>

// The hospital's DICOM node we speak to (its archive, which also answers
// worklist queries) and our own AE title.
struct TDicomPeer
{
    QString localAeTitle = QStringLiteral("VAROR");
    QString host;
    int port = 104;
    QString aeTitle;

    // As configured ("Hospital/..." settings).
    static TDicomPeer fromSettings();
    // Whether a host and an AE title are set.
    bool isConfigured() const { return !host.isEmpty() && !aeTitle.isEmpty(); }
    // Why nothing goes to a node that is not configured.
    static QString notConfiguredText();
};
