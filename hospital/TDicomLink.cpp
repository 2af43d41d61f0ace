#include "hospital/TDicomLink.h"

#include "hospital/TDicomPeer.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scu.h>
#include <dcmtk/oflog/oflog.h>

#include <memory>
#include <optional>

namespace TDicomLink {
namespace {

QString textOf(const OFCondition& status)
{
    return QString::fromLocal8Bit(status.text());
}

// Why the node refused an association, in DCMTK's words (result, source,
// reason: "Called AE Title Not Recognized" and the like).
QString rejectionText(const T_ASC_RejectParameters& rejection)
{
    OFString text;
    ASC_printRejectParameters(text, &rejection);
    return QString::fromLatin1(text.c_str()).trimmed().replace(QLatin1Char('\n'), QLatin1String(", "));
}

// DcmSCU keeps the node's reasons for a rejection to itself: a second,
// verification-only request asks for them. The node that refused the first
// refuses it too (it never gets as far as the abstract syntaxes); one that
// accepts it now is released, and the rejection stays without its reasons.
std::optional<T_ASC_RejectParameters> askRejection(const TDicomPeer& peer)
{
    T_ASC_Network* network = nullptr;
    if (ASC_initializeNetwork(NET_REQUESTOR, 0, TimeoutSeconds, &network).bad())
        return std::nullopt;
    T_ASC_Parameters* parameters = nullptr;
    T_ASC_Association* association = nullptr;
    std::optional<T_ASC_RejectParameters> rejection;
    if (ASC_createAssociationParameters(&parameters, ASC_DEFAULTMAXPDU).good()) {
        const QByteArray address = QStringLiteral("%1:%2").arg(peer.host).arg(peer.port).toLatin1();
        const char* syntaxes[] = {UID_LittleEndianImplicitTransferSyntax};
        ASC_setAPTitles(parameters, peer.localAeTitle.toLatin1().constData(), peer.aeTitle.toLatin1().constData(),
                        nullptr);
        ASC_setPresentationAddresses(parameters, OFStandard::getHostName().c_str(), address.constData());
        ASC_addPresentationContext(parameters, 1, UID_VerificationSOPClass, syntaxes, 1);
        const OFCondition status = ASC_requestAssociation(network, parameters, &association, nullptr, nullptr,
                                                          DUL_NOBLOCK, TimeoutSeconds);
        if (status == DUL_ASSOCIATIONREJECTED) {
            T_ASC_RejectParameters given;
            ASC_getRejectParameters(parameters, &given);
            rejection = given;
        } else if (status.good()) {
            ASC_releaseAssociation(association);
        }
        // The association, once made, owns the parameters.
        if (association)
            ASC_destroyAssociation(&association);
        else
            ASC_destroyAssociationParameters(&parameters);
    }
    ASC_dropNetwork(&network);
    return rejection;
}

// A refusal is the node's answer, not a network failure: retrying cannot
// help while it stands, unless the node says it is transient (busy).
Error refusal(const TDicomPeer& peer)
{
    const std::optional<T_ASC_RejectParameters> rejection = askRejection(peer);
    const QString message = QStringLiteral("The PACS %1 at %2:%3 refused the association")
                                .arg(peer.aeTitle, peer.host)
                                .arg(peer.port);
    if (!rejection)
        return Error(message, false);
    return Error(QStringLiteral("%1 (%2)").arg(message, rejectionText(*rejection)),
                 rejection->result == ASC_RESULT_REJECTEDTRANSIENT);
}

// An association with the peer offering the abstract syntaxes; its release
// on the way out, whatever happened.
class Association
{
public:
    Association(const TDicomPeer& peer, const QStringList& abstractSyntaxes) : m_peer(peer)
    {
        // DCMTK narrates every association on the terminal; failures reach
        // the operator as exceptions instead.
        static const bool quiet = [] {
            OFLog::configure(OFLogger::ERROR_LOG_LEVEL);
            return true;
        }();
        Q_UNUSED(quiet);
        if (!peer.isConfigured())
            throw Error(TDicomPeer::notConfiguredText(), false);
        m_scu.setAETitle(peer.localAeTitle.toLatin1().constData());
        m_scu.setPeerHostName(peer.host.toLatin1().constData());
        m_scu.setPeerPort(Uint16(peer.port));
        m_scu.setPeerAETitle(peer.aeTitle.toLatin1().constData());
        m_scu.setConnectionTimeout(TimeoutSeconds);
        m_scu.setACSETimeout(TimeoutSeconds);
        m_scu.setDIMSETimeout(TimeoutSeconds * 6);
        m_scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
        OFList<OFString> transferSyntaxes;
        transferSyntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
        transferSyntaxes.push_back(UID_LittleEndianImplicitTransferSyntax);
        for (const QString& syntax : abstractSyntaxes)
            m_scu.addPresentationContext(syntax.toLatin1().constData(), transferSyntaxes);
        OFCondition status = m_scu.initNetwork();
        if (status.good())
            status = m_scu.negotiateAssociation();
        if (status == DUL_ASSOCIATIONREJECTED)
            throw refusal(peer);
        if (status.bad())
            throw Error(QStringLiteral("The PACS %1 at %2:%3 cannot be reached: %4")
                            .arg(peer.aeTitle, peer.host)
                            .arg(peer.port)
                            .arg(textOf(status)),
                        true);
    }
    ~Association() { m_scu.releaseAssociation(); }
    Association(const Association&) = delete;
    Association& operator=(const Association&) = delete;

