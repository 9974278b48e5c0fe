// The rules that need no drive: entry conversions, the angle-to-pulses conversion, the entries
// a work mode enables, the confirmed enable/disable display, the CAN encodings, the timer
// periods, and every progress tick rule driven to each of its ends through the counter.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "protocol/register_map.h"
#include "recording.h"
#include "session/can_settings.h"
#include "session/console_timers.h"
#include "session/motion_rules.h"
#include "session/motion_texts.h"
#include "session/progress_ticks.h"

namespace torvane {
namespace {

TEST(MotionRules, EntriesAsNumbersAndAsIntegers) {
    const struct {
        const char* text;
        float number;
        int32_t integer;
    } cases[] = {
        {"150.7", 150.7f, 150},
        {"12.7", 12.7f, 12},
        {" -3e2x", -300.0f, -3},
        {"12abc", 12.0f, 12},
        {"", 0.0f, 0},
        {"abc", 0.0f, 0},
        {"+7", 7.0f, 7},
        {"99999999999", 1e11f, INT32_MAX},
        {"-99999999999", -1e11f, INT32_MIN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(EntryAsNumber(c.text), c.number);
        EXPECT_EQ(EntryAsInteger(c.text), c.integer);
    }
}

TEST(MotionRules, UpdateAnglePulsesMultipliesInSinglePrecisionAndTruncates) {
    const struct {
        const char *angle, *encoder, *ratio;
        int32_t pulses;
    } cases[] = {
        {"90", "65535", "1", 16383},  // 16383.75
        {"90", "65535.0", "1", 16383},
        {"-90", "65535", "1", -16383},  // toward zero
        {"360", "4096", "10", 40960},
        {"1", "1", "1", 0},              // 1/360
        {"45.5", "10000", "2.5", 3159},  // 1137500 / 360 = 3159.7
        {"", "65535", "1", 0},
        // 7 x 2396777 = 16777439 = 360 x 46604 - 1 is not a float: in single precision the
        // product rounds to 16777440 before the division.
        {"7", "2396777", "1", 46604},
        {"1e30", "1e30", "1", INT32_MAX},  // an infinite product saturates
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.angle << " x " << c.encoder << " x " << c.ratio);
        ConsoleState console;
        DriveState state;
        MotionFields motion;
        EXPECT_EQ(UpdateAnglePulses(c.angle, c.encoder, c.ratio, console, state, motion), c.pulses);
        EXPECT_EQ(motion.PositionSetpoint, c.pulses);
        EXPECT_EQ(console.AngleInput, EntryAsNumber(c.angle));
        EXPECT_EQ(console.EncoderInput, EntryAsNumber(c.encoder));
        EXPECT_EQ(state.OneLoopEncoderValue, console.EncoderInput);
        EXPECT_EQ(console.RatioInput, EntryAsNumber(c.ratio));
    }
}

TEST(MotionRules, TheReductionRatioIsCheckedOnEveryChange) {
    const struct {
        const char* text;
        bool ok;
    } cases[] = {{"1", true},     {"5001", true},  {"0", true},     {"", true},
                 {"5002", false}, {"-0.5", false}, {"50011", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ConsoleState console;
        test::RecordingNotices notices;
        EXPECT_EQ(CheckReductionRatio(c.text, console, notices), c.ok);
        EXPECT_EQ(console.RatioInput, EntryAsNumber(c.text));
        if (c.ok) {
            EXPECT_TRUE(notices.Shown.empty());
        } else {
            ASSERT_EQ(notices.Shown.size(), 1u);
            EXPECT_EQ(notices.Shown[0].Text,
                      "Reduction ratio, input exceeding limit\nallowed band 0 up to 5001");
            EXPECT_EQ(notices.Shown[0].Icon, NoticeIcon::Error);
        }
    }
}

TEST(MotionRules, EachWorkModeReadsItsSetpointAndEnablesItsEntries) {
    const auto current = WorkModeSetpointFor(0);
    ASSERT_TRUE(current);
    EXPECT_EQ(current->Address, reg::kCurrentSetpoint);
    EXPECT_EQ(current->Count, 4);
    EXPECT_EQ(current->Enabling, (SetpointEnabling{true, false, false, false, false, false}));
    const auto speed = WorkModeSetpointFor(1);
    ASSERT_TRUE(speed);
    EXPECT_EQ(speed->Address, reg::kSpeedSetpoint);
    EXPECT_EQ(speed->Count, 8);
    EXPECT_EQ(speed->Enabling, (SetpointEnabling{false, true, false, false, false, true}));
    const auto position = WorkModeSetpointFor(2);
    ASSERT_TRUE(position);
    EXPECT_EQ(position->Address, reg::kPositionSetpoint);
    EXPECT_EQ(position->Count, 13);
    // The Position entry stays disabled: it only shows the computed pulses.
    EXPECT_EQ(position->Enabling, (SetpointEnabling{false, true, false, true, true, true}));
    EXPECT_FALSE(WorkModeSetpointFor(-1));
    EXPECT_FALSE(WorkModeSetpointFor(3));
}

TEST(MotionRules, WhatTheSetpointEntriesShowAfterARead) {
    DriveState state;
    state.CountsPerRev = 4000;
    state.PhaseCurrent = 0.25f;
    state.BusVoltage = 47.5f;
    MotionFields motion;
    ConsoleState console;
    const struct {
        int32_t counts;
        const char* speed;
        float rpm;
    } speeds[] = {{6667, "100", 100.505f}, {67, "1", 1.505f}, {-6667, "-100", -100.505f},
                  {50, "1", 1.25f},        {-2, "0", -0.53f}, {0, "0", 0.5f}};
    for (const auto& c : speeds) {
        SCOPED_TRACE(c.counts);
        motion.SpeedSetpoint = c.counts;
        const SetpointDisplay shown = ShowSetpointReply(0x2305, motion, state, console);
        EXPECT_EQ(shown.Speed, c.speed);
        EXPECT_NEAR(console.SpeedSetpointRpm, c.rpm, 1e-4);  // kept rounded, not truncated
        EXPECT_EQ(shown.PhaseCurrent, "0.25");
        EXPECT_EQ(shown.BusVoltage, "47.5");
        EXPECT_FALSE(shown.Current || shown.Position || shown.PositionTypeIndex);
    }

    motion.CurrentSetpoint = -2.5f;
    const SetpointDisplay current = ShowSetpointReply(0x2301, motion, state, console);
    EXPECT_EQ(current.Current, "-2.5");
    EXPECT_FALSE(current.Speed);

    motion.PositionType = 1;
    motion.PositionSetpoint = -16383;
    motion.PositionSpeed = 150;
    SetpointDisplay position = ShowSetpointReply(0x2309, motion, state, console);
    EXPECT_EQ(position.PositionTypeIndex, 1);
    EXPECT_EQ(position.Position, "-16383");
    EXPECT_EQ(position.Speed, "150");
    motion.PositionType = 7;
    position = ShowSetpointReply(0x2309, motion, state, console);
    EXPECT_EQ(position.PositionTypeIndex, -1);  // no item

    EXPECT_FALSE(ShowSetpointReply(0x2300, motion, state, console).Speed);
}

TEST(MotionRules, AConfirmedControlWordChangesTheDisplayOnlyForEnableAndDisable) {
    ConsoleState console;
    console.LastControlWord = control::kEnable;
    auto shown = ShowControlWordReply(console);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->EnabledButtonCaption, "Disabled");
    EXPECT_FALSE(shown->WorkModeComboEnabled);
    EXPECT_EQ(console.MotorEnabled, 1);

    console.LastControlWord = control::kRun;
    EXPECT_FALSE(ShowControlWordReply(console));
    EXPECT_EQ(console.MotorEnabled, 1);

    console.LastControlWord = control::kDisable;
    shown = ShowControlWordReply(console);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->EnabledButtonCaption, "Enabled");
    EXPECT_TRUE(shown->WorkModeComboEnabled);
    EXPECT_EQ(console.MotorEnabled, 0);
}

TEST(CanSettings, AddressAndBaudCodes) {
    const struct {
        const char* address;
        uint8_t code;
    } addresses[] = {
        {"141", 1}, {"140", 0},   {"395", 255}, {"396", 0},  {"100", 216},
        {"", 116},  {"abc", 116}, {"141.9", 1}, {"-5", 111}, {"99999999999999999999", 115}};
    for (const auto& c : addresses) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(EncodeCanAddress(c.address), c.code);
    }
    EXPECT_EQ(EncodeCanBaud(0), 4);
    EXPECT_EQ(EncodeCanBaud(1), 5);
    EXPECT_EQ(EncodeCanBaud(-1), 3);  // no item selected
}

