// Step tests of the simulated drive: the loops of plant_model.h on one of its plants, with the
// gains written to the drive, recorded as the drive records them.
//
// Records, all fields big-endian, one after the other from byte 0:
//   current test, 8 bytes:   set value (float, A), actual value (float, A, as measured)
//   speed test, 16 bytes:    set value (int32, rpm), actual value (int32, rpm, as measured),
//                            period index (uint32), phase current (float, A)
//   position test, 16 bytes: set value (int32, counts), actual value (int32, counts),
//                            period index (uint32), speed (int32, 0.1 rpm, as measured)
// One period is one 66 us cycle of the loops; the current test records every period, the speed
// test every 8th, the position test as many as the move needs (over the records after the
// step: the move, a quarter as long again and 0.1 s to settle, at most a minute; short enough a
// stride that a loop humming at its resonance shows in the records). The set value steps at
// record kStepRecord.
//
// The current test drives the winding's d axis, which makes no torque: the rotor stands. The
// speed test runs the current loop with the drive's present current gains under the speed
// loop; the position test runs both under the position loop, along a trapezoidal profile of
// the test's maximum speed and acceleration (10000 rpm/s when none is given).
//
// Pure functions of their arguments; any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/plant_model.h"
#include "sim/register_model.h"

namespace torvane::sim {

constexpr size_t kTestRecords = 512;
constexpr size_t kStepRecord = 16;  // the step is applied at this record
constexpr uint32_t kSpeedTestDecimation = 8;

// Each returns the number of capture bytes written to `capture` (room for 8192 bytes):
// 4096 for the current test, 8192 for the others.
size_t RunCurrentStepTest(const PlantParameters& plant, const DriveParameters& params,
                          const TestParameters& test, const PlantNoise& noise, uint8_t* capture);
size_t RunSpeedStepTest(const PlantParameters& plant, const DriveParameters& params,
                        const TestParameters& test, const PlantNoise& noise, uint8_t* capture);
// The move is relative: from `startPosition` by the test's target, both in encoder counts.
size_t RunPositionStepTest(const PlantParameters& plant, const DriveParameters& params,
                           const TestParameters& test, int32_t startPosition,
                           const PlantNoise& noise, uint8_t* capture);

}  // namespace torvane::sim
