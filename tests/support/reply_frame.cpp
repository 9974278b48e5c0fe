// ReplyFrame (declared in scripted_peer.h): portable, so the Windows test programs build it too.
#include <algorithm>

#include "support/scripted_peer.h"

namespace torvane::test {

Bytes ReplyFrame(RegisterAddress address, uint8_t function, const Bytes& data, uint8_t nibble,
                 uint8_t count) {
    Bytes f(data.size() + kFrameOverhead);
    std::copy(data.begin(), data.end(), f.begin() + kDataOffset);
    const uint8_t c = count == 0xFF ? static_cast<uint8_t>(data.size()) : count;
    BuildFrame(f.data(), static_cast<uint8_t>(nibble << 4 | function), address, c,
               static_cast<uint8_t>(data.size()));
    return f;
}

}  // namespace torvane::test
