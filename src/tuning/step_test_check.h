// What a Test button of the loop page checks before it asks for a step test, and the values it
// stages in DriveState for the test's registers.
//
// In this order, each refusal ending the check:
//   1. current test only: Match Marks must be 1, else "Motor does not match" (even when the
//      motor is not enabled);
//   2. the motor must be enabled (the page's MotorEnabled flag), else "The motor is not enabled";
//   3. the gain check of the loop under test (loop_gain_check.h); when it passes, its gains are
//      stored, even if a test field is refused afterwards;
//   4. the test fields, with CheckRange and inclusive bounds; the message is the field's first
//      line followed by "allowed band <min> up to <max>", shown with the error icon:
//        current:  "Current Amplitude", 0.8 to Rated Current,
//                  "Current amplitude，input overrun\n"
//        speed:    "Set Speed", 0 to Maximum Speed, "Set speed，input overrun\n"
//        position: "Maximum Speed", 0 to Maximum Speed, "Maximum speed，input overrun\n",
//                  then "Target Position", -Applied MinPos to Applied MaxPos,
//                  "Target position，input overrun\n"
//      The frequency, the current type and the position test's acceleration are not checked.
// Steps 1 and 2 and the gains refuse with no icon.
//
// Values: the amplitude and the target in degrees are the text's number as a float; the
// frequency is the text's leading integer cut to 16 bits; the set speed, maximum speed and
// acceleration the leading integer (saturated to 32 bits). The target in counts is
// degrees x One-Loop Encoder Value x Reduction Ratio in single precision, divided by 360 in
// double precision and truncated toward zero (saturated to 32 bits).
//
// Pure functions; any thread. The checks never touch the drive.
#pragma once

#include <optional>
#include <string>

#include "protocol/drive_state.h"
#include "tuning/loop_gain_check.h"
#include "tuning/loop_test_kind.h"

namespace torvane {

// The loop page's entries for each test, as typed.
struct CurrentTestEntries {
    GainTexts Gains;
    uint8_t CurrentType = 0;  // index of the Current Type selection (0 = "Step Current")
    std::string Amplitude = "1";
    std::string Frequency;
};

struct SpeedTestEntries {
    GainTexts Gains;
    std::string SetSpeed = "1000";
};

struct PositionTestEntries {
    GainTexts Gains;
    std::string MaxSpeed = "1000";
    std::string TargetPosition = "10000";
    std::string Acceleration;  // the hidden entry: the application field Acceleration, "%d"
};

// The DriveState loop test fields a test stages; only those of the checked test are meaningful.
struct StepTestFields {
    uint8_t CurrentTestType = 0;
    float CurrentTestAmplitude = 0;
    uint16_t CurrentTestFrequency = 0;
    int32_t SpeedTestSetSpeed = 0;
    int32_t PositionTestMaxSpeed = 0;
    float PositionTestDegrees = 0;
    int32_t PositionTestTarget = 0;
    int32_t PositionTestAcceleration = 0;
};

struct StepTestCheck {
    LoopTest Test = LoopTest::Current;
    std::optional<Refusal> Refused;        // the first refusal; nothing after it ran
    std::optional<LoopGains> Gains;        // the loop's gains once their check passed
    std::optional<StepTestFields> Fields;  // the test fields once every check passed
    bool Passed() const { return !Refused; }
};

constexpr const char* kMotorNotMatched = "Motor does not match";
constexpr const char* kMotorNotEnabled = "The motor is not enabled";

// `state` supplies Match Marks, Rated Current, Maximum Speed, Applied MinPos / MaxPos,
// OneLoopEncoderValue and ReductionRatio; `motorEnabled` is the page's MotorEnabled flag.
StepTestCheck CheckCurrentTest(const CurrentTestEntries& entries, const DriveState& state,
                               bool motorEnabled);
StepTestCheck CheckSpeedTest(const SpeedTestEntries& entries, const DriveState& state,
                             bool motorEnabled);
StepTestCheck CheckPositionTest(const PositionTestEntries& entries, const DriveState& state,
                                bool motorEnabled);

// Stores what a check produced, refused or not: the gains (when present) into the loop group,
// the test's own fields (when present) into the loop test fields. Nothing else changes.
void StoreStepTestCheck(const StepTestCheck& check, DriveState& state);

// PositionTestTarget from the target in degrees.
int32_t PositionTargetCounts(float degrees, float oneLoopEncoderValue, float reductionRatio);

}  // namespace torvane
