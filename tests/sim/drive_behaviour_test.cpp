// The simulated drive's behaviour on its own clock: enabling and initialisation, motion, live
// values, faults, matching, calibration, parameter storage, reset and the loop tests.
#include "sim/drive_behaviour.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "protocol/register_map.h"
#include "sim/step_test_model.h"

namespace torvane::sim {
namespace {

using Bytes = std::vector<uint8_t>;

uint8_t Cmd(DriveBehaviour& d, uint16_t word) {
    const uint8_t w[2] = {static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
    return d.Write(reg::kControlWord, w, 2);
}

Bytes Read(DriveBehaviour& d, RegisterAddress a, uint8_t count) {
    Bytes out(256);
    EXPECT_EQ(d.Read(a, count, out.data()), nibble::kOk) << std::hex << a;
    out.resize(count);
    return out;
}

uint8_t Matching(DriveBehaviour& d, int byte) {
    return Read(d, reg::kMatchingGroup, 7)[byte];
}

uint8_t SetMode(DriveBehaviour& d, uint8_t mode) {
    return d.Write(reg::kWorkMode, &mode, 1);
}

uint8_t SetSpeed(DriveBehaviour& d, int32_t rpm) {
    uint8_t b[8] = {};
    PutI32BE(b, rpm);
    return d.Write(reg::kSpeedSetpoint, b, 8);
}

uint8_t SetCurrent(DriveBehaviour& d, float amps) {
    uint8_t b[4];
    PutFloatBE(b, amps);
    return d.Write(reg::kCurrentSetpoint, b, 4);
}

uint8_t SetPosition(DriveBehaviour& d, uint8_t type, int32_t target, int32_t rpm) {
    uint8_t b[13] = {type};
    PutI32BE(b + 1, target);
    PutI32BE(b + 5, rpm);
    return d.Write(reg::kPositionSetpoint, b, 13);
}

// Enabled and initialised, ready to move.
void Ready(DriveBehaviour& d) {
    ASSERT_EQ(Cmd(d, control::kEnable), nibble::kOk);
    d.Advance(timing::kInitialisation + 0.01);
    ASSERT_EQ(Matching(d, 3), 1);
}

LiveStatus Status(DriveBehaviour& d) {
    const Bytes s = Read(d, reg::kLiveStatus, 26);
    LiveStatus l;
    l.Temperature = s[0];
    l.MotorState = s[1];
    l.FaultWord = GetU16(&s[2]);
    l.StatusWord2 = GetU16(&s[4]);
    l.Speed = GetI32BE(&s[6]);
    l.Position = GetI32BE(&s[10]);
    l.PhaseCurrent = GetFloatBE(&s[14]);
    l.BusVoltage = GetFloatBE(&s[18]);
    return l;
}

TEST(DriveBehaviour, TheFirstEnableInitialisesForTwoSeconds) {
    DriveBehaviour d;
    EXPECT_EQ(Status(d).MotorState, 0);
    ASSERT_EQ(Cmd(d, control::kEnable), nibble::kOk);
    EXPECT_EQ(Status(d).MotorState, 1);
    d.Advance(1.9);
    EXPECT_EQ(Matching(d, 3), 0);
    EXPECT_EQ(Cmd(d, control::kRun), nibble::kCannotProcess);  // still initialising
    d.Advance(0.2);
    EXPECT_EQ(Matching(d, 3), 1);
    EXPECT_EQ(Cmd(d, control::kRun), nibble::kOk);

    // Once initialised, the drive stays so until it restarts.
    ASSERT_EQ(Cmd(d, control::kDisable), nibble::kOk);
    ASSERT_EQ(Cmd(d, control::kEnable), nibble::kOk);
    EXPECT_EQ(Matching(d, 3), 1);
    ASSERT_EQ(d.Write(reg::kReset, nullptr, 0), nibble::kOk);
    EXPECT_EQ(Status(d).MotorState, 0);
    EXPECT_EQ(Matching(d, 3), 0);
}

TEST(DriveBehaviour, SpeedFollowsItsSetpointWithALag) {
    DriveBehaviour d;
    Ready(d);
    ASSERT_EQ(SetSpeed(d, 1000), nibble::kOk);
    ASSERT_EQ(Cmd(d, control::kRun), nibble::kOk);
    d.Advance(timing::kSpeedLag);
    EXPECT_NEAR(Status(d).Speed, 632, 15);  // one time constant: 63 %
    EXPECT_EQ(Status(d).MotorState, 2);
    d.Advance(2.0);
    const LiveStatus running = Status(d);
    EXPECT_NEAR(running.Speed, 1000, 2);
    EXPECT_GT(running.PhaseCurrent, 0.3f);
    // 1000 rpm at 10000 counts per revolution: about 166667 counts a second.
    const int32_t before = running.Position;
    d.Advance(1.0);
    EXPECT_NEAR(Status(d).Position - before, 166667, 500);

    // A new set-point applies while running, the reversed one too.
    ASSERT_EQ(SetSpeed(d, -500), nibble::kOk);
    d.Advance(2.0);
    EXPECT_NEAR(Status(d).Speed, -500, 2);

    ASSERT_EQ(Cmd(d, control::kStop), nibble::kOk);
    d.Advance(2.0);
    EXPECT_EQ(Status(d).Speed, 0);
    EXPECT_EQ(Status(d).MotorState, 1);

    ASSERT_EQ(Cmd(d, control::kRun), nibble::kOk);
    d.Advance(1.0);
    ASSERT_EQ(Cmd(d, control::kEmergencyStop), nibble::kOk);
    EXPECT_EQ(Status(d).Speed, 0);
}

TEST(DriveBehaviour, PositionModeMovesToItsTargetAtThePositionSpeed) {
    DriveBehaviour d;
    ASSERT_EQ(SetMode(d, 2), nibble::kOk);
    Ready(d);
    ASSERT_EQ(SetPosition(d, 0, 50000, 60), nibble::kOk);  // 60 rpm: 10000 counts a second
    ASSERT_EQ(Cmd(d, control::kRun), nibble::kOk);
    d.Advance(1.0);
    const LiveStatus moving = Status(d);
    EXPECT_EQ(moving.Speed, 60);
    EXPECT_NEAR(moving.Position, 10000, 1000);
    d.Advance(10.0);
    EXPECT_EQ(Status(d).Position, 50000);
    EXPECT_EQ(Status(d).Speed, 0);
    EXPECT_EQ(Status(d).MotorState, 1);  // in position

    // Relative: from where the motor stands.
    ASSERT_EQ(SetPosition(d, 1, -20000, 1200), nibble::kOk);
    ASSERT_EQ(Cmd(d, control::kRun), nibble::kOk);
    d.Advance(10.0);
    EXPECT_EQ(Status(d).Position, 30000);
}

TEST(DriveBehaviour, CurrentModeDrivesTheShaftAgainstFriction) {
    DriveBehaviour d;
    ASSERT_EQ(SetMode(d, 0), nibble::kOk);
    Ready(d);
    // Below the plant's friction nothing moves.
    ASSERT_EQ(SetCurrent(d, static_cast<float>(0.8 * d.Plant().FrictionCurrent())), nibble::kOk);
    ASSERT_EQ(Cmd(d, control::kRun), nibble::kOk);
    d.Advance(1.0);
    EXPECT_EQ(Status(d).Speed, 0);
    ASSERT_EQ(SetCurrent(d, 1.0f), nibble::kOk);
    d.Advance(0.5);
    const LiveStatus s = Status(d);
    EXPECT_GT(s.Speed, 100);
    EXPECT_NEAR(s.PhaseCurrent, 1.0f, 0.1f);
    d.Advance(30.0);
    EXPECT_LE(Status(d).Speed, 2500);  // held at the Maximum Speed
}

TEST(DriveBehaviour, LiveValuesArePlausible) {
    DriveBehaviour d;
    LiveStatus s = Status(d);
    EXPECT_EQ(s.Temperature, 25);
    EXPECT_EQ(s.PhaseCurrent, 0.0f);  // disabled: no current
    float lowest = 100, highest = 0;
    for (int i = 0; i < 200; ++i) {
        const float v = Status(d).BusVoltage;
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
    }
    EXPECT_GT(lowest, 47.5f);
    EXPECT_LT(highest, 48.5f);
    EXPECT_GT(highest - lowest, 0.01f);  // a little noise

    Ready(d);
    ASSERT_EQ(SetSpeed(d, 2000), nibble::kOk);
    ASSERT_EQ(Cmd(d, control::kRun), nibble::kOk);
    d.Advance(60.0);
    const uint8_t afterAMinute = Status(d).Temperature;
    d.Advance(1200.0);
    const uint8_t afterHalfAnHour = Status(d).Temperature;
    EXPECT_GE(afterAMinute, 25);
    EXPECT_LE(afterAMinute, 29);  // slowly
    EXPECT_GT(afterHalfAnHour, afterAMinute + 5);
    ASSERT_EQ(Cmd(d, control::kDisable), nibble::kOk);
    d.Advance(3600.0);
    EXPECT_LE(Status(d).Temperature, 26);  // cooled down
}

TEST(DriveBehaviour, RefusalsAndTheirNibbles) {
    const struct {
        const char* what;
        bool enabled;
        std::function<uint8_t(DriveBehaviour&)> request;
        uint8_t expected;
    } cases[] = {
        {"run while disabled", false, [](auto& d) { return Cmd(d, control::kRun); },
         nibble::kNotEnabled},
        {"current test while disabled", false,
         [](auto& d) { return Cmd(d, control::kStartCurrentTest); }, nibble::kNotEnabled},
        {"speed test while disabled", false,
         [](auto& d) { return Cmd(d, control::kStartSpeedTest); }, nibble::kNotEnabled},
        {"position test while disabled", false,
         [](auto& d) { return Cmd(d, control::kStartPositionTest); }, nibble::kNotEnabled},
        {"stop while disabled is harmless", false, [](auto& d) { return Cmd(d, control::kStop); },
         nibble::kOk},
        {"emergency stop while disabled", false,
         [](auto& d) { return Cmd(d, control::kEmergencyStop); }, nibble::kOk},
        {"unknown control word", false, [](auto& d) { return Cmd(d, 0x0999); }, nibble::kCommand},
        {"work mode 3", false, [](auto& d) { return SetMode(d, 3); }, nibble::kCommandValue},
        {"mode change while enabled", true, [](auto& d) { return SetMode(d, 2); },
         nibble::kCannotProcess},
        {"same mode while enabled", true, [](auto& d) { return SetMode(d, 1); }, nibble::kOk},
        {"speed above the Maximum Speed", false, [](auto& d) { return SetSpeed(d, 2501); },
         nibble::kOverflow},
        {"speed at the Maximum Speed", false, [](auto& d) { return SetSpeed(d, -2500); },
         nibble::kOk},
        {"current above the rating", false, [](auto& d) { return SetCurrent(d, 5.01f); },
         nibble::kOverflow},
        {"current not a number", false, [](auto& d) { return SetCurrent(d, std::nanf("")); },
         nibble::kOverflow},
        {"position speed above the maximum", false,
         [](auto& d) { return SetPosition(d, 0, 100, 3000); }, nibble::kOverflow},
        {"position type 2", false, [](auto& d) { return SetPosition(d, 2, 100, 100); },
         nibble::kCommandValue},
        {"matching while enabled", true, [](auto& d) { return Cmd(d, control::kStartMatching); },
         nibble::kCannotProcess},
        {"calibration while enabled", true,
         [](auto& d) { return d.Write(reg::kEncoderCalibration, nullptr, 0); },
         nibble::kCannotProcess},
        {"store while enabled", true, [](auto& d) { return Cmd(d, control::kStoreParameters); },
         nibble::kCannotProcess},
        {"restore while enabled", true, [](auto& d) { return Cmd(d, control::kRestoreDefaults); },
         nibble::kCannotProcess},
        {"enable with a fault", false,
         [](auto& d) {
             d.RaiseFault(0x0004);
             return Cmd(d, control::kEnable);
         },
         nibble::kCannotProcess},
        {"enable while matching", false,
         [](auto& d) {
             Cmd(d, control::kStartMatching);
             return Cmd(d, control::kEnable);
         },
         nibble::kCannotProcess},
        {"enable an unmatched motor", false,
         [](auto& d) {
             const uint8_t unmatched[7] = {0, 1, 0, 0, 0, 0, 0};
             d.Write(reg::kMatchingGroup, unmatched, 7);
             return Cmd(d, control::kEnable);
         },
         nibble::kNotMatched},
        {"a second test while one runs", true,
         [](auto& d) {
             Cmd(d, control::kStartSpeedTest);
             return Cmd(d, control::kStartPositionTest);
         },
         nibble::kCannotProcess},
        {"restarting the running test", true,
         [](auto& d) {
             Cmd(d, control::kStartSpeedTest);
             return Cmd(d, control::kStartSpeedTest);
         },
         nibble::kOk},
    };
    for (const auto& c : cases) {
        DriveBehaviour d;
        if (c.enabled) Ready(d);
        EXPECT_EQ(c.request(d), c.expected) << c.what;
    }
}

TEST(DriveBehaviour, FaultsTripTheMotorAndAreClearedWith1202) {
    SimOptions options;
    options.FaultWord = 0x0005;
    DriveBehaviour d(options);
    EXPECT_EQ(Status(d).FaultWord, 0x0005);
    const uint8_t zero[2] = {0, 0};
    ASSERT_EQ(d.Write(reg::kClearFaults, zero, 2), nibble::kOk);
    EXPECT_EQ(Status(d).FaultWord, 0);

    Ready(d);
    ASSERT_EQ(SetSpeed(d, 1000), nibble::kOk);
    ASSERT_EQ(Cmd(d, control::kRun), nibble::kOk);
    d.RaiseFault(0x1000);
    d.RaiseFault(0x0010);
    const LiveStatus tripped = Status(d);
    EXPECT_EQ(tripped.FaultWord, 0x1010);
    EXPECT_EQ(tripped.MotorState, 0);
    d.Advance(3.0);
    EXPECT_EQ(Status(d).Speed, 0);  // coasted down
    ASSERT_EQ(d.Write(reg::kClearFaults, zero, 2), nibble::kOk);
    EXPECT_EQ(Cmd(d, control::kEnable), nibble::kOk);
}

TEST(DriveBehaviour, MotorMatchingEndsAsTold) {
    const struct {
        MatchOutcome outcome;
        uint8_t marks, testState;
    } cases[] = {
        {MatchOutcome::Ok, 1, 1},
        {MatchOutcome::Fail, 2, 0},
        {MatchOutcome::Never, 0, 0},
    };
    for (const auto& c : cases) {
        SimOptions options;
        options.Match = c.outcome;
        DriveBehaviour d(options);
        ASSERT_EQ(Cmd(d, control::kStartMatching), nibble::kOk);
        d.Advance(10.0);  // the console's first poll
        EXPECT_EQ(Matching(d, 0), 0);
        EXPECT_EQ(Matching(d, 2), 0);
        d.Advance(10.0);  // its second
        EXPECT_EQ(Matching(d, 0), c.marks);
        EXPECT_EQ(Matching(d, 2), c.testState);
        d.Advance(100.0);
        EXPECT_EQ(Matching(d, 0), c.marks);
        // The drive keeps its matching result across a restart.
        ASSERT_EQ(d.Write(reg::kReset, nullptr, 0), nibble::kOk);
        EXPECT_EQ(Matching(d, 0), c.outcome == MatchOutcome::Never ? 1 : c.marks);
    }
}

TEST(DriveBehaviour, EncoderCalibrationTakesThreeSeconds) {
    DriveBehaviour d;
    ASSERT_EQ(d.Write(reg::kEncoderCalibration, nullptr, 0), nibble::kOk);
    EXPECT_EQ(Matching(d, 1), 0);
    EXPECT_EQ(Cmd(d, control::kEnable), nibble::kCannotProcess);
    d.Advance(2.9);
    EXPECT_EQ(Matching(d, 1), 0);
    d.Advance(0.2);
    EXPECT_EQ(Matching(d, 1), 1);
    EXPECT_EQ(Cmd(d, control::kEnable), nibble::kOk);
}

TEST(DriveBehaviour, EncoderCalibrationEndsAsTold) {
    const struct {
        CalibrationOutcome outcome;
        uint8_t state;     // 0x2200 byte 1 after 3 s
        bool calibrating;  // still running after 100 s
        uint16_t faults;
        uint8_t enable;  // answer to an enable afterwards
    } cases[] = {
        {CalibrationOutcome::Ok, 1, false, 0, nibble::kOk},
        {CalibrationOutcome::Fail, 0, false, kEncoderCalibrationFault, nibble::kCannotProcess},
        {CalibrationOutcome::Never, 0, true, 0, nibble::kCannotProcess},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.outcome));
        SimOptions options;
        options.Calibration = c.outcome;
        DriveBehaviour d(options);
        ASSERT_EQ(d.Write(reg::kEncoderCalibration, nullptr, 0), nibble::kOk);
        EXPECT_EQ(Status(d).StatusWord2 & 0x20, 0x20);  // calibrating
        d.Advance(timing::kCalibration + 0.1);
        EXPECT_EQ(Matching(d, 1), c.state);
        d.Advance(100.0);
        EXPECT_EQ(Matching(d, 1), c.state);
        EXPECT_EQ(d.Calibrating(), c.calibrating);
        EXPECT_EQ(Status(d).StatusWord2 & 0x20, c.calibrating ? 0x20 : 0);
        EXPECT_EQ(d.Faults(), c.faults);
        EXPECT_EQ(Cmd(d, control::kEnable), c.enable);
        // A reset ends a calibration that never ends, back to the stored state, as matching.
        ASSERT_EQ(d.Write(reg::kReset, nullptr, 0), nibble::kOk);
        d.Advance(timing::kReboot + 0.01);
        EXPECT_FALSE(d.Calibrating());
        EXPECT_EQ(Matching(d, 1), c.outcome == CalibrationOutcome::Never ? 1 : c.state);
    }
    // The outcome can be changed between calibrations.
    DriveBehaviour d;
    d.SetCalibrationOutcome(CalibrationOutcome::Fail);
    ASSERT_EQ(d.Write(reg::kEncoderCalibration, nullptr, 0), nibble::kOk);
    d.Advance(timing::kCalibration + 0.1);
    EXPECT_EQ(Matching(d, 1), 0);
    const uint8_t zero[2] = {};
    ASSERT_EQ(d.Write(reg::kClearFaults, zero, 2), nibble::kOk);
    d.SetCalibrationOutcome(CalibrationOutcome::Ok);
    ASSERT_EQ(d.Write(reg::kEncoderCalibration, nullptr, 0), nibble::kOk);
    d.Advance(timing::kCalibration + 0.1);
    EXPECT_EQ(Matching(d, 1), 1);
}

TEST(DriveBehaviour, StoreRestoreAndReset) {
    DriveBehaviour d;
    const Bytes factory = Read(d, reg::kMotorGroup, 17);
    Bytes changed = factory;
    changed[0] = 7;  // pole pairs
    auto write = [&](const Bytes& b) { return d.Write(reg::kMotorGroup, b.data(), b.size()); };

    ASSERT_EQ(write(changed), nibble::kOk);
    ASSERT_EQ(d.Write(reg::kReset, nullptr, 0), nibble::kOk);
    EXPECT_EQ(Read(d, reg::kMotorGroup, 17), factory) << "not stored: lost at restart";

    ASSERT_EQ(write(changed), nibble::kOk);
    ASSERT_EQ(Cmd(d, control::kStoreParameters), nibble::kOk);
    ASSERT_EQ(d.Write(reg::kReset, nullptr, 0), nibble::kOk);
    EXPECT_EQ(Read(d, reg::kMotorGroup, 17), changed) << "stored: kept";

    ASSERT_EQ(Cmd(d, control::kRestoreDefaults), nibble::kOk);
    EXPECT_EQ(Read(d, reg::kMotorGroup, 17), factory);
    ASSERT_EQ(d.Write(reg::kReset, nullptr, 0), nibble::kOk);
    EXPECT_EQ(Read(d, reg::kMotorGroup, 17), factory) << "restored for good";
}

TEST(DriveBehaviour, ResetRestartsTheDrive) {
    DriveBehaviour d;
    Ready(d);
    ASSERT_EQ(SetSpeed(d, 1200), nibble::kOk);
    ASSERT_EQ(Cmd(d, control::kRun), nibble::kOk);
    d.Advance(1.0);
    d.RaiseFault(0x0100);
    ASSERT_EQ(d.Write(reg::kReset, nullptr, 0), nibble::kOk);
    EXPECT_TRUE(d.Rebooting());
    d.Advance(timing::kReboot + 0.01);
    EXPECT_FALSE(d.Rebooting());
    const LiveStatus s = Status(d);
    EXPECT_EQ(s.MotorState, 0);
    EXPECT_EQ(s.FaultWord, 0);
    EXPECT_EQ(s.Speed, 0);
    EXPECT_EQ(s.Position, 0);  // the Initial Position
    const Bytes mode = Read(d, reg::kWorkMode, 18);
    EXPECT_EQ(mode[0], 1);  // speed mode at power-up
    EXPECT_TRUE(std::all_of(mode.begin() + 1, mode.end(), [](uint8_t b) { return b == 0; }));
}

TEST(DriveBehaviour, LoopTestsFinishAfterASecondWithTheirRecords) {
    const struct {
        uint16_t start, stop;
        RegisterAddress status, length;
        uint16_t bytes;
    } cases[] = {
        {control::kStartCurrentTest, control::kStopCurrentTest, reg::kCurrentTestStatus,
         reg::kCurrentTestLength, 4096},
        {control::kStartSpeedTest, control::kStopSpeedTest, reg::kSpeedTestStatus,
         reg::kSpeedTestLength, 8192},
        {control::kStartPositionTest, kStopPositionTest, reg::kPositionTestStatus,
         reg::kPositionTestLength, 8192},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.start);
        DriveBehaviour d;
        Ready(d);
        const uint8_t amplitude[7] = {0, 0x3F, 0x80, 0, 0, 0, 0};  // step of 1 A
        ASSERT_EQ(d.Write(reg::kCurrentTestParams, amplitude, 7), nibble::kOk);
        const uint8_t speed[4] = {0, 0, 0x03, 0xE8};  // 1000 rpm
        ASSERT_EQ(d.Write(reg::kSpeedTestParams, speed, 4), nibble::kOk);
        uint8_t position[16] = {};
        PutI32BE(position + 8, 1000);
        PutI32BE(position + 12, 20000);
        ASSERT_EQ(d.Write(reg::kPositionTestParams, position, 16), nibble::kOk);

        ASSERT_EQ(Cmd(d, c.start), nibble::kOk);
        EXPECT_EQ(Read(d, c.status, 1)[0], 1);
        EXPECT_EQ(GetU16(Read(d, c.length, 2).data()), 0);
        d.Advance(0.9);
        EXPECT_EQ(Read(d, c.status, 1)[0], 1);
        d.Advance(0.2);
        EXPECT_EQ(Read(d, c.status, 1)[0], 3);
        EXPECT_EQ(GetU16(Read(d, c.length, 2).data()), c.bytes);

        // The capture holds the model's records, whole, from 0x8000 on.
        Bytes expected(kCaptureBytes);
        DriveParameters params = FactoryParameters();
        TestParameters tests;
        tests.CurrentAmplitude = 1.0f;
        tests.SpeedSetSpeed = 1000;
        tests.PositionMaxSpeed = 1000;
        tests.PositionTarget = 20000;
        const PlantParameters& plant = d.Plant();
        if (c.bytes == 4096) RunCurrentStepTest(plant, params, tests, d.TestNoise(0), expected.data());
        if (c.start == control::kStartSpeedTest) {
            RunSpeedStepTest(plant, params, tests, d.TestNoise(1), expected.data());
        }
        if (c.start == control::kStartPositionTest) {
            RunPositionStepTest(plant, params, tests, 0, d.TestNoise(2), expected.data());
        }
        Bytes capture;
        for (uint16_t offset = 0; offset < c.bytes; offset += 128) {
            const Bytes block = Read(d, static_cast<RegisterAddress>(0x8000 + offset), 128);
            capture.insert(capture.end(), block.begin(), block.end());
        }
        EXPECT_TRUE(std::equal(capture.begin(), capture.end(), expected.begin()));

        // A stopped test leaves no data.
        ASSERT_EQ(Cmd(d, c.start), nibble::kOk);
        ASSERT_EQ(Cmd(d, c.stop), nibble::kOk);
        d.Advance(2.0);
        EXPECT_EQ(Read(d, c.status, 1)[0], 0);
        EXPECT_EQ(GetU16(Read(d, c.length, 2).data()), 0);
    }
}

