// The progress timers against the simulated drive: the page requests that start them, and each
// timer's tick followed to each of its ends (completion, failure, time-out by driving the
// shared counter), with recording boxes standing in for the Info, matching and test boxes.
#include "session/progress_ticks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/register_map.h"
#include "session/motion_commands.h"
#include "session/progress_requests.h"
#include "session_rig.h"

namespace torvane {
namespace {

using Strings = std::vector<std::string>;
using test::RecordingBox;
using test::SessionRig;

class ProgressTicks : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.Connect()); }

    void EnableAndInitialise() {
        ASSERT_EQ(motion::Enable(rig.Ctx, 1).Status, CommandStatus::OpenInfoBox);
        SessionRig::Wait(2100);
        rig.Timers.StopTimer(TimerId::kInitTimer);
        rig.Mark();
    }

    // Ticks `id` every period until it stops (at most `limit` ticks); the steps taken.
    std::vector<ProgressStep> TickUntilStopped(TimerId id, ProgressBox* box, int limit = 400) {
        std::vector<ProgressStep> steps;
        for (int i = 0; i < limit && rig.Timers.IsActive(id); ++i) {
            if (i > 0) SessionRig::Wait(TimerPeriod(id));
            steps.push_back(*TickProgress(rig.Ctx, id, box));
        }
        return steps;
    }

    SessionRig rig;
};

bool OnlyReads(const Strings& frames, const std::string& read) {
    for (const auto& f : frames) {
        if (f != read) return false;
    }
    return !frames.empty();
}

TEST_F(ProgressTicks, InitialisationCompletesAndRestartsThePoll) {
    RecordingBox info;
    rig.Console.ProgressCount = 3;  // left by an earlier timer
    ASSERT_EQ(motion::Enable(rig.Ctx, 1).Status, CommandStatus::OpenInfoBox);
    rig.Mark();
    const auto steps = TickUntilStopped(TimerId::kInitTimer, &info);
    ASSERT_FALSE(steps.empty());
    EXPECT_GT(steps.size(), 1u);  // the drive takes 2 s
    EXPECT_EQ(steps.back().Text, "Initialization is complete, please close");
    EXPECT_EQ(info.Events, Strings{"text Initialization is complete, please close"});
    EXPECT_EQ(rig.Timers.Log(), (Strings{"stop 10", "start 1"}));
    EXPECT_EQ(rig.Console.ProgressCount, 1);
    EXPECT_TRUE(OnlyReads(rig.Frames(), "read 2200 7"));
    EXPECT_TRUE(rig.Notices.Shown.empty());
}

TEST_F(ProgressTicks, ClosingTheInfoBoxEarlyStillRestartsThePollOnCompletion) {
    RecordingBox info;
    ASSERT_EQ(motion::Enable(rig.Ctx, 1).Status, CommandStatus::OpenInfoBox);
    rig.Mark();
    const ProgressStep first = TickInitialisation(rig.Ctx, &info);  // box open, still initialising
    EXPECT_FALSE(first.StopTimer);
    // The user closes the box; the timer goes on and finds the drive initialised.
    const auto steps = TickUntilStopped(TimerId::kInitTimer, nullptr);
    ASSERT_FALSE(steps.empty());
    EXPECT_TRUE(steps.back().RestartPoll);
    EXPECT_TRUE(rig.Timers.IsActive(TimerId::kPollTimer));
    EXPECT_FALSE(rig.Timers.IsActive(TimerId::kInitTimer));
    EXPECT_TRUE(info.Events.empty());
}

TEST_F(ProgressTicks, InitialisationTimesOutAfter1250Polls) {
    RecordingBox info;
    ASSERT_EQ(motion::Enable(rig.Ctx, 1).Status, CommandStatus::OpenInfoBox);
    rig.Mark();
    rig.Console.ProgressCount = 1250;  // the 1251st poll, while the drive still initialises
    const ProgressStep step = TickInitialisation(rig.Ctx, &info);
    EXPECT_TRUE(step.StopTimer);
    EXPECT_FALSE(step.RestartPoll);
    EXPECT_EQ(info.Events, Strings{"text Initialization timed out, please close"});
    EXPECT_EQ(rig.Timers.Log(), Strings{"stop 10"});
    EXPECT_EQ(rig.Console.ProgressCount, 1);
}