    DcmSCU& scu() { return m_scu; }

    T_ASC_PresentationContextID context(const char* abstractSyntax)
    {
        const T_ASC_PresentationContextID id = m_scu.findPresentationContextID(abstractSyntax, "");
        if (id == 0)
            throw Error(QStringLiteral("The PACS %1 does not accept %2")
                            .arg(m_peer.aeTitle, QLatin1String(dcmFindNameOfUID(abstractSyntax, abstractSyntax))),
                        false);
        return id;
    }

    // A failure while associated: the link broke (worth retrying) or the
    // request was refused.
    [[noreturn]] void fail(const QString& what, const OFCondition& status)
    {
        throw Error(QStringLiteral("%1: %2").arg(what, textOf(status)), !m_scu.isConnected());
    }

private:
    TDicomPeer m_peer;
    DcmSCU m_scu;
};

QString sopClassOf(const QString& file)
{
    DcmFileFormat format;
    OFString sopClass;
    if (format.loadFile(file.toLocal8Bit().constData()).bad()
        || format.getDataset()->findAndGetOFString(DCM_SOPClassUID, sopClass).bad())
        throw Error(QStringLiteral("%1 is not a DICOM object to send").arg(file), false);
    return QString::fromLatin1(sopClass.c_str());
}

QString text(DcmItem& item, const DcmTagKey& tag)
{
    OFString value;
    item.findAndGetOFString(tag, value);
    return QString::fromUtf8(value.c_str()).trimmed();
}

TWorklistEntry entryOf(DcmDataset& data)
{
    TWorklistEntry entry;
    const QStringList name = text(data, DCM_PatientName).split(QLatin1Char('^'));
    entry.lastName = name.value(0).trimmed();
    entry.firstName = name.value(1).trimmed();
    entry.patientId = text(data, DCM_PatientID);
    entry.birthDate = text(data, DCM_PatientBirthDate);
    entry.sex = text(data, DCM_PatientSex);
    entry.accessionNumber = text(data, DCM_AccessionNumber);
    entry.studyInstanceUid = text(data, DCM_StudyInstanceUID);
    entry.procedure = text(data, DCM_RequestedProcedureDescription);
    DcmItem* step = nullptr;
    if (data.findAndGetSequenceItem(DCM_ScheduledProcedureStepSequence, step, 0).good() && step)
        entry.scheduledStart = QString(text(*step, DCM_ScheduledProcedureStepStartDate)
                                       + text(*step, DCM_ScheduledProcedureStepStartTime))
                                   .left(14);
    return entry;
}

} // namespace

void echo(const TDicomPeer& peer)
{
    Association association(peer, {QLatin1String(UID_VerificationSOPClass)});
    const OFCondition status = association.scu().sendECHORequest(association.context(UID_VerificationSOPClass));
    if (status.bad())
        association.fail(QStringLiteral("The PACS %1 did not answer the echo").arg(peer.aeTitle), status);
}

void store(const TDicomPeer& peer, const QStringList& files)
{
    QStringList sopClasses;
    for (const QString& file : files)
        sopClasses.append(sopClassOf(file));
    QStringList offered = sopClasses;
    offered.removeDuplicates();
    Association association(peer, offered);
    for (int i = 0; i < files.size(); ++i) {
        Uint16 response = 0;
        const OFCondition status = association.scu().sendSTORERequest(
            association.context(sopClasses[i].toLatin1().constData()), files[i].toLocal8Bit().constData(), nullptr,
            response);
        if (status.bad())
            association.fail(QStringLiteral("Sending to the PACS %1 failed").arg(peer.aeTitle), status);
        // 0x0000 success; 0xB000, 0xB007, 0xB006 warnings (stored).
        if (response != 0x0000 && (response & 0xF000) != 0xB000)
            throw Error(QStringLiteral("The PACS %1 refused the object (status 0x%2)")
                            .arg(peer.aeTitle)
                            .arg(response, 4, 16, QLatin1Char('0')),
                        false);
    }
}

QVector<TWorklistEntry> worklist(const TDicomPeer& peer, const WorklistQuery& query)
{
    DcmDataset keys;
    const auto key = [&keys](const DcmTagKey& tag, const QString& value) {
        keys.putAndInsertString(tag, value.toUtf8().constData());
    };
    key(DCM_SpecificCharacterSet, QStringLiteral("ISO_IR 192"));
    key(DCM_PatientName, query.name.isEmpty() ? QString() : QLatin1Char('*') + query.name + QLatin1Char('*'));
    key(DCM_PatientID, query.patientId);
    key(DCM_PatientBirthDate, QString());
    key(DCM_PatientSex, QString());
    key(DCM_AccessionNumber, QString());
    key(DCM_StudyInstanceUID, QString());
    key(DCM_RequestedProcedureDescription, QString());
    DcmItem* step = nullptr;
    keys.findOrCreateSequenceItem(DCM_ScheduledProcedureStepSequence, step);
    step->putAndInsertString(DCM_ScheduledStationAETitle, peer.localAeTitle.toLatin1().constData());
    step->putAndInsertString(DCM_ScheduledProcedureStepStartDate, query.date.toLatin1().constData());
    step->putAndInsertString(DCM_ScheduledProcedureStepStartTime, "");
    step->putAndInsertString(DCM_Modality, "");

    Association association(peer, {QLatin1String(UID_FINDModalityWorklistInformationModel)});
    OFList<QRResponse*> responses;
    const OFCondition status = association.scu().sendFINDRequest(
        association.context(UID_FINDModalityWorklistInformationModel), &keys, &responses);
    QVector<TWorklistEntry> entries;
    Uint16 final = 0;
    for (QRResponse* response : responses) {
        std::unique_ptr<QRResponse> owned(response);
        if (response->m_dataset && DICOM_PENDING_STATUS(response->m_status))
            entries.append(entryOf(*response->m_dataset));
        final = response->m_status;
    }
    if (status.bad())
        association.fail(QStringLiteral("The worklist query to %1 failed").arg(peer.aeTitle), status);
    if (final != 0x0000)
        throw Error(QStringLiteral("The worklist of %1 refused the query (status 0x%2)")
                        .arg(peer.aeTitle)
                        .arg(final, 4, 16, QLatin1Char('0')),
                    false);
    return entries;
}

} // namespace TDicomLink
