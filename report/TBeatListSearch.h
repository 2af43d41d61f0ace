#pragma once

class TBeatsFile;

// Positions in a study's beat list, whose beats are stored in time order.

// Index of the first beat whose QRS time is not before `seconds`; the beat
// count when every beat lies before it.
int firstBeatFrom(const TBeatsFile& beats, double seconds);