TEST_F(ProgressTicks, CalibrationEndsCalibratedFailedOrTimedOut) {
    RecordingBox entry;
    // Calibrated: the entry follows the drive, the poll restarts.
    ASSERT_EQ(motion::Correct(rig.Ctx, entry).Status, CommandStatus::Done);
    rig.Mark();
    auto steps = TickUntilStopped(TimerId::kCalibrationTimer, &entry);
    ASSERT_GT(steps.size(), 1u);
    EXPECT_EQ(entry.Events.front(), "text Is the calibration");
    EXPECT_EQ(entry.Events[1], "text Calibrating");
    EXPECT_EQ(entry.Events.back(), "text Calibrated");
    EXPECT_EQ(rig.Timers.Log(), (Strings{"stop 7", "start 1"}));
    EXPECT_TRUE(OnlyReads(rig.Frames(), "read 2200 7"));
    EXPECT_TRUE(rig.Notices.Shown.empty());

    // A calibration that fails or never ends: "Time Out" on the 1251st poll.
    for (const auto outcome : {sim::CalibrationOutcome::Fail, sim::CalibrationOutcome::Never}) {
        SCOPED_TRACE(static_cast<int>(outcome));
        if (outcome == sim::CalibrationOutcome::Fail) {
            ASSERT_EQ(
                rig.Link.WriteRegister(reg::kClearFaults, PackClearFaults(rig.Link.Payload())),
                kSuccess);
        }
        rig.Drive->SetCalibrationOutcome(outcome);
        entry.Events.clear();
        ASSERT_EQ(motion::Correct(rig.Ctx, entry).Status, CommandStatus::Done);
        SessionRig::Wait(3100);  // the drive has given its answer
        rig.Mark();
        EXPECT_EQ(TickCalibration(rig.Ctx, &entry).Text, "Calibrating");
        rig.Console.ProgressCount = 1250;
        rig.Notices.Journal = &entry.Events;
        const ProgressStep step = TickCalibration(rig.Ctx, &entry);
        rig.Notices.Journal = nullptr;
        EXPECT_TRUE(step.StopTimer);
        EXPECT_FALSE(step.RestartPoll);
        // The message first, then the entry.
        EXPECT_EQ(entry.Events, (Strings{"text Is the calibration", "text Calibrating",
                                         "notice Time Out", "text No calibration"}));
        EXPECT_EQ(rig.Notices.Texts(), Strings{"Time Out"});
        EXPECT_EQ(rig.Timers.Log(), Strings{"stop 7"});
        EXPECT_EQ(rig.Console.ProgressCount, 1);
    }
}

TEST_F(ProgressTicks, AFailedCalibrationReadIsSilentAndCounted) {
    RecordingBox entry;
    rig.Drive->SetCalibrationOutcome(sim::CalibrationOutcome::Never);
    ASSERT_EQ(motion::Correct(rig.Ctx, entry).Status, CommandStatus::Done);
    rig.Mark();
    entry.Events.clear();
    rig.Console.ProgressCount = 1250;
    rig.Drive->AnswerWithResult(6, reg::kMatchingGroup, 1);
    const ProgressStep step = TickCalibration(rig.Ctx, &entry);
    EXPECT_EQ(step.ReadResult, 0xF6);
    EXPECT_FALSE(step.StopTimer);
    EXPECT_TRUE(entry.Events.empty());
    EXPECT_TRUE(rig.Notices.Shown.empty());
    EXPECT_EQ(rig.Console.ProgressCount, 1251);
    // The next read that succeeds finds the count past its limit.
    EXPECT_TRUE(TickCalibration(rig.Ctx, &entry).StopTimer);
}

TEST_F(ProgressTicks, ResetCompletesOnItsFifthTick) {
    RecordingBox info;
    rig.Console.ProgressCount = 0;
    ASSERT_EQ(motion::Reset(rig.Ctx).Status, CommandStatus::OpenInfoBox);
    rig.Mark();
    auto steps = TickUntilStopped(TimerId::kResetTimer, &info);
    EXPECT_EQ(steps.size(), 5u);  // 2.5 s
    EXPECT_EQ(info.Events, Strings{"text Reset is complete, please close"});
    EXPECT_EQ(rig.Timers.Log(), Strings{"stop 11"});  // the poll stays stopped
    EXPECT_TRUE(rig.Frames().empty());                // nothing is read
    EXPECT_EQ(rig.Console.ProgressCount, 1);

    // The next reset starts from the 1 left behind: its fourth tick completes.
    ASSERT_EQ(motion::Reset(rig.Ctx).Status, CommandStatus::OpenInfoBox);
    steps = TickUntilStopped(TimerId::kResetTimer, nullptr);
    EXPECT_EQ(steps.size(), 4u);
}

