#include "acquisition/TDeviceProtocol.h"

#include <QtEndian>

#include <algorithm>

namespace TDeviceProtocol {

const std::array<LeadField, TransmittedLeadCount> TransmittedLeads = {{
    {V5, 3},
    {I, 5},
    {II, 7},
    {III, 9},
    {V1, 14},
    {V2, 16},
    {V3, 18},
    {V4, 20},
    {V6, 25},
    {CM5, 27},
    {CR5, 29},
}};

const std::array<ElectrodeField, ElectrodeCount> Electrodes = {{
    {"LA", 1, 0x20},
    {"LL", 1, 0xC0},
    {"RA", 2, 0x60},
    {"V1", 12, 0x10},
    {"V2", 12, 0x20},
    {"V3", 12, 0x40},
    {"V4", 12, 0x80},
    {"V5", 1, 0x10},
    {"V6", 23, 0x10},
}};

namespace {

// Keeps a computed lead within 16 bits: -((I + II) / 2) reaches 32768 when
// I and II are both -32768.
qint16 clamped(int value)
{
    return qint16(std::clamp(value, -32768, 32767));
}

int getLead(const char* frame, int lead)
{
    return qFromLittleEndian<qint16>(frame + 2 * lead);
}

void putLead(char* frame, int lead, qint16 value)
{
    qToLittleEndian<qint16>(value, frame + 2 * lead);
}

} // namespace

int electrodeIndex(const QString& name)
{
    for (int electrode = 0; electrode < ElectrodeCount; ++electrode) {
        if (name == QLatin1String(Electrodes[std::size_t(electrode)].name))
            return electrode;
    }
    return -1;
}

void decodeFrame(const unsigned char* packet, char* frame)
{
    for (const LeadField& field : TransmittedLeads)
        putLead(frame, field.lead, qFromBigEndian<qint16>(packet + field.offset));
    // Integer division truncates toward zero.
    const int leadI = getLead(frame, I);
    const int leadII = getLead(frame, II);
    const int leadIII = getLead(frame, III);
    putLead(frame, aVR, clamped(-((leadI + leadII) / 2)));
    putLead(frame, aVL, clamped((leadI - leadIII) / 2));
    putLead(frame, aVF, clamped((leadII + leadIII) / 2));
}

bool isElectrodeOff(const unsigned char* packet, int electrode)
{
    const ElectrodeField& field = Electrodes[std::size_t(electrode)];
    return (packet[field.offset] & field.mask) != 0;
}

double batteryVoltage(const unsigned char* packet)
{
    return packet[BatteryOffset] * VoltsPerBatteryCount;
}

} // namespace TDeviceProtocol