TEST(DriveBehaviour, APositionTestMovesTheShaft) {
    DriveBehaviour d;
    Ready(d);
    uint8_t position[16] = {};
    PutI32BE(position + 8, 600);
    PutI32BE(position + 12, -12345);
    ASSERT_EQ(d.Write(reg::kPositionTestParams, position, 16), nibble::kOk);
    ASSERT_EQ(Cmd(d, control::kStartPositionTest), nibble::kOk);
    d.Advance(1.5);
    EXPECT_EQ(Status(d).Position, -12345);
}

TEST(DriveBehaviour, HeldLoopTestsEndOnlyOnceReleased) {
    DriveBehaviour d;
    Ready(d);
    d.HoldLoopTests(true);
    ASSERT_EQ(Cmd(d, control::kStartSpeedTest), nibble::kOk);
    d.Advance(5.0);
    EXPECT_EQ(Read(d, reg::kSpeedTestStatus, 1)[0], 1);
    // It still runs: another test must wait for it.
    EXPECT_EQ(Cmd(d, control::kStartCurrentTest), nibble::kCannotProcess);
    d.HoldLoopTests(false);
    d.Advance(0.01);
    EXPECT_EQ(Read(d, reg::kSpeedTestStatus, 1)[0], 3);
    EXPECT_EQ(GetU16(Read(d, reg::kSpeedTestLength, 2).data()), 8192);
}

