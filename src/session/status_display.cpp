#include "session/status_display.h"

#include "protocol/fault_texts.h"
#include "protocol/frame.h"
#include "protocol/number_text.h"

namespace torvane {

const char* MotorStateText(uint8_t motorState) {
    if (motorState == 0) return kMotorDisabledText;
    if (motorState == 1 || motorState == 2) return kMotorEnabledText;
    return nullptr;
}

bool TakeMotorState(ConsoleState& console, uint8_t motorState) {
    if (MotorStateText(motorState) == nullptr) return false;
    console.MotorEnabled = motorState == 0 ? 0 : 1;
    return true;
}

FaultWordOutcome TakeFaultWord(ConsoleState& console, uint16_t word) {
    FaultWordOutcome outcome;
    console.FaultWord = word;
    if (word == console.ShownFaultWord) return outcome;
    outcome.Changed = true;
    console.FaultTextIndex = 0;
    console.FaultTexts = DecodeFaultWord(word);
    console.FaultTextCount = static_cast<int32_t>(console.FaultTexts.size());
    outcome.ShowNoError = word == 0;
    outcome.StartRotation = !console.FaultTexts.empty();
    console.ShownFaultWord = word;
    return outcome;
}

const std::string* NextFaultText(ConsoleState& console) {
    if (console.FaultTexts.empty()) return nullptr;
    const auto count = static_cast<int32_t>(console.FaultTexts.size());
    if (console.FaultTextIndex < 0 || console.FaultTextIndex >= count) console.FaultTextIndex = 0;
    const std::string* text = &console.FaultTexts[static_cast<size_t>(console.FaultTextIndex)];
    ++console.FaultTextIndex;
    if (console.FaultTextIndex >= console.FaultTextCount) console.FaultTextIndex = 0;
    return text;
}

LiveStatusTexts LiveStatusTextsOf(const DriveState& state) {
    return {FormatD(state.MotorTemperature), FormatD(state.LiveSpeed), FormatD(state.LivePosition),
            FormatG(state.PhaseCurrent), FormatG(state.BusVoltage)};
}

void TakeOutputAxis(ConsoleState& console, int32_t livePosition) {
    console.OutputAxisPosition =
        console.RatioInput == 0.0f
            ? 0
            : SaturateToI32(static_cast<float>(livePosition) / console.RatioInput);
    if (console.EncoderInput == 0.0f) {
        console.OutputAxisAngle = 0.0f;
    } else {
        // The quotient in single precision, the degrees in double, stored as float.
        const float turns = static_cast<float>(console.OutputAxisPosition) / console.EncoderInput;
        console.OutputAxisAngle = static_cast<float>(static_cast<double>(turns) * 360.0);
    }
}

std::string OutputAxisPositionText(const ConsoleState& console) {
    return FormatD(console.OutputAxisPosition);
}

std::string OutputAxisAngleText(const ConsoleState& console) {
    return FormatFixed(console.OutputAxisAngle, 5);
}

float EntryValue(const std::string& text) {
    return static_cast<float>(LeadingDouble(text));
}

}  // namespace torvane
