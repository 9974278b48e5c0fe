// The quantities the console's live chart can plot (the Parameter list of the Waveform
// Display group) and the sample each status read adds. Pure; any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/drive_state.h"
#include "session/console_state.h"

namespace torvane {

// The Parameter list's items, index = WaveParameter: 0 "BLANK" plots nothing.
constexpr std::array<const char*, 7> kWaveParameterNames = {
    "BLANK",          "Supply Voltage",       "Phase Current",     "Current Speed",
    "Motor Position", "Output Axis Position", "Output Axis Angel",
};

// The index of the item named `name` (exactly as listed); nothing for another name.
std::optional<uint8_t> WaveParameterIndex(const std::string& name);

// The value a long status read plots for `parameter`; nothing for BLANK or an unknown index.
std::optional<double> WaveSample(uint8_t parameter, const DriveState& state,
                                 const ConsoleState& console);

}  // namespace torvane
