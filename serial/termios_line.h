// The termios side of the line settings, for the POSIX backend: turning a
// device's reported options into raw mode with the bench's speed and
// character format, and checking what the device took.
#pragma once

#include <termios.h>

#include "serial/serial_device.h"

namespace qv {

// Sets raw mode, the speed, data bits, parity and stop bits of `line` in
// `t`, keeping every other option as it was; also enables the receiver and
// ignores the modem status lines. False when termios cannot express `line`
// (`t` is then unchanged).
bool MakeLineTermios(termios& t, const LineSettings& line);

// Whether options read back from a device hold raw mode and the speed,
// data bits and stop bits of `line`, and, when `check_parity`, its parity.
bool TermiosMatches(const termios& t, const LineSettings& line, bool check_parity);

}  // namespace qv