TEST(ConsoleTimers, Periods) {
    const std::pair<TimerId, int> periods[] = {
        {TimerId::kPollTimer, 500},       {TimerId::kAutoUpdateTimer, 50},
        {TimerId::kMatchTimer, 10000},    {TimerId::kCurrentTestTimer, 500},
        {TimerId::kSpeedTestTimer, 500},  {TimerId::kPositionTestTimer, 500},
        {TimerId::kCalibrationTimer, 20}, {TimerId::kFaultRotateTimer, 1000},
        {TimerId::kInitTimer, 50},        {TimerId::kResetTimer, 500},
    };
    for (const auto& [id, ms] : periods) EXPECT_EQ(TimerPeriod(id), ms) << static_cast<int>(id);
}

// Ticks a rule until it stops its timer; returns the number of ticks and the last step.
template <class Rule>
std::pair<int, ProgressStep> TicksUntilStop(Rule rule, int limit = 70000) {
    for (int tick = 1; tick <= limit; ++tick) {
        ProgressStep step = rule();
        if (step.StopTimer) return {tick, step};
    }
    return {0, {}};
}

TEST(ProgressRules, MatchingEndsOnCompletionFailureOrItsFourthPoll) {
    uint16_t count = 0;
    ProgressStep step = MatchingTickRule(kSuccess, 0, count);
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(step.StopTimer);
    EXPECT_EQ(step.Text, "Matching，Please wait......");
    EXPECT_EQ(step.Caption, "Close");

    // A failed read counts and changes nothing else, silently.
    step = MatchingTickRule(kDeviceNoResponse, 0, count);
    EXPECT_EQ(count, 2);
    EXPECT_FALSE(step.StopTimer || step.Text || step.Notice || step.ShownError);

    step = MatchingTickRule(kSuccess, 1, count);
    EXPECT_TRUE(step.StopTimer);
    EXPECT_TRUE(step.RestartPoll);
    EXPECT_EQ(step.Text, "Match completed, Please close……！");
    EXPECT_EQ(step.Caption, "Close");
    EXPECT_EQ(count, 0);

    count = 2;
    step = MatchingTickRule(kSuccess, 2, count);
    EXPECT_TRUE(step.StopTimer);
    EXPECT_TRUE(step.RestartPoll);  // our choice: the poll shows what the failure left
    EXPECT_FALSE(step.Text);        // the drive-state display has written the failure
    EXPECT_EQ(count, 0);

    count = 0;
    const auto [ticks, last] = TicksUntilStop([&] { return MatchingTickRule(kSuccess, 0, count); });
    EXPECT_EQ(ticks, 4);  // 40 s
    EXPECT_EQ(last.Text, "Match timeout， Please close！");
    EXPECT_EQ(last.Caption, "Close");
    EXPECT_FALSE(last.RestartPoll);
    EXPECT_EQ(count, 0);
}

