// Cutting request frames out of the bytes the tool sent: a pure function over a buffer, so
// garbage, split and back-to-back frames can be tested without a line.
#pragma once

#include <cstddef>
#include <cstdint>

namespace torvane::sim {

struct RequestCut {
    size_t Skip = 0;       // bytes before the frame (or before an incomplete header): noise
    size_t FrameSize = 0;  // 0: no complete frame yet; else the frame starts at Skip
};

// Finds the first plausible frame: 5A A5 and a length byte from 4 to 250 (a longer frame cannot
// fit in 255 bytes, a shorter one has no address and count). A header with an impossible
// length is noise. The CRC is not checked here: a frame with a bad CRC is still a frame, and
// the drive answers it with result nibble 1.
RequestCut CutRequest(const uint8_t* bytes, size_t count);

constexpr uint8_t kMinLength = 4;
constexpr uint8_t kMaxLength = 250;

}  // namespace torvane::sim
