// Frames as they travel on the line, built and cut by hand for tests and benchmarks: requests a
// test sends to the simulated drive, replies a scripted peer sends to the tool, and the cutting
// of whole frames out of what a peer has received.
//
// Pure functions over byte vectors; any thread may call them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "protocol/frame.h"

namespace torvane::test {

using Bytes = std::vector<uint8_t>;

// A whole frame: header, length (4 + data size), `function` as given, address, `count`,
// `data`, CRC. The count need not match the data (to build malformed requests).
inline Bytes Frame(uint8_t function, RegisterAddress address, uint8_t count, const Bytes& data) {
    Bytes f(data.size() + kFrameOverhead);
    std::copy(data.begin(), data.end(), f.begin() + kDataOffset);
    BuildFrame(f.data(), function, address, count, static_cast<uint8_t>(data.size()));
    return f;
}

inline Bytes ReadRequest(RegisterAddress address, uint8_t count) {
    return Frame(kFunctionRead, address, count, {});
}

inline Bytes WriteRequest(RegisterAddress address, const Bytes& data) {
    return Frame(kFunctionWrite, address, static_cast<uint8_t>(data.size()), data);
}

// A reply frame: function byte (nibble << 4) | function; `count` 0xFF stands for the data size.
inline Bytes ReplyFrame(RegisterAddress address, uint8_t function, const Bytes& data,
                        uint8_t nibble = 0, uint8_t count = 0xFF) {
    const uint8_t c = count == 0xFF ? static_cast<uint8_t>(data.size()) : count;
    return Frame(static_cast<uint8_t>(nibble << 4 | function), address, c, data);
}

// Cuts the first whole frame (5A A5, length byte, length + 2 more bytes) from the front of
// `pending` and returns it; the bytes before its header are dropped. Returns an empty vector
// while no frame is complete, keeping a header that may still be completed.
inline Bytes TakeFrame(Bytes& pending) {
    size_t i = 0;
    while (i + 1 < pending.size() && !(pending[i] == kHeader1 && pending[i + 1] == kHeader2)) ++i;
    // i is at a header, or at the last byte, which may be the first half of one.
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(i));
    if (pending.size() < 3 || pending.size() < size_t{pending[2]} + 5) return {};
    const Bytes frame(pending.begin(), pending.begin() + pending[2] + 5);
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(frame.size()));
    return frame;
}

}  // namespace torvane::test
