// The CAN Communication group: the two encodings of register 0x0300, what the console shows for
// the drive's codes, and the Setting command. No range check, no confirmation, no read-back: the
// drive takes what it is sent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "session/command_context.h"
#include "session/command_result.h"

namespace torvane {

// The CAN Address entry's text for an address code: code + 140 as "%d" (140 to 395).
std::string CanAddressText(uint8_t addressCode);
// The CAN Baud Rate list item for a baud code: 4 -> 0 ("500"), 5 -> 1 ("1000"); nothing for any
// other code (the console then shows kWrongCanBaudText and keeps its selection).
std::optional<int> CanBaudItem(uint8_t baudCode);

// CanAddressCode for an address entry: its leading decimal integer (0 when there is none)
// minus 140, cut to its low 8 bits (141 -> 1, 140 -> 0, 395 -> 255, 396 -> 0, 100 -> 216,
// "" -> 116). Shown back as code + 140.
uint8_t EncodeCanAddress(const std::string& addressText);
// CanBaudCode for the baud combo's index: index + 4 in 8 bits (0 "500" -> 4, 1 "1000" -> 5,
// -1 for no selection -> 3).
uint8_t EncodeCanBaud(int baudIndex);

// Setting button: "The serial port is not open" without a port; else stores both codes in
// DriveState and writes register 0x0300 (baud code, address code). A failed write is shown.
// Blocks for the write (5000 ms at most, scaled).
CommandResult WriteCanSettings(CommandContext& ctx, const std::string& addressText, int baudIndex);

}  // namespace torvane
