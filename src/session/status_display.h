// What the console (and the command-line tool) shows for a status reply of register 0x1200:
// the motor state, the fault word with its rotating texts, the live values and the output-axis
// figures. The rules live here once; the windows show the texts they return.
//
// Pure functions over the records they are given; call them on the thread that owns those
// records (the UI thread for the console's ConsoleState).
#pragma once

#include <cstdint>
#include <string>

#include "protocol/drive_state.h"
#include "session/console_state.h"

namespace torvane {

// Motor state pane: "Disable motor" for 0, "Enabled motor" for 1 or 2, nullptr for any other
// value (the pane keeps what it shows).
const char* MotorStateText(uint8_t motorState);
// Takes a reported motor state into `MotorEnabled` (0 for 0, 1 for 1 or 2). Returns false and
// changes nothing for any other value.
bool TakeMotorState(ConsoleState& console, uint8_t motorState);

// What to do with the fault word of a status reply (TakeFaultWord).
struct FaultWordOutcome {
    bool Changed = false;        // differs from the word last decoded: stop the rotation first
    bool ShowNoError = false;    // the word is 0: the fault pane reads "no error"
    bool StartRotation = false;  // there are texts: start the 1000 ms rotation
};
// Takes the status reply's fault word: `FaultWord` = word; when it differs from
// `ShownFaultWord`, rebuilds `FaultTexts` / `FaultTextCount` from its bits, resets
// `FaultTextIndex` and sets `ShownFaultWord`. The first call always decodes (ShownFaultWord
// starts at 0xFFFF).
FaultWordOutcome TakeFaultWord(ConsoleState& console, uint16_t word);
// One step of the rotation: the text to show now, advancing `FaultTextIndex` (back to 0 after
// the last). nullptr when there is nothing to rotate.
const std::string* NextFaultText(ConsoleState& console);

// The live values of a long status read as the console shows them ("%d" and "%g").
struct LiveStatusTexts {
    std::string MotorTemperature;
    std::string CurrentSpeed;
    std::string MotorPosition;
    std::string PhaseCurrent;
    std::string BusVoltage;
};
LiveStatusTexts LiveStatusTextsOf(const DriveState& state);

// Output axis figures from the motor position and the last Reduction Ratio and One-Loop
// Encoder Value entries (`RatioInput`, `EncoderInput`): position = motor position / ratio
// (single precision, truncated, saturated); angle = position / encoder value x 360. A ratio or
// encoder value of 0 has no quotient: that figure is 0.
void TakeOutputAxis(ConsoleState& console, int32_t livePosition);
// "%d" of OutputAxisPosition and "%.5f" of OutputAxisAngle.
std::string OutputAxisPositionText(const ConsoleState& console);
std::string OutputAxisAngleText(const ConsoleState& console);

// The number an entry holds, read as the drive's figures are (its leading decimal number, 0
// when there is none), in single precision.
float EntryValue(const std::string& text);

}  // namespace torvane
