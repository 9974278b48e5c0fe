#include "protocol/reply_dispatcher.h"

#include <algorithm>
#include <cstring>

#include "protocol/register_map.h"

namespace torvane {

bool ReplyDispatcher::Dispatch(const uint8_t* frame, size_t size,
                               std::optional<RegisterAddress> pending) {
    // A frame with nothing waiting for it (a reply that came after its time-out) must not
    // change what the next transaction will read.
    if (!pending || size < kFrameOverhead - 2) return false;
    const uint8_t function = frame[3];
    const uint8_t lengthByte = frame[2];
    if (lengthByte != static_cast<uint8_t>(size - 5)) return false;
    const uint8_t status = function & 0xF0;
    if (status != 0) {  // an error answers whatever its address
        state_.ReplyStatus = status;
        return true;
    }
    if (function & 0x08) return false;  // marked to be dropped

    const RegisterAddress address = static_cast<RegisterAddress>(frame[4] << 8 | frame[5]);
    const bool answersPending = address == *pending || address == reg::kAcknowledge;
    if (!answersPending) return false;

    // The data the frame really carries: length byte - 4, never past the cut-out frame.
    const size_t carried = lengthByte >= 4 ? std::min<size_t>(lengthByte - 4, size - 9) : 0;
    const uint8_t* data = frame + kDataOffset;

    if (IsKnownRegister(address)) {
        state_.ReplyStatus = 0;
        if ((function & 7) == kFunctionRead) DecodeReadReply(address, data, carried, state_, motion_);
        return true;
    }
    if (IsCaptureBlock(address)) {
        state_.ReplyStatus = 0;
        const size_t block = std::min<size_t>(capture_.CaptureRemaining, size::kCaptureBlock);
        const size_t room = kCaptureBufferSize - std::min<size_t>(capture_.CaptureOffset,
                                                                 kCaptureBufferSize);
        const size_t copy = std::min({block, carried, room});
        if (room > 0) {
            uint8_t* dst = state_.CaptureBuffer.data() + capture_.CaptureOffset;
            std::memcpy(dst, data, copy);
            // Bytes the drive did not send read as 0, never as an earlier capture's values.
            std::memset(dst + copy, 0, std::min(block, room) - copy);
        }
        capture_.CaptureOffset = static_cast<uint16_t>(capture_.CaptureOffset + block);
        capture_.CaptureRemaining = static_cast<uint16_t>(capture_.CaptureRemaining - block);
        return true;
    }
    return false;
}

}  // namespace torvane