TEST_F(ProgressTicks, MatchingCompletes) {
    RecordingBox box;
    rig.Display.MatchingBox = &box;
    rig.Console.ProgressCount = 5;
    EXPECT_EQ(StartMotorMatch(rig.Ctx), 0);
    EXPECT_EQ(rig.Frames(),
              (Strings{"write 1000 04 01 09 C4 40 A0 00 00 41 70 00 00 00 00 0B B8 01",
                       "write 6000 01 01"}));
    EXPECT_EQ(rig.Timers.Log(), (Strings{"stop 1", "start 3"}));
    EXPECT_EQ(rig.Console.ProgressCount, 0);
    EXPECT_EQ(rig.Console.LastControlWord, 0);  // requests leave it alone

    rig.Mark();
    ProgressStep step = TickMatching(rig.Ctx, &box);
    EXPECT_FALSE(step.StopTimer);
    EXPECT_EQ(box.Events, (Strings{"text Matching，Please wait......", "caption Close"}));
    EXPECT_EQ(CancelMotorMatch(rig.Ctx), 0);  // the box closed: matching goes on
    EXPECT_TRUE(rig.Timers.IsActive(TimerId::kMatchTimer));

    SessionRig::Wait(15100);
    box.Events.clear();
    step = TickMatching(rig.Ctx, &box);
    EXPECT_TRUE(step.StopTimer);
    EXPECT_TRUE(step.RestartPoll);
    // The drive-state display first, then the timer's own text.
    EXPECT_EQ(box.Events,
              (Strings{"state 1", "text Match completed,please close……！", "caption close",
                       "text Match completed, Please close……！", "caption Close"}));
    EXPECT_EQ(rig.Timers.Log(), (Strings{"stop 3", "start 1"}));
    EXPECT_EQ(rig.Console.ProgressCount, 0);
    EXPECT_EQ(rig.Frames(), (Strings{"read 2200 7", "read 2200 7"}));
}

TEST_F(ProgressTicks, AFailedMatchStopsTheTimerKeepsTheDisplaysTextAndPollsAgain) {
    RecordingBox box;
    rig.Display.MatchingBox = &box;
    rig.Drive->SetMatchOutcome(sim::MatchOutcome::Fail);
    ASSERT_EQ(StartMotorMatch(rig.Ctx), 0);
    SessionRig::Wait(15100);
    rig.Mark();
    const ProgressStep step = TickMatching(rig.Ctx, &box);
    EXPECT_TRUE(step.StopTimer);
    EXPECT_EQ(box.Events,
              (Strings{"state 3", "text Failed to match. please close……！", "caption Close"}));
    EXPECT_EQ(rig.Timers.Log(), (Strings{"stop 3", "start 1"}));
    EXPECT_EQ(rig.Console.ProgressCount, 0);
}

TEST_F(ProgressTicks, MatchingThatNeverEndsTimesOutOnTheFourthPoll) {
    RecordingBox box;
    rig.Display.MatchingBox = &box;
    rig.Drive->SetMatchOutcome(sim::MatchOutcome::Never);
    ASSERT_EQ(StartMotorMatch(rig.Ctx), 0);
    rig.Mark();
    for (int poll = 1; poll <= 3; ++poll) {
        EXPECT_FALSE(TickMatching(rig.Ctx, &box).StopTimer) << poll;
    }
    box.Events.clear();
    const ProgressStep fourth = TickMatching(rig.Ctx, &box);
    EXPECT_TRUE(fourth.StopTimer);
    EXPECT_FALSE(fourth.RestartPoll);
    EXPECT_EQ(box.Events, (Strings{"text Match timeout， Please close！", "caption Close"}));
    EXPECT_EQ(rig.Timers.Log(), Strings{"stop 3"});
    EXPECT_EQ(rig.Console.ProgressCount, 0);
}

struct LoopTest {
    const char* name;
    uint8_t (*start)(CommandContext&);
    uint8_t (*stop)(CommandContext&);
    TimerId timer;
    Strings startFrames;
    const char* stopFrame;
    const char* statusRead;
    const char* lengthRead;
    size_t blocks;  // capture reads of 128 bytes
};