TEST(ProgressRules, CalibrationEndsWhenCalibratedOrAfter1250Polls) {
    uint16_t count = 0;
    ProgressStep step = CalibrationTickRule(kSuccess, 0, count);
    EXPECT_EQ(step.Text, "Calibrating");
    EXPECT_EQ(count, 1);
    step = CalibrationTickRule(kDeviceNoResponse, 0, count);
    EXPECT_FALSE(step.Text || step.StopTimer || step.Notice);
    EXPECT_EQ(count, 2);  // a failed read still counts

    step = CalibrationTickRule(kSuccess, 1, count);
    EXPECT_TRUE(step.StopTimer);
    EXPECT_TRUE(step.RestartPoll);
    EXPECT_EQ(step.Text, "Calibrated");
    EXPECT_EQ(count, 1);  // cleared, then counted

    count = 0;
    const auto [ticks, last] =
        TicksUntilStop([&] { return CalibrationTickRule(kSuccess, 0, count); });
    EXPECT_EQ(ticks, 1251);  // about 25 s at 20 ms
    EXPECT_EQ(last.Notice, "Time Out");
    EXPECT_EQ(last.Text, "No calibration");
    EXPECT_FALSE(last.RestartPoll);
    EXPECT_EQ(count, 1);

    // Past the limit with failing reads, the first read that succeeds times out.
    count = 2000;
    EXPECT_FALSE(CalibrationTickRule(kDeviceNoResponse, 0, count).StopTimer);
    EXPECT_TRUE(CalibrationTickRule(kSuccess, 0, count).StopTimer);
}

