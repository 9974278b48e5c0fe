// Baud rates on POSIX: the termios constants, and rates that have none (19600) set through
// the Linux termios2 interface. Kept apart because <asm/termbits.h> and <termios.h> clash.
#pragma once

#include <termios.h>

#include <cstdint>
#include <string>

#include "serial/serial_port.h"

namespace torvane {

// Raw 8-bit line with the caller's parity and stop bits, no flow control, modem lines ignored.
// False (with the reason) for a combination the platform does not have.
bool ApplyLineSettings(termios& t, const LineSettings& s, std::string& reason);

// The termios speed constant for a standard rate, 0 when the rate has none.
speed_t StandardBaudCode(uint32_t baud);
// Sets any rate on an open port; false with the reason where the platform cannot.
bool SetCustomBaud(int fd, uint32_t baud, std::string& reason);

}  // namespace torvane
