#pragma once

class TSignal;

// Whether a channel is zero throughout the signal, as a lead a recording
// from another system lacks is stored.
bool isSilentLead(const TSignal& signal, int channel);
