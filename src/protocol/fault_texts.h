// Fault word decoding and the fixed status texts the drive's reports are shown with. Qt-free:
// shared by the console and the command-line tool. All functions are pure and thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace torvane {

// Texts of the fault word bits 0..13 of register 0x1200, in bit order. Bits 14 and 15 carry
// no text.
constexpr int kFaultBitCount = 14;
extern const char* const kFaultBitTexts[kFaultBitCount];

// The texts of every set bit 0..13 of `word`, lowest bit first. Empty for 0 and for a word with
// only bits 14 and 15 set (the console shows kNoFaultText for 0 and leaves its pane otherwise).
std::vector<std::string> DecodeFaultWord(uint16_t word);

// Fault pane text for a fault word of 0 (lower case).
constexpr const char* kNoFaultText = "no error";
// Text for the faults having been cleared (successful write of register 0x1202).
constexpr const char* kFaultsClearedText = "No Error";

// Motor state pane: MotorState 0 / 1 or 2.
constexpr const char* kMotorDisabledText = "Disable motor";
constexpr const char* kMotorEnabledText = "Enabled motor";
// Caption of the Enabled button after control word 0x0201 / 0x0200 was written.
constexpr const char* kEnableButtonDisableCaption = "Disabled";
constexpr const char* kEnableButtonEnableCaption = "Enabled";

// Position correction state: Graviation Sequence 1 / 0.
constexpr const char* kCalibratedText = "Calibrated";
constexpr const char* kNotCalibratedText = "Not calibrated";
// Test state: Hall Line Sequence 1 / 0; the connect handshake writes the capitalised form.
constexpr const char* kFinishedTestText = "Finished test";
constexpr const char* kFinishedTestHandshakeText = "Finished Test";
constexpr const char* kNotTestedText = "Not tested";

// Motor matching box: Match Marks 1 / 2.
constexpr const char* kMatchCompletedText = "Match completed,please close……！";
constexpr const char* kMatchFailedText = "Failed to match. please close……！";

// Message boxes of the status decoding.
constexpr const char* kWrongCanBaudText = "Wrong CAN baud rate";
constexpr const char* kInvalidWorkModeText = "Invalid working mode";

}  // namespace torvane
