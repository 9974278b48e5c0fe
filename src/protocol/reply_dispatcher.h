// ReplyDispatcher: stores one reply frame's values and decides whether it answers the
// transaction that is waiting.
//
// A frame is taken only while a request is outstanding. An error reply (non-zero result
// nibble) answers it whatever its address; a success reply only when its address is the
// outstanding one (or 0x5000, the drive's bare acknowledgement), so a reply that arrives after
// its transaction timed out never completes the next one. Frames that are not taken change
// nothing. Not thread-safe by itself: DriveLink calls it under its own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "protocol/drive_state.h"
#include "protocol/frame.h"

namespace torvane {

struct CaptureCursor {
    uint16_t CaptureOffset = 0;
    uint16_t CaptureRemaining = 0;
};

class ReplyDispatcher {
public:
    ReplyDispatcher(DriveState& state, MotionFields& motion, CaptureCursor& capture)
        : state_(state), motion_(motion), capture_(capture) {}

    // Handles the frame; returns true when it answers `pending` (the event is to be
    // signalled). `frame` holds `size` bytes, size = length byte + 5 (as cut out).
    bool Dispatch(const uint8_t* frame, size_t size, std::optional<RegisterAddress> pending);

private:
    DriveState& state_;
    MotionFields& motion_;
    CaptureCursor& capture_;
};

}  // namespace torvane
