#include "protocol/fault_texts.h"

namespace torvane {

const char* const kFaultBitTexts[kFaultBitCount] = {
    "Hard case overflow recovery position",
    "Locked-rotor error",
    "Undervoltage error",
    "Undervoltage error Overvoltage error",
    "Motor over-current",
    "retain",
    "The power input is overcurrent",
    "External battery failure",
    "Speeding error",
    "Position transfinite",
    "The internal reference voltage is incorrect",
    "Internal temperature error",
    "Motor temperature error",
    "Encoder calibration error",
};

std::vector<std::string> DecodeFaultWord(uint16_t word) {
    std::vector<std::string> texts;
    for (int bit = 0; bit < kFaultBitCount; ++bit) {
        if (word & (1u << bit)) texts.emplace_back(kFaultBitTexts[bit]);
    }
    return texts;
}

}  // namespace torvane
