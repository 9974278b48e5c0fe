// Cutting reply frames out of the received byte stream.
//
// CutFrames is the pure cutter: it scans `count` bytes for 5A A5 headers and reports each
// complete frame (length byte + 5 bytes) to `onFrame`, in order. It returns the number of
// bytes consumed from the front: everything up to the end of the last complete frame. A header
// whose frame is not complete yet stays (with the bytes before it) for a later call. A header
// whose length byte is above 250 cannot start a frame of at most 255 bytes: it is noise, and the
// scan goes on after its first byte. The CRC is not verified.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace torvane {

constexpr uint8_t kMaxLengthByte = 250;

size_t CutFrames(const uint8_t* bytes, size_t count,
                 const std::function<void(const uint8_t* frame, size_t size)>& onFrame);

}  // namespace torvane
