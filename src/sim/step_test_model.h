// Step tests of the simulated drive: a small motor model (R-L winding, inertia with friction)
// under PI(D) loops that use the gains written to the drive, recorded as the drive records
// them. Pure functions, deterministic (the measurement noise comes from a fixed seed).
//
// Records, all fields big-endian, one after the other from byte 0:
//   current test, 8 bytes:   set value (float, A), actual value (float, A)
//   speed test, 16 bytes:    set value (int32, rpm), actual value (int32, rpm),
//                            period index (uint32), phase current (float, A)
//   position test, 16 bytes: set value (int32, counts), actual value (int32, counts),
//                            period index (uint32), speed (int32, 0.1 rpm)
// One period is one 66 us cycle of the current and speed loops; the current test records every
// period, the speed test every 8th, the position test as many as the move needs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/register_model.h"

namespace torvane::sim {

constexpr size_t kTestRecords = 512;
constexpr size_t kStepRecord = 16;  // the step is applied at this record
constexpr double kLoopPeriod = 66e-6;
constexpr uint32_t kSpeedTestDecimation = 8;

// Motor figures behind the tests (and the live motion of DriveBehaviour).
namespace motor {
constexpr double kResistance = 2.0;       // ohm, phase winding
constexpr double kInductance = 0.010;     // H
constexpr double kBusVoltage = 48.0;      // V
constexpr double kAccelPerAmp = 2000.0;   // rpm/s per A of torque current
constexpr double kFrictionCurrent = 0.3;  // A needed to overcome friction
constexpr double kViscousTime = 2.0;      // s, viscous time constant of the unloaded shaft
// Scale of one unit of each gain as the tool writes it.
constexpr double kCurrentP = 4.0;     // V per A
constexpr double kCurrentI = 2000.0;  // V per A.s
constexpr double kCurrentD = 0.0002;  // V.s per A
constexpr double kSpeedP = 0.01;      // A per rpm
constexpr double kSpeedI = 0.5;       // A per rpm.s
constexpr double kSpeedD = 0.00005;   // A.s per rpm
constexpr double kPositionP = 20.0;   // (counts/s) per count
constexpr double kPositionI = 50.0;   // (counts/s) per count.s
constexpr double kPositionD = 0.02;   // (counts/s) per count/s
}  // namespace motor

// Each returns the number of capture bytes written to `capture` (room for 8192 bytes):
// 4096 for the current test, 8192 for the others.
size_t RunCurrentStepTest(const DriveParameters& params, const TestParameters& test,
                          uint8_t* capture);
size_t RunSpeedStepTest(const DriveParameters& params, const TestParameters& test,
                        uint8_t* capture);
// The move is relative: from `startPosition` by the test's target, both in encoder counts.
size_t RunPositionStepTest(const DriveParameters& params, const TestParameters& test,
                           int32_t startPosition, uint8_t* capture);

// Time constant (s) of the closed speed loop with the given speed P gain, as the live motion
// and the position test use it.
double SpeedLoopTimeConstant(float speedP);

}  // namespace torvane::sim
