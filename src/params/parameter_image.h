// The .dat parameter file: exactly 96 bytes, big-endian, no header. Offsets 0-15 the motor
// group without Motor Hall Sequence; 16-47 the application group from Applied Current Rating to
// Applied MinPos; 48 Motor Direction; 49-55 the matching group; 56-91 the nine loop gains;
// 92-95 CountsPerRev. Floats travel as their IEEE-754 single-precision bit patterns.
//
// The file does not hold Motor Hall Sequence, Current Flag, Initial Position, MaxPos, MinPos,
// the custom group or SpeedLimit: decoding leaves them as they were. Pure; any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/drive_state.h"

namespace torvane {

constexpr size_t kParameterImageSize = 96;
using ParameterImage = std::array<uint8_t, kParameterImageSize>;

ParameterImage EncodeParameterImage(const ParameterSet& set, uint32_t countsPerRev);
// Motor Direction is taken from bit 0 of byte 48 only.
void DecodeParameterImage(const ParameterImage& image, ParameterSet& set, uint32_t& countsPerRev);

}  // namespace torvane