class LoopTests : public ProgressTicks {
protected:
    void SetUp() override {
        ProgressTicks::SetUp();
        DriveState& s = rig.State;
        s.Params.Loop.CurrentLoopP = 1.0f;
        s.Params.Loop.SpeedLoopP = 2.0f;
        s.Params.Loop.PositionLoopP = 0.5f;
        s.CurrentTestType = 0;
        s.CurrentTestAmplitude = 1.0f;
        s.CurrentTestFrequency = 50;
        s.SpeedTestSetSpeed = 1000;
        s.PositionTestAcceleration = 0;
        s.PositionTestMaxSpeed = 1000;
        s.PositionTestTarget = 20000;
    }
};

const LoopTest kLoopTests[] = {
    {"current",
     StartCurrentLoopTest,
     StopCurrentLoopTest,
     TimerId::kCurrentTestTimer,
     {"write 2000 3F 80 00 00 00 00 00 00 00 00 00 00", "write 2401 00 3F 80 00 00 00 32",
      "write 6000 05 01"},
     "write 6000 05 00",
     "read 2400 1",
     "read 2408 2",
     32},
    {"speed",
     StartSpeedLoopTest,
     StopSpeedLoopTest,
     TimerId::kSpeedTestTimer,
     {"write 200C 40 00 00 00 00 00 00 00 00 00 00 00", "write 2501 00 00 03 E8",
      "write 6000 06 01"},
     "write 6000 06 00",
     "read 2500 1",
     "read 2505 2",
     64},
    {"position",
     StartPositionLoopTest,
     StopPositionLoopTest,
     TimerId::kPositionTestTimer,
     {"write 2018 3F 00 00 00 00 00 00 00 00 00 00 00",
      "write 2601 00 00 00 00 00 00 00 00 00 00 03 E8 00 00 4E 20", "write 6000 07 01"},
     "write 6000 07 00",
     "read 2600 1",
     "read 2611 2",
     64},
};

TEST_F(LoopTests, EachTestStartsPollsAndReadsItsCaptureBack) {
    EnableAndInitialise();
    for (const LoopTest& t : kLoopTests) {
        SCOPED_TRACE(t.name);
        RecordingBox box;
        rig.Mark();
        ASSERT_EQ(t.start(rig.Ctx), 0);
        EXPECT_EQ(rig.Frames(), t.startFrames);
        // The status poll goes on beside the test.
        EXPECT_EQ(rig.Timers.Log(), Strings{"start " + std::to_string(static_cast<int>(t.timer))});

        rig.Mark();
        EXPECT_FALSE(TickProgress(rig.Ctx, t.timer, &box)->StopTimer);  // status 1
        EXPECT_TRUE(box.Events.empty());
        SessionRig::Wait(1100);
        const ProgressStep done = *TickProgress(rig.Ctx, t.timer, &box);
        EXPECT_TRUE(done.StopTimer);
        EXPECT_EQ(done.CloseResult, 1);
        EXPECT_EQ(box.Events, (Strings{"text Test completed and reading data……", "close 1"}));
        const Strings frames = rig.Frames();
        ASSERT_EQ(frames.size(), 3 + t.blocks);
        EXPECT_EQ(frames[0], t.statusRead);
        EXPECT_EQ(frames[1], t.statusRead);
        EXPECT_EQ(frames[2], t.lengthRead);
        EXPECT_EQ(frames.back(), "read " + std::string(t.blocks == 64 ? "9F80" : "8F80") + " 128");
        EXPECT_FALSE(rig.Timers.IsActive(t.timer));
        EXPECT_TRUE(rig.Notices.Shown.empty());
    }
}

TEST_F(LoopTests, AStoppedTestKeepsItsTimerPolling) {
    EnableAndInitialise();
    for (const LoopTest& t : kLoopTests) {
        SCOPED_TRACE(t.name);
        RecordingBox box;
        ASSERT_EQ(t.start(rig.Ctx), 0);
        rig.Mark();
        EXPECT_EQ(t.stop(rig.Ctx), 0);
        EXPECT_EQ(rig.Frames(), Strings{t.stopFrame});
        EXPECT_TRUE(rig.Timers.Log().empty());
        SessionRig::Wait(1100);
        EXPECT_FALSE(TickProgress(rig.Ctx, t.timer, &box)->StopTimer);
        EXPECT_TRUE(rig.Timers.IsActive(t.timer));
        EXPECT_TRUE(box.Events.empty());
        rig.Timers.StopTimer(t.timer);
    }
}

