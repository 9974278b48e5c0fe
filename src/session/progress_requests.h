// The requests with which the motor page and the loop page ask the console to start and stop
// matching and the loop tests. Each returns 0 on success and 1 after it has shown a DriveError;
// the start requests stop at their first failed write and then start no timer. None changes
// LastControlWord. The payloads come from DriveState as the pages filled it.
//
// The position test is stopped with control word 0x0700, the pattern of the current and speed
// tests (0x0500, 0x0600: the start word with its low byte cleared), which the drive accepts.
//
// Threads: the thread that runs transactions; each blocks for up to three writes (5000 ms each
// at most, scaled).
#pragma once

#include <cstdint>

#include "session/command_context.h"

namespace torvane {

constexpr uint16_t kStopPositionTestWord = 0x0700;

// Register 0x1000 (17 bytes, the motor group), control word 0x0101; then timer 1 stopped,
// ProgressCount = 0, timer 3 started.
uint8_t StartMotorMatch(CommandContext& ctx);
// The matching box was closed while matching: nothing (timer 3 goes on). Returns 0.
uint8_t CancelMotorMatch(CommandContext& ctx);
// Registers 0x2000 (gains) and 0x2401 (test parameters), control word 0x0501, timer 4.
uint8_t StartCurrentLoopTest(CommandContext& ctx);
uint8_t StopCurrentLoopTest(CommandContext& ctx);  // 0x0500
// Registers 0x200C and 0x2501, control word 0x0601, timer 5.
uint8_t StartSpeedLoopTest(CommandContext& ctx);
uint8_t StopSpeedLoopTest(CommandContext& ctx);  // 0x0600
// Registers 0x2018 and 0x2601, control word 0x0701, timer 6.
uint8_t StartPositionLoopTest(CommandContext& ctx);
uint8_t StopPositionLoopTest(CommandContext& ctx);  // kStopPositionTestWord
// The loop tests keep timer 1 running; a stop request leaves the test's timer polling.

}  // namespace torvane
