// Following enable, calibration and reset to their ends without a window, as the command-line
// tool does, and a whole session on the simulated drive through the same functions.
#include "session/motion_follow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/register_map.h"
#include "session/motion_commands.h"
#include "session_rig.h"

namespace torvane {
namespace {

using Strings = std::vector<std::string>;
using test::RecordingBox;
using test::SessionRig;

class MotionFollow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.Connect()); }
    SessionRig rig;
};

TEST_F(MotionFollow, EnableFollowsInitialisationToItsEnd) {
    RecordingBox info;
    ASSERT_EQ(motion::Enable(rig.Ctx, 1).Status, CommandStatus::OpenInfoBox);
    const FollowResult r = FollowInitialisation(rig.Ctx, &info);
    EXPECT_TRUE(r.Completed);
    EXPECT_EQ(r.Text, "Initialization is complete, please close");
    EXPECT_EQ(info.Events, Strings{"text Initialization is complete, please close"});
    EXPECT_TRUE(rig.Timers.IsActive(TimerId::kPollTimer));
    EXPECT_EQ(rig.State.Params.Matching.HallDirection, 1);

    // Nothing to follow once it has ended.
    const FollowResult again = FollowInitialisation(rig.Ctx, &info);
    EXPECT_FALSE(again.Completed);
    EXPECT_TRUE(again.Text.empty());
}

TEST_F(MotionFollow, CalibrationEndsCalibratedOrTimedOut) {
    RecordingBox entry;
    ASSERT_EQ(motion::Correct(rig.Ctx, entry).Status, CommandStatus::Done);
    FollowResult r = FollowCalibration(rig.Ctx, &entry);
    EXPECT_TRUE(r.Completed);
    EXPECT_EQ(r.Text, "Calibrated");
    EXPECT_TRUE(rig.Notices.Shown.empty());

    rig.Drive->SetCalibrationOutcome(sim::CalibrationOutcome::Never);
    ASSERT_EQ(motion::Correct(rig.Ctx, entry).Status, CommandStatus::Done);
    rig.Console.ProgressCount = 1200;  // the last 50 polls of the 25 s
    r = FollowCalibration(rig.Ctx, &entry);
    EXPECT_FALSE(r.Completed);
    EXPECT_EQ(r.Text, "No calibration");
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Time Out"});
    EXPECT_FALSE(rig.Timers.IsActive(TimerId::kPollTimer));
}

TEST_F(MotionFollow, ResetTakesItsFiveTicks) {
    RecordingBox info;
    ASSERT_EQ(motion::Reset(rig.Ctx).Status, CommandStatus::OpenInfoBox);
    const FollowResult r = FollowReset(rig.Ctx, &info);
    EXPECT_TRUE(r.Completed);
    EXPECT_EQ(r.Text, "Reset is complete, please close");
    EXPECT_EQ(rig.Console.ProgressCount, 1);
    // The drive is back.
    EXPECT_EQ(rig.Link.ReadRegister(reg::kMatchingGroup, size::kMatchingGroup), kSuccess);
}

TEST_F(MotionFollow, ALostPortEndsTheFollow) {
    ASSERT_EQ(motion::Enable(rig.Ctx, 1).Status, CommandStatus::OpenInfoBox);
    rig.Port.ClearPortOpen();
    const FollowResult r = FollowInitialisation(rig.Ctx, nullptr);
    EXPECT_FALSE(r.Completed);
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Device no response"});
}

TEST_F(MotionFollow, AWholeSession) {
    // enable speed -> run 1000 rpm -> the drive turns and reports the set-point -> stop ->
    // disable.
    rig.State.CountsPerRev = 4u * rig.State.Params.Motor.EncoderLines;  // as the motor page sets
    ASSERT_EQ(motion::Enable(rig.Ctx, 1).Status, CommandStatus::OpenInfoBox);
    ASSERT_TRUE(FollowInitialisation(rig.Ctx, nullptr).Completed);
    MotionEntries entries;
    entries.WorkModeIndex = 1;
    entries.Speed = "1000";
    ASSERT_EQ(motion::Run(rig.Ctx, entries).Status, CommandStatus::Done);
    SessionRig::Wait(2000);

    rig.State.AutoUpdate = 1;
    ASSERT_EQ(rig.Link.ReadRegister(reg::kLiveStatus, LongStatusSize(rig.State)), kSuccess);
    EXPECT_EQ(rig.State.MotorState, 2);
    EXPECT_NEAR(rig.State.LiveSpeed, 1000, 5);
    ASSERT_EQ(rig.Link.ReadRegister(reg::kSpeedSetpoint, size::kSpeedSetpoint), kSuccess);
    EXPECT_NEAR(CountsToRpm(rig.Motion.SpeedSetpoint, rig.State.CountsPerRev), 1000.0f, 0.01f);

    ASSERT_EQ(motion::Stop(rig.Ctx).Status, CommandStatus::Done);
    SessionRig::Wait(2000);
    ASSERT_EQ(rig.Link.ReadRegister(reg::kLiveStatus, LongStatusSize(rig.State)), kSuccess);
    EXPECT_EQ(rig.State.LiveSpeed, 0);
    ASSERT_EQ(motion::Enabled(rig.Ctx, 1).Status, CommandStatus::Done);  // disables
    EXPECT_EQ(rig.Console.MotorEnabled, 0);
    ASSERT_EQ(rig.Link.ReadRegister(reg::kLiveStatus, LongStatusSize(rig.State)), kSuccess);
    EXPECT_EQ(rig.State.MotorState, 0);
    EXPECT_TRUE(rig.Notices.Shown.empty());
}

}  // namespace
}  // namespace torvane
