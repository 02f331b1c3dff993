// Linux only: the terminal settings of a serial line, in the kernel's termios2 form,
// which carries any speed (BOTHER) and is applied with the TCSETS2 request directly.
// Kept apart from the device calls so that the translation can be checked without a
// device. A file that includes this header must not include <termios.h>: both define
// struct termios.
#pragma once

#include <asm/termbits.h>

#include "transport/line_settings.h"

namespace serialdev {

// The character-size, parity and stop-bit bits of c_cflag that the line settings decide.
constexpr tcflag_t kFramingFlags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

// Turns *t, the device's current settings, into a raw binary line (no echo, no line
// editing, no translation of bytes, receiver on, modem control lines ignored, no flow
// control) with the settings' speed and framing and the XON 0x11 / XOFF 0x13
// characters. Read time-outs (VMIN,
// VTIME) are left as they are. Returns false, leaving *t unchanged, for a value no
// Linux serial line takes: a speed outside the table of the .cpp, data bits other than
// 5 to 8, a parity code above 4, a stop-bit code above 2, or one and a half stop bits
// with more than 5 data bits.
bool LineTermiosFromSettings(const LineSettings& line, termios2* t);

// The output speed of t in bits per second: that of its Bnnn code, or c_ospeed when the
// code is BOTHER; 0 for a code the table does not know.
unsigned long OutputBaud(const termios2& t);

}  // namespace serialdev
