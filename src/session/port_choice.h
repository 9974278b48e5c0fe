// What the port lists offer and what a failed open says: shared by the console, the
// communication settings window and the command-line tool. Pure; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serial/port_search.h"

namespace torvane {

// The port list item that runs an in-process simulated drive.
constexpr const char* kSimulatedDriveItem = "Simulated drive";
// The single item of a search that found nothing.
constexpr const char* kNoPortItem = "null";
constexpr const char* kOpenFailText = "Open fail！";
// A port item that names nothing to open ("null" or nothing chosen).
constexpr const char* kNoPortSelectedReason = "no port selected";

// One item of a port list: what it shows, and what choosing it opens.
struct PortItem {
    // "/dev/ttyUSB0 — FTDI FT232R USB UART, serial A10KQ3X2": the path, then the adapter's
    // description when it has one.
    std::string Text;
    // What Open is given: the path alone ("null" and "Simulated drive" for those items).
    std::string Port;
    // The adapter's stable name (/dev/serial/by-id/...), "" for none: for a tooltip.
    std::string StableName;
    bool operator==(const PortItem&) const = default;
};

// The items of a port list after a search: the ports found, or "null" when there are none;
// then "Simulated drive" when the simulated drive is offered.
std::vector<PortItem> PortListItems(const std::vector<FoundPort>& found, bool offerSimulatedDrive);

// What to open for the text of a port list's entry: the port of the item showing that text,
// otherwise the text itself (a path typed in), without surrounding blanks.
std::string ChosenPort(const std::string& text, const std::vector<PortItem>& items);

// A line of `torvane-cli ports`: the path, then (when anything is known of it) a tab and the
// description, then a tab and the stable name when there is one.
std::string PortLine(const FoundPort& port);

// "Open fail！", and on a second line the system's reason when there is one.
std::string OpenFailText(const std::string& reason);

// Baud rate for the settings window's baud list index: 0 9600, 1 14400, 2 19600 (not 19200),
// 3 38400, 4 57600, anything else (no selection included) 115200.
uint32_t BaudForIndex(int index);

}  // namespace torvane
