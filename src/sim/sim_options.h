// Options of a simulated drive (included by simulated_drive.h, where callers meet them).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace torvane::sim {

// How motor matching (control word 0x0101) ends: matched after about 15 s, failed after about
// 15 s, or never (Match Marks stays 0 until the drive is reset).
enum class MatchOutcome { Ok, Fail, Never };

// How encoder calibration (register 0x120A) ends: calibrated after about 3 s, failed after
// about 3 s (not calibrated, fault bit 13 "Encoder calibration error"), or never (it runs until
// the drive is reset).
enum class CalibrationOutcome { Ok, Fail, Never };

struct SimOptions {
    std::string Model = "KVD417";  // model string of 0x2100 (the long-status model by default)
    MatchOutcome Match = MatchOutcome::Ok;
    CalibrationOutcome Calibration = CalibrationOutcome::Ok;
    bool Pacing = true;  // pace replies at the baud rate, 10 bits a byte
    uint32_t BaudRate = 115200;
    uint16_t FaultWord = 0;  // fault word raised at start
    bool Silent = false;     // answer nothing (until SetSilent(false))
    // The machine behind the loops, one of PlantNames() (plant_presets.h); a name that is not
    // one stands for the default plant.
    std::string Plant = "small";
    // Each loop test draws its noise afresh, from seeds that come from this one (a new one
    // every run when empty); false: tests without noise.
    std::optional<uint64_t> NoiseSeed{};
    bool Noise = true;
};

}  // namespace torvane::sim
