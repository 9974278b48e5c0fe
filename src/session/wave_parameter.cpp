#include "session/wave_parameter.h"

namespace torvane {

std::optional<uint8_t> WaveParameterIndex(const std::string& name) {
    for (size_t i = 0; i < kWaveParameterNames.size(); ++i) {
        if (name == kWaveParameterNames[i]) return static_cast<uint8_t>(i);
    }
    return std::nullopt;
}

std::optional<double> WaveSample(uint8_t parameter, const DriveState& state,
                                 const ConsoleState& console) {
    switch (parameter) {
        case 1:
            return state.BusVoltage;
        case 2:
            return state.PhaseCurrent;
        case 3:
            return state.LiveSpeed;
        case 4:
            return state.LivePosition;
        case 5:
            return console.OutputAxisPosition;
        case 6:
            return console.OutputAxisAngle;
        default:
            return std::nullopt;  // BLANK: nothing is plotted
    }
}

}  // namespace torvane
