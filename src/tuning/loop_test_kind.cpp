#include "tuning/loop_test_kind.h"

#include <algorithm>

#include "protocol/register_map.h"

namespace torvane {

namespace {

constexpr LoopTestTraits kTraits[] = {
    {"current", reg::kCurrentTestLength, 8, "CurrentTestData", 0.066},
    {"speed", reg::kSpeedTestLength, 16, "VelocityTestData", 0.066},
    {"position", reg::kPositionTestLength, 16, "PositionTestData", 0.0},
};

}  // namespace

const LoopTestTraits& TraitsOf(LoopTest test) {
    return kTraits[static_cast<size_t>(test)];
}

uint16_t CaptureLength(const DriveState& state, LoopTest test) {
    switch (test) {
        case LoopTest::Current:
            return state.CurrentTestLength;
        case LoopTest::Speed:
            return state.SpeedTestLength;
        case LoopTest::Position:
            return state.PositionTestLength;
    }
    return 0;
}

size_t RecordCount(LoopTest test, size_t byteCount) {
    // A count register may report more than the buffer holds; only what was read counts.
    return std::min(byteCount, kCaptureBufferSize) / TraitsOf(test).RecordSize;
}

}  // namespace torvane
