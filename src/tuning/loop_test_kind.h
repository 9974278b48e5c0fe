// The three loop step tests and what tells them apart in the capture: the count register that
// ReadBackCapture reads, the record size, the length field of DriveState, the test data file's
// name and the time of one period index.
//
// Pure data; any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/drive_state.h"
#include "protocol/frame.h"

namespace torvane {

enum class LoopTest : uint8_t { Current = 0, Speed = 1, Position = 2 };

constexpr LoopTest kLoopTests[] = {LoopTest::Current, LoopTest::Speed, LoopTest::Position};

struct LoopTestTraits {
    const char* Name;               // "current", "speed", "position" (the CLI's words)
    RegisterAddress CountRegister;  // 0x2408, 0x2505, 0x2611
    size_t RecordSize;              // 8, 16, 16 bytes
    const char* FilePrefix;         // "CurrentTestData", "VelocityTestData", "PositionTestData"
    // Milliseconds per period index: 0.066 for the current and speed loops (one 66 us cycle);
    // 0 for the position loop, whose index the drive does not define in time.
    double PeriodMs;
};

const LoopTestTraits& TraitsOf(LoopTest test);

// The byte count last read for `test` (CurrentTestLength, SpeedTestLength, PositionTestLength).
uint16_t CaptureLength(const DriveState& state, LoopTest test);

// Records of `test` in `byteCount` captured bytes: whole records only, and never more than the
// capture buffer holds.
size_t RecordCount(LoopTest test, size_t byteCount);

}  // namespace torvane