TEST(ProgressRules, InitialisationEndsWhenInitialisedOrAfter1250Polls) {
    uint16_t count = 7;  // Enabled does not clear the shared counter
    ProgressStep step = InitialisationTickRule(kSuccess, 0, count);
    EXPECT_FALSE(step.Text || step.StopTimer);
    EXPECT_EQ(count, 8);
    step = InitialisationTickRule(kSuccess, 1, count);
    EXPECT_TRUE(step.StopTimer);
    EXPECT_TRUE(step.RestartPoll);
    EXPECT_EQ(step.Text, "Initialization is complete, please close");
    EXPECT_EQ(count, 1);

    count = 0;
    const auto [ticks, last] =
        TicksUntilStop([&] { return InitialisationTickRule(kSuccess, 0, count); });
    EXPECT_EQ(ticks, 1251);
    EXPECT_EQ(last.Text, "Initialization timed out, please close");
    EXPECT_FALSE(last.RestartPoll);
    EXPECT_FALSE(last.Notice);
}

TEST(ProgressRules, ResetCompletesOnTheFifthTickFromZeroAndTheFourthFromOne) {
    const struct {
        uint16_t start;
        int ticks;
    } cases[] = {{0, 5}, {1, 4}, {3, 2}, {4, 1}, {100, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        uint16_t count = c.start;
        const auto [ticks, last] = TicksUntilStop([&] { return ResetTickRule(count); });
        EXPECT_EQ(ticks, c.ticks);
        EXPECT_EQ(last.Text, "Reset is complete, please close");
        EXPECT_FALSE(last.RestartPoll);
        EXPECT_EQ(count, 1);
    }
}

TEST(ProgressRules, LoopTests) {
    ProgressStep step = LoopTestStatusRule(kSuccess, 1);
    EXPECT_FALSE(step.StopTimer || step.Text || step.ReadBack);

    step = LoopTestStatusRule(DriveErrorFromNibble(6), 1);
    EXPECT_TRUE(step.StopTimer);
    EXPECT_EQ(step.BoxState, 3);
    EXPECT_EQ(step.Text, "Test error, please close……");
    EXPECT_EQ(step.ShownError, 0xF6);
    EXPECT_FALSE(step.CloseResult);  // the box stays open until the user closes it

    step = LoopTestStatusRule(kSuccess, 3);
    EXPECT_TRUE(step.StopTimer);
    EXPECT_EQ(step.Text, "Test completed and reading data……");
    EXPECT_TRUE(step.ReadBack);

    step = LoopTestReadBackRule(kSuccess);
    EXPECT_EQ(step.CloseResult, 1);
    EXPECT_FALSE(step.Text);
    step = LoopTestReadBackRule(kDeviceNoResponse);
    EXPECT_EQ(step.BoxState, 3);
    EXPECT_EQ(step.Text, "Test error, please close……");
    EXPECT_EQ(step.CloseResult, 3);
}

}  // namespace
}  // namespace torvane
