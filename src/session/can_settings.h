// The CAN Communication group's encodings of register 0x0300: what the console shows for the
// drive's codes and what it writes for the entries. Pure; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace torvane {

// The CAN Address entry's text for an address code: code + 140 as "%d" (140 to 395).
std::string CanAddressText(uint8_t addressCode);
// The CAN Baud Rate list item for a baud code: 4 -> 0 ("500"), 5 -> 1 ("1000"); nothing for any
// other code (the console then shows kWrongCanBaudText and keeps its selection).
std::optional<int> CanBaudItem(uint8_t baudCode);
// The address code for the entry's text: its leading decimal integer (0 when there is none)
// minus 140, cut to the low 8 bits (141 -> 1, 100 -> 216, "" -> 116).
uint8_t CanAddressCode(const std::string& text);
// The baud code for the list's selected index: index + 4 (no selection, -1, gives 3).
uint8_t CanBaudCode(int index);

}  // namespace torvane
