// Port search: the serial ports present on the machine, found without opening any of them.
//
// Opening a terminal device raises DTR and RTS, which resets microcontroller boards and keys
// RS-485 transmitters on the line, so the search only reads directory entries, stat()s them and
// reads sysfs attributes.
#pragma once

#include <string>
#include <vector>

namespace torvane {

// Device paths of the serial ports under `devDir`, ascending by kind (ttyS, ttyUSB, ttyACM,
// ttyAMA, rfcomm), then by number (ttyUSB2 before ttyUSB10). A name of one of those kinds
// followed by digits is a port when its entry leads somewhere and:
//  - the kernel lists a tty of that name under `sysfsRoot`/class/tty: that tty has hardware
//    behind it (a `device` entry) and, for ttyS, a UART (its `type` is not 0, "unknown": most
//    machines register dozens of ttyS lines with nothing behind them);
//  - the kernel lists none (a link made by hand or by a tool such as socat, typically to a
//    pseudo-terminal): the entry leads to a character device. A ttyS name is never taken on
//    that ground, as its UART cannot be confirmed.
// On Windows the arguments mean nothing: the result is the COM ports the system has registered
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), "COM%d" in ascending order, again opening none.
// Any thread may call it; it blocks only on the file system (the registry on Windows).
std::vector<std::string> SearchPorts(const std::string& devDir = "/dev",
                                     const std::string& sysfsRoot = "/sys");

}  // namespace torvane