TEST_F(LoopTests, AFailedStatusReadMarksTheBoxFailedAndLeavesItOpen) {
    EnableAndInitialise();
    RecordingBox box;
    ASSERT_EQ(StartSpeedLoopTest(rig.Ctx), 0);
    rig.Mark();
    rig.Drive->AnswerWithResult(6, reg::kSpeedTestStatus, 1);
    const ProgressStep step = TickLoopTest(rig.Ctx, TimerId::kSpeedTestTimer, &box);
    EXPECT_TRUE(step.StopTimer);
    EXPECT_FALSE(step.CloseResult);
    EXPECT_EQ(box.Events, (Strings{"state 3", "text Test error, please close……"}));
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Unable to process command"});
    EXPECT_EQ(rig.Timers.Log(), Strings{"stop 5"});
}

TEST_F(LoopTests, AFailedReadBackClosesTheBoxWithThree) {
    EnableAndInitialise();
    RecordingBox box;
    ASSERT_EQ(StartSpeedLoopTest(rig.Ctx), 0);
    SessionRig::Wait(1100);
    rig.Mark();
    rig.Drive->AnswerWithResult(5, static_cast<RegisterAddress>(reg::kCaptureFirst + 128), 1);
    const ProgressStep step = TickLoopTest(rig.Ctx, TimerId::kSpeedTestTimer, &box);
    EXPECT_TRUE(step.StopTimer);
    EXPECT_EQ(step.ReadBackResult, 0xF5);
    EXPECT_EQ(step.CloseResult, 3);
    EXPECT_EQ(box.Events, (Strings{"text Test completed and reading data……", "state 3",
                                   "text Test error, please close……", "close 3"}));
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Error Command value"});
    EXPECT_EQ(rig.Frames().size(), 4u);  // status, length, two blocks
}

TEST_F(LoopTests, ALengthAbove8192IsReadAs8192) {
    EnableAndInitialise();
    RecordingBox box;
    rig.Drive->ReportCaptureLength(9000);
    ASSERT_EQ(StartSpeedLoopTest(rig.Ctx), 0);
    SessionRig::Wait(1100);
    rig.Mark();
    EXPECT_EQ(TickLoopTest(rig.Ctx, TimerId::kSpeedTestTimer, &box).CloseResult, 1);
    EXPECT_EQ(rig.State.SpeedTestLength, 9000);
    EXPECT_EQ(rig.Frames().size(), 2u + 64u);
}

TEST_F(LoopTests, AFailedStartWriteEndsTheRequestWithoutATimer) {
    EnableAndInitialise();
    rig.Drive->AnswerWithResult(5, reg::kCurrentTestParams, 1);
    EXPECT_EQ(StartCurrentLoopTest(rig.Ctx), 1);
    EXPECT_EQ(rig.Frames().size(), 2u);  // gains, parameters; no start word
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Error Command value"});
    EXPECT_TRUE(rig.Timers.Log().empty());

    rig.Mark();
    rig.Drive->AnswerWithResult(6, reg::kControlWord, 1);
    EXPECT_EQ(StopSpeedLoopTest(rig.Ctx), 1);
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Unable to process command"});

    rig.Mark();
    rig.Drive->AnswerWithResult(6, reg::kMotorGroup, 1);
    EXPECT_EQ(StartMotorMatch(rig.Ctx), 1);
    EXPECT_EQ(rig.Frames().size(), 1u);
    EXPECT_TRUE(rig.Timers.Log().empty());  // timer 1 keeps running
}

TEST(ProgressRequestsWithoutPort, ShowNoResponse) {
    SessionRig rig;
    EXPECT_EQ(StartMotorMatch(rig.Ctx), 1);
    EXPECT_EQ(StopPositionLoopTest(rig.Ctx), 1);
    EXPECT_EQ(rig.Notices.Texts(), (Strings{"Device no response", "Device no response"}));
    EXPECT_TRUE(rig.Timers.Log().empty());
}

TEST(ProgressDispatch, OnlyProgressTimersTick) {
    SessionRig rig;
    for (const TimerId id :
         {TimerId::kPollTimer, TimerId::kAutoUpdateTimer, TimerId::kFaultRotateTimer}) {
        EXPECT_FALSE(TickProgress(rig.Ctx, id, nullptr));
    }
    rig.Timers.StartTimer(TimerId::kResetTimer);
    EXPECT_TRUE(TickProgress(rig.Ctx, TimerId::kResetTimer, nullptr));
}

}  // namespace
}  // namespace torvane
