#pragma once

#include "hospital/TWorklistEntry.h"

#include <QStringList>
#include <QVector>

#include <stdexcept>

struct TDicomPeer;

// One association with the hospital's DICOM node per call (DCMTK's
// DcmSCU): verification (C-ECHO), storing DICOM files (C-STORE) and the
// modality worklist query (C-FIND). Every failure throws TDicomLink::Error
// with a message for the operator: `unreachable` when no association could
// be made (the node is down, the network or the host and port are wrong)
// or the node turned it away for now, which is worth retrying; otherwise
// the node refused the association (our or its AE title unknown to it) or
// the request, and says why.
namespace TDicomLink {

class Error : public std::runtime_error
{
public:
    Error(const QString& message, bool unreachable)
        : std::runtime_error(message.toStdString()), m_unreachable(unreachable)
    {
    }
    bool unreachable() const { return m_unreachable; }

private:
    bool m_unreachable;
};

// Seconds a connection, an association or a reply may take.
inline constexpr int TimeoutSeconds = 10;

void echo(const TDicomPeer& peer);
// Stores the files, in order, over one association.
void store(const TDicomPeer& peer, const QStringList& files);

struct WorklistQuery
{
    QString date;      // "yyyyMMdd": the procedures scheduled that day
    QString name;      // part of the patient's name typed, or empty
    QString patientId; // or empty
};
// The procedures scheduled for our AE title on the date, by name or
// patient ID when given.
QVector<TWorklistEntry> worklist(const TDicomPeer& peer, const WorklistQuery& query);

} // namespace TDicomLink
