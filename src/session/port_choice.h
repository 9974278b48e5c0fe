// What the port lists offer and what a failed open says: shared by the console, the
// communication settings window and the command-line tool. Pure; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace torvane {

// The port list item that runs an in-process simulated drive.
constexpr const char* kSimulatedDriveItem = "Simulated drive";
// The single item of a search that found nothing.
constexpr const char* kNoPortItem = "null";
constexpr const char* kOpenFailText = "Open fail！";
// A port item that names nothing to open ("null" or nothing chosen).
constexpr const char* kNoPortSelectedReason = "no port selected";

// The items of a port list after a search: the paths found, or "null" when there are none;
// then "Simulated drive" when the simulated drive is offered.
std::vector<std::string> PortListItems(const std::vector<std::string>& found,
                                       bool offerSimulatedDrive);

// "Open fail！", and on a second line the system's reason when there is one.
std::string OpenFailText(const std::string& reason);

// Baud rate for the settings window's baud list index: 0 9600, 1 14400, 2 19600 (not 19200),
// 3 38400, 4 57600, anything else (no selection included) 115200.
uint32_t BaudForIndex(int index);

}  // namespace torvane
