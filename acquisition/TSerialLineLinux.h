#pragma once

#include "acquisition/TSerialPort.h"

// Line settings of an open terminal through the kernel's termios2 interface,
// which takes any speed (BOTHER). Kept apart from TSerialPortLinux.cpp
// because <asm/termbits.h> and <termios.h> define the same names.
//
// Sets raw 8N1 at `speed` without flow control and turns DTR and RTS off.
// A pseudo-terminal has no line speed and no modem lines: when `handle` is
// one, a speed it refuses is left as it was and a refused modem-line change
// is ignored, so that the link also runs over the device simulator. On a
// real serial line both are failures.
TPortSetting configureSerialLine(int handle, int speed, bool pseudoTerminal);