// Runs loop test `start` (control word) to its end and returns the capture it left.
Bytes RunLoopTest(DriveBehaviour& d, uint16_t start, uint16_t bytes) {
    EXPECT_EQ(Cmd(d, start), nibble::kOk);
    d.Advance(timing::kLoopTest + 0.1);
    Bytes capture;
    for (uint16_t offset = 0; offset < bytes; offset += 128) {
        const Bytes block = Read(d, static_cast<RegisterAddress>(0x8000 + offset), 128);
        capture.insert(capture.end(), block.begin(), block.end());
    }
    return capture;
}

TEST(DriveBehaviour, TwoIdenticalLoopTestsDifferByNoiseOnly) {
    const uint8_t amplitude[7] = {0, 0x3F, 0x80, 0, 0, 0, 0};  // 1 A
    const uint8_t speed[4] = {0, 0, 0x03, 0xE8};               // 1000 rpm
    // Each test draws its own noise: the records differ a little, never by more than the
    // measurement's noise and steps can move them.
    const struct {
        uint16_t start;
        uint16_t bytes;
        size_t record;
        double bound, meanBound;  // largest and mean difference of the actual values
    } cases[] = {
        {control::kStartCurrentTest, 4096, 8, 0.06, 0.02},  // A
        {control::kStartSpeedTest, 8192, 16, 15, 2},        // rpm
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.start);
        for (const bool noise : {true, false}) {
            SimOptions options;
            options.Noise = noise;
            DriveBehaviour d(options);
            Ready(d);
            ASSERT_EQ(d.Write(reg::kCurrentTestParams, amplitude, 7), nibble::kOk);
            ASSERT_EQ(d.Write(reg::kSpeedTestParams, speed, 4), nibble::kOk);
            const Bytes first = RunLoopTest(d, c.start, c.bytes);
            const Bytes second = RunLoopTest(d, c.start, c.bytes);
            if (!noise) {
                EXPECT_EQ(first, second);  // the noise-free plant repeats itself exactly
                continue;
            }
            EXPECT_NE(first, second);
            double largest = 0, sum = 0;
            const size_t records = c.bytes / c.record;
            for (size_t k = 0; k < records; ++k) {
                const uint8_t* a = first.data() + k * c.record;
                const uint8_t* b = second.data() + k * c.record;
                double diff = 0;
                if (c.record == 8) {
                    EXPECT_EQ(GetFloatBE(a), GetFloatBE(b));  // the set values are the test's
                    diff = std::abs(GetFloatBE(a + 4) - GetFloatBE(b + 4));
                } else {
                    EXPECT_EQ(GetI32BE(a), GetI32BE(b));
                    EXPECT_EQ(GetU32(a + 8), GetU32(b + 8));
                    diff = std::abs(static_cast<double>(GetI32BE(a + 4)) - GetI32BE(b + 4));
                }
                largest = std::max(largest, diff);
                sum += diff;
            }
            EXPECT_GT(largest, 0);
            EXPECT_LE(largest, c.bound);
            EXPECT_LE(sum / records, c.meanBound);
        }
    }
}

TEST(DriveBehaviour, ANoiseSeedRepeatsARun) {
    SimOptions options;
    options.NoiseSeed = 2401;
    DriveBehaviour a(options), b(options);
    Ready(a);
    Ready(b);
    const uint8_t speed[4] = {0, 0, 0x03, 0xE8};
    ASSERT_EQ(a.Write(reg::kSpeedTestParams, speed, 4), nibble::kOk);
    ASSERT_EQ(b.Write(reg::kSpeedTestParams, speed, 4), nibble::kOk);
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(RunLoopTest(a, control::kStartSpeedTest, 8192),
                  RunLoopTest(b, control::kStartSpeedTest, 8192));
        EXPECT_EQ(a.TestNoise(1).Seed, b.TestNoise(1).Seed);
    }
}

TEST(DriveBehaviour, AReportedCaptureLengthReplacesTheRealOne) {
    DriveBehaviour d;
    d.SetReportedCaptureLength(9000);
    for (RegisterAddress a :
         {reg::kCurrentTestLength, reg::kSpeedTestLength, reg::kPositionTestLength}) {
        EXPECT_EQ(GetU16(Read(d, a, 2).data()), 9000);
    }
}

}  // namespace
}  // namespace torvane::sim
