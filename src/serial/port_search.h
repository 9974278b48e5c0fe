// Port search: the serial ports present on the machine, found without opening any of them.
//
// Opening a terminal device raises DTR and RTS, which resets microcontroller boards and keys
// RS-485 transmitters on the line, so the search only reads directory entries, stat()s them and
// reads sysfs attributes (and on Windows the registry).
#pragma once

#include <string>
#include <vector>

namespace torvane {

// One port the search found.
struct FoundPort {
    // What to open: "/dev/ttyUSB0" ("COM3" on Windows).
    std::string Path;
    // The adapter's description (serial/port_description.h): "FTDI FT232R USB UART, serial
    // A10KQ3X2"; "" when it has none (a native UART, a pseudo-terminal).
    std::string Description;
    // A name of the same device that stays when adapters are plugged in another order: the
    // link under `devDir`/serial/by-id that leads to it; "" when there is none.
    std::string StableName;
    bool operator==(const FoundPort&) const = default;
};

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

// The same ports in the same order, each with what is known of it:
//  - Description: for a tty whose hardware is (part of) a USB device, that device's
//    manufacturer, product and serial number from the attributes of its folder under
//    `sysfsRoot`/devices (the first folder with an idVendor at most three levels above the
//    tty's `device`); nothing for a tty without a USB device above it. On Windows: the
//    friendly name of the device whose "Device Parameters" PortName is the port (under
//    HKLM\SYSTEM\CurrentControlSet\Enum); nothing when no device, or more than one, claims it.
//  - StableName: the entry of `devDir`/serial/by-id that resolves to the port's device (links
//    are only resolved, never opened). Always "" on Windows.
std::vector<FoundPort> FindPorts(const std::string& devDir = "/dev",
                                 const std::string& sysfsRoot = "/sys");

}  // namespace torvane
