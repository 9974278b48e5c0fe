// The motion commands and the CAN setting against the simulated drive over a pseudo-terminal:
// their preconditions and messages, the frames the drive receives in order, the timers they
// start and stop, and the console fields they leave.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "protocol/register_map.h"
#include "session/can_settings.h"
#include "session/motion_commands.h"
#include "session/motion_setpoints.h"
#include "session_rig.h"

namespace torvane {
namespace {

using Strings = std::vector<std::string>;
using test::RecordingBox;
using test::SessionRig;

class MotionCommands : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.Connect()); }

    // Enabled in `mode` and initialised, ready to run; the console saw the confirmation.
    void EnableAndInitialise(int mode) {
        ASSERT_EQ(motion::Enable(rig.Ctx, mode).Status, CommandStatus::OpenInfoBox);
        SessionRig::Wait(2100);
        ASSERT_EQ(rig.Console.MotorEnabled, 1);
        rig.Mark();
    }

    SessionRig rig;
};

TEST(MotionCommandsWithoutPort, EveryCommandButResetRefusesWithoutAPort) {
    SessionRig rig;  // the drive is there, the port never opened
    RecordingBox entry;
    MotionEntries entries;
    entries.WorkModeIndex = 1;
    entries.Speed = "100";
    const std::pair<const char*, std::function<CommandResult()>> commands[] = {
        {"work mode", [&] { return motion::SelectWorkMode(rig.Ctx, 1).Result; }},
        {"enable", [&] { return motion::Enabled(rig.Ctx, 1); }},
        {"disable",
         [&] {
             rig.Console.MotorEnabled = 1;
             const CommandResult r = motion::Enabled(rig.Ctx, 1);
             rig.Console.MotorEnabled = 0;
             return r;
         }},
        {"run", [&] { return motion::Run(rig.Ctx, entries); }},
        {"inversion", [&] { return motion::Inversion(rig.Ctx, entries); }},
        {"stop", [&] { return motion::Stop(rig.Ctx); }},
        {"emergency stop", [&] { return motion::EmergencyStop(rig.Ctx); }},
        {"correct", [&] { return motion::Correct(rig.Ctx, entry); }},
        {"eliminate malfunction", [&] { return motion::EliminateMalfunction(rig.Ctx); }},
        {"can setting", [&] { return WriteCanSettings(rig.Ctx, "141", 0); }},
    };
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        rig.Notices.Shown.clear();
        EXPECT_EQ(command().Status, CommandStatus::Refused);
        EXPECT_EQ(rig.Notices.Texts(), Strings{"The serial port is not open"});
    }
    EXPECT_TRUE(rig.Timers.Log().empty());
    EXPECT_TRUE(entry.Events.empty());

    // Reset has no port check: its write fails with no response, and no box opens.
    rig.Notices.Shown.clear();
    const CommandResult reset = motion::Reset(rig.Ctx);
    EXPECT_EQ(reset.Status, CommandStatus::Failed);
    EXPECT_EQ(reset.Error, kDeviceNoResponse);
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Device no response"});
    EXPECT_EQ(rig.Timers.Log(), Strings{"stop 1"});
    EXPECT_EQ(rig.Drive->RequestCount(), 0u);
}

TEST_F(MotionCommands, SelectingAWorkModeReadsItsSetpointAndEnablesItsEntries) {
    // Set-points the drive holds: 1.5 A, 1000 rpm, relative 4096 pulses at 300 rpm.
    ASSERT_EQ(rig.Link.WriteRegister(reg::kCurrentSetpoint,
                                     PackCurrentSetpoint(rig.Link.Payload(), 1.5f)),
              kSuccess);
    ASSERT_EQ(
        rig.Link.WriteRegister(reg::kSpeedSetpoint, PackSpeedSetpoint(rig.Link.Payload(), 1000, 0)),
        kSuccess);
    ASSERT_EQ(rig.Link.WriteRegister(reg::kPositionSetpoint,
                                     PackPositionSetpoint(rig.Link.Payload(), 1, 4096, 300, 0)),
              kSuccess);
    rig.Motion = MotionFields{};
    rig.State.CountsPerRev = 4u * rig.State.Params.Motor.EncoderLines;  // as the motor page sets
    rig.Mark();

    const struct {
        int mode;
        const char* read;
        SetpointEnabling enabling;
        const char* shows;  // Current, Speed or Position
    } cases[] = {
        {0, "read 2301 4", {true, false, false, false, false, false}, "1.5"},
        // The drive reports its speed set-point in counts per second; over its 10000 counts
        // per revolution the entry shows the 1000 rpm that were sent.
        {1, "read 2305 8", {false, true, false, false, false, true}, "1000"},
        {2, "read 2309 13", {false, true, false, true, true, true}, "4096"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        rig.Mark();
        const WorkModeSelection selection = motion::SelectWorkMode(rig.Ctx, c.mode);
        EXPECT_EQ(selection.Result.Status, CommandStatus::Done);
        ASSERT_TRUE(selection.Enabling);
        EXPECT_EQ(*selection.Enabling, c.enabling);
        EXPECT_EQ(rig.Frames(), Strings{c.read});
        EXPECT_EQ(rig.Motion.WorkMode, c.mode);
        const SetpointDisplay& shown = selection.Shown;
        EXPECT_EQ(c.mode == 0   ? shown.Current
                  : c.mode == 1 ? shown.Speed
                                : shown.Position,
                  c.shows);
        EXPECT_TRUE(rig.Notices.Shown.empty());
    }
    EXPECT_EQ(rig.Motion.CurrentSetpoint, 1.5f);
    EXPECT_EQ(rig.Motion.SpeedSetpoint, 166667);
    EXPECT_EQ(rig.Motion.PositionType, 1);
    EXPECT_EQ(rig.Motion.PositionSetpoint, 4096);
    EXPECT_EQ(rig.Motion.PositionSpeed, 300);

    // An unknown index; a failed read; the motor enabled: nothing more than WorkMode.
    rig.Mark();
    WorkModeSelection selection = motion::SelectWorkMode(rig.Ctx, -1);
    EXPECT_EQ(selection.Result.Status, CommandStatus::Refused);
    EXPECT_FALSE(selection.Enabling);
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Invalid working mode"});
    EXPECT_TRUE(rig.Frames().empty());

    rig.Mark();
    rig.Drive->AnswerWithResult(5, reg::kSpeedSetpoint, 1);
    selection = motion::SelectWorkMode(rig.Ctx, 1);
    EXPECT_EQ(selection.Result.Status, CommandStatus::Failed);
    EXPECT_FALSE(selection.Enabling);
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Error Command value"});

    rig.Mark();
    rig.Console.MotorEnabled = 1;
    selection = motion::SelectWorkMode(rig.Ctx, 2);
    EXPECT_EQ(selection.Result.Status, CommandStatus::Done);
    EXPECT_FALSE(selection.Enabling);
    EXPECT_EQ(rig.Motion.WorkMode, 2);
    EXPECT_TRUE(rig.Frames().empty());
    EXPECT_TRUE(rig.Notices.Shown.empty());
}

TEST_F(MotionCommands, EnablingChecksTheMatchWritesTheModeAndFollowsInitialisation) {
    rig.State.Params.Matching.MatchMarks = 0;  // as last read
    EXPECT_EQ(motion::Enabled(rig.Ctx, 1).Status, CommandStatus::Refused);
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Motor does not match"});
    EXPECT_TRUE(rig.Frames().empty());

    // A failed match (2) does not refuse; the fresh read says the drive is matched.
    rig.State.Params.Matching.MatchMarks = 2;
    rig.State.AutoUpdate = 1;
    rig.Console.ProgressCount = 9;
    rig.Mark();
    const CommandResult enabled = motion::Enabled(rig.Ctx, 1);
    EXPECT_EQ(enabled.Status, CommandStatus::OpenInfoBox);
    EXPECT_EQ(rig.Frames(), (Strings{"read 2200 7", "write 2300 01", "write 6000 02 01"}));
    EXPECT_EQ(rig.RawFrames()[0], "5A A5 04 01 22 00 07 E8 04");
    EXPECT_EQ(rig.RawFrames()[2], "5A A5 06 02 60 00 02 02 01 C4 9E");
    EXPECT_EQ(rig.Timers.Log(), (Strings{"autoupdate off", "stop 2", "stop 1", "start 10"}));
    EXPECT_EQ(rig.State.AutoUpdate, 0);
    EXPECT_EQ(rig.Console.ProgressCount, 9);  // not cleared
    EXPECT_EQ(rig.Console.LastControlWord, control::kEnable);
    EXPECT_EQ(rig.Console.MotorEnabled, 1);
    EXPECT_EQ(rig.Display.Caption, "Disabled");
    EXPECT_TRUE(rig.Notices.Shown.empty());

    // Enabled again disables, without checks.
    SessionRig::Wait(2100);
    rig.Mark();
    EXPECT_EQ(motion::Enabled(rig.Ctx, 1).Status, CommandStatus::Done);
    EXPECT_EQ(rig.Frames(), Strings{"write 6000 02 00"});
    EXPECT_EQ(rig.Console.MotorEnabled, 0);
    EXPECT_EQ(rig.Display.Caption, "Enabled");
    EXPECT_TRUE(rig.Timers.Log().empty());

    // An initialised drive: the mode and the enable word, no Info box, no timer.
    rig.Mark();
    EXPECT_EQ(motion::Enabled(rig.Ctx, 1).Status, CommandStatus::Done);
    EXPECT_EQ(rig.Frames(), (Strings{"read 2200 7", "write 2300 01", "write 6000 02 01"}));
    EXPECT_TRUE(rig.Timers.Log().empty());
    EXPECT_EQ(rig.Console.MotorEnabled, 1);
}

TEST_F(MotionCommands, AFailedStepOfEnablingEndsIt) {
    const struct {
        const char* name;
        int mode;
        std::function<void(sim::SimulatedDrive&)> misbehave;
        Strings frames;
        const char* message;
    } cases[] = {
        {"state read",
         1,
         [](sim::SimulatedDrive& d) { d.AnswerWithResult(3, reg::kMatchingGroup, 1); },
         {"read 2200 7"},
         "Error Parameter address"},
        {"no mode selected",
         -1,
         [](sim::SimulatedDrive&) {},
         {"read 2200 7", "write 2300 FF"},
         "Error Command value"},
        {"enable word",
         0,
         [](sim::SimulatedDrive& d) { d.AnswerWithResult(6, reg::kControlWord, 1); },
         {"read 2200 7", "write 2300 00", "write 6000 02 01"},
         "Unable to process command"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rig.Mark();
        c.misbehave(*rig.Drive);
        const CommandResult r = motion::Enabled(rig.Ctx, c.mode);
        EXPECT_EQ(r.Status, CommandStatus::Failed);
        EXPECT_EQ(rig.Frames(), c.frames);
        EXPECT_EQ(rig.Notices.Texts(), Strings{c.message});
        EXPECT_TRUE(rig.Timers.Log().empty());
        EXPECT_EQ(rig.Console.MotorEnabled, 0);
    }
}

struct RunCase {
    const char* name;
    bool inversion;
    MotionEntries entries;
    Strings frames;
    Strings messages;
    CommandStatus status;
};

MotionEntries Entries(int mode, const char* current, const char* speed, const char* angle = "",
                      const char* position = "", const char* ratio = "1") {
    MotionEntries e;
    e.WorkModeIndex = mode;
    e.Current = current;
    e.Speed = speed;
    e.Angle = angle;
    e.Position = position;
    e.ReductionRatio = ratio;
    e.PositionTypeIndex = 0;
    return e;
}

TEST_F(MotionCommands, RunAndInversionSendTheSetpointOfTheModeThenTheRunWord) {
    EnableAndInitialise(1);
    rig.State.Params.Application.AppliedCurrentRating = 3.0f;  // as last read from 0x1100
    const char* kRun = "write 6000 03 00";
    const RunCase cases[] = {
        {"current at the rating",
         false,
         Entries(0, "3", ""),
         {"write 2301 40 40 00 00", kRun},
         {},
         CommandStatus::Done},
        {"current above the rating",
         false,
         Entries(0, "3.01", ""),
         {},
         {"Set Current，input overrun\nallowed band -3 up to 3"},
         CommandStatus::Refused},
        {"current reversed",
         true,
         Entries(0, "2.5", ""),
         {"write 2301 C0 20 00 00", kRun},
         {},
         CommandStatus::Done},
        {"speed truncated",
         false,
         Entries(1, "", "150.7"),
         {"write 2305 00 00 00 96 00 00 00 00", kRun},
         {},
         CommandStatus::Done},
        {"speed reversed",
         true,
         Entries(1, "", "150.7"),
         {"write 2305 FF FF FF 6A 00 00 00 00", kRun},
         {},
         CommandStatus::Done},
        {"speed above the maximum",
         false,
         Entries(1, "", "2500.5"),
         {},
         {"Set velocity，input overrun\nallowed band -2500 up to 2500"},
         CommandStatus::Refused},
        {"position",
         false,
         Entries(2, "", "150.7", "90", "16383"),
         {"write 2309 00 00 00 3F FF 00 00 00 96 00 00 00 00", kRun},
         {},
         CommandStatus::Done},
        {"position reversed",
         true,
         Entries(2, "", "150.7", "90", "16383"),
         {"write 2309 00 FF FF C0 01 00 00 00 96 00 00 00 00", kRun},
         {},
         CommandStatus::Done},
        {"position speed above the maximum",
         false,
         Entries(2, "", "-2501", "90", "16383"),
         {},
         {"Set velocity，input overrun\nallowed band -2500 up to 2500"},
         CommandStatus::Refused},
        {"angle beyond MaxPos",
         false,
         Entries(2, "", "100", "20000.5", "16383"),
         {},
         {"Set Position，input overrun\nallowed band -20000 up to 20000"},
         CommandStatus::Refused},
        {"no work mode selected",
         false,
         Entries(-1, "", "100"),
         {kRun},
         {"Invalid working mode"},
         CommandStatus::Done},
        {"ratio above 5001",
         false,
         Entries(1, "", "100", "", "", "5002"),
         {"write 2305 00 00 00 64 00 00 00 00"},
         {"Speed ratio, export transfinite number\nallowed band 0 up to 5001"},
         CommandStatus::Refused},
        {"ratio above 5001, no mode",
         false,
         Entries(-1, "", "100", "", "", "5002"),
         {},
         {"Invalid working mode",
          "Speed ratio, export transfinite number\nallowed band 0 up to 5001"},
         CommandStatus::Refused},
        {"inversion does not check the ratio",
         true,
         Entries(1, "", "100", "", "", "5002"),
         {"write 2305 FF FF FF 9C 00 00 00 00", kRun},
         {},
         CommandStatus::Done},
        {"ratio 5001 passes",
         false,
         Entries(1, "", "100", "", "", "5001"),
         {"write 2305 00 00 00 64 00 00 00 00", kRun},
         {},
         CommandStatus::Done},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        rig.Mark();
        const CommandResult r =
            c.inversion ? motion::Inversion(rig.Ctx, c.entries) : motion::Run(rig.Ctx, c.entries);
        EXPECT_EQ(r.Status, c.status);
        EXPECT_EQ(rig.Frames(), c.frames);
        EXPECT_EQ(rig.Notices.Texts(), c.messages);
        for (const auto& n : rig.Notices.Shown) {
            if (n.Text.find("allowed band") != std::string::npos) {
                EXPECT_EQ(n.Icon, NoticeIcon::Error);
            }
        }
        if (c.status == CommandStatus::Done) {
            EXPECT_EQ(rig.Console.LastControlWord, control::kRun);
        }
        rig.Console.LastControlWord = 0;
    }
    // What the set-points left in the console's fields.
    EXPECT_EQ(rig.Console.SpeedSetpointRpm, 100.0f);
    EXPECT_EQ(rig.Motion.SpeedSetpoint, 100);
    EXPECT_EQ(rig.Motion.SetpointExtra, 0);
}

TEST_F(MotionCommands, TheAngleBecomesThePulsesThatRunAndInversionSend) {
    EnableAndInitialise(2);
    MotionEntries e = Entries(2, "", "60", "90");
    e.EncoderValue = "65535";
    e.SetpointExtra = "7";
    e.PositionTypeIndex = 1;
    e.Position = std::to_string(UpdateAnglePulses(e.Angle, e.EncoderValue, e.ReductionRatio,
                                                  rig.Console, rig.State, rig.Motion));
    EXPECT_EQ(e.Position, "16383");
    ASSERT_EQ(motion::Run(rig.Ctx, e).Status, CommandStatus::Done);
    ASSERT_EQ(motion::Inversion(rig.Ctx, e).Status, CommandStatus::Done);
    EXPECT_EQ(rig.Frames(),
              (Strings{"write 2309 01 00 00 3F FF 00 00 00 3C 00 00 00 07", "write 6000 03 00",
                       "write 2309 01 FF FF C0 01 00 00 00 3C 00 00 00 07", "write 6000 03 00"}));
    EXPECT_EQ(rig.Motion.PositionSetpoint, -16383);
}

TEST_F(MotionCommands, ADriveRefusingTheSetpointEndsRun) {
    EnableAndInitialise(1);
    rig.Drive->AnswerWithResult(10, reg::kSpeedSetpoint, 1);
    const CommandResult r = motion::Run(rig.Ctx, Entries(1, "", "100"));
    EXPECT_EQ(r.Status, CommandStatus::Failed);
    EXPECT_EQ(r.Error, 0xFA);
    EXPECT_EQ(rig.Frames(), Strings{"write 2305 00 00 00 64 00 00 00 00"});
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Parameters of the overflow"});
}

TEST_F(MotionCommands, RunStopAndEmergencyStopNeedAnEnabledMotor) {
    const std::pair<const char*, std::function<CommandResult()>> refused[] = {
        {"run", [&] { return motion::Run(rig.Ctx, Entries(1, "", "100")); }},
        {"inversion", [&] { return motion::Inversion(rig.Ctx, Entries(1, "", "100")); }},
        {"stop", [&] { return motion::Stop(rig.Ctx); }},
        {"emergency stop", [&] { return motion::EmergencyStop(rig.Ctx); }},
    };
    for (const auto& [name, command] : refused) {
        SCOPED_TRACE(name);
        rig.Mark();
        EXPECT_EQ(command().Status, CommandStatus::Refused);
        EXPECT_EQ(rig.Notices.Texts(), Strings{"Motor not enabled"});
        EXPECT_TRUE(rig.Frames().empty());
    }

    EnableAndInitialise(1);
    ASSERT_EQ(motion::Run(rig.Ctx, Entries(1, "", "500")).Status, CommandStatus::Done);
    rig.Mark();
    EXPECT_EQ(motion::Stop(rig.Ctx).Status, CommandStatus::Done);
    EXPECT_EQ(rig.Console.LastControlWord, control::kStop);
    EXPECT_EQ(motion::EmergencyStop(rig.Ctx).Status, CommandStatus::Done);
    EXPECT_EQ(rig.Console.LastControlWord, control::kEmergencyStop);
    EXPECT_EQ(rig.Frames(), (Strings{"write 6000 03 01", "write 6000 03 02"}));
    EXPECT_EQ(rig.Console.MotorEnabled, 1);  // a stop word changes no display
    EXPECT_EQ(rig.Display.Caption, "Disabled");
}

TEST_F(MotionCommands, CorrectStartsTheCalibrationWithTheMotorDisabled) {
    RecordingBox entry;
    rig.Console.MotorEnabled = 1;
    EXPECT_EQ(motion::Correct(rig.Ctx, entry).Status, CommandStatus::Refused);
    EXPECT_EQ(rig.Notices.Texts(), Strings{"The motor is enabled"});
    EXPECT_TRUE(rig.Frames().empty());
    EXPECT_TRUE(rig.Timers.Log().empty());
    rig.Console.MotorEnabled = 0;

    rig.Mark();
    rig.State.AutoUpdate = 1;
    rig.Console.ProgressCount = 9;
    EXPECT_EQ(motion::Correct(rig.Ctx, entry).Status, CommandStatus::Done);
    EXPECT_EQ(rig.Frames(), (Strings{"write 120A", "read 1200 26"}));
    EXPECT_EQ(rig.Timers.Log(),
              (Strings{"autoupdate off", "stop 2", "start 1", "stop 1", "start 7"}));
    EXPECT_EQ(entry.Events, Strings{"text Is the calibration"});
    EXPECT_EQ(rig.Console.ProgressCount, 0);
    EXPECT_TRUE(rig.Notices.Shown.empty());

    // A refused calibration command is shown and Correct goes on (another model: 22 bytes).
    SessionRig::Wait(3100);
    rig.Mark();
    rig.State.ModelString = "KVD400";
    rig.Drive->AnswerWithResult(6, reg::kEncoderCalibration, 1);
    EXPECT_EQ(motion::Correct(rig.Ctx, entry).Status, CommandStatus::Done);
    EXPECT_EQ(rig.Frames(), (Strings{"write 120A", "read 1200 22"}));
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Unable to process command"});
    EXPECT_EQ(rig.Timers.Log(), (Strings{"stop 1", "start 7"}));

    // A failed status read ends it before the timer.
    rig.Mark();
    entry.Events.clear();
    rig.Drive->AnswerWithResult(2, reg::kLiveStatus, 1);
    EXPECT_EQ(motion::Correct(rig.Ctx, entry).Status, CommandStatus::Failed);
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Error Function code "});
    EXPECT_EQ(rig.Timers.Log(), Strings{"stop 1"});
    EXPECT_TRUE(entry.Events.empty());
}

TEST_F(MotionCommands, ResetWritesTheBareCommandAndStartsItsTimer) {
    rig.State.AutoUpdate = 1;
    const CommandResult r = motion::Reset(rig.Ctx);
    EXPECT_EQ(r.Status, CommandStatus::OpenInfoBox);
    EXPECT_EQ(rig.RawFrames(), Strings{"5A A5 04 02 50 01 00 08 09"});
    EXPECT_EQ(rig.Timers.Log(),
              (Strings{"autoupdate off", "stop 2", "start 1", "stop 1", "start 11"}));
    EXPECT_TRUE(rig.Notices.Shown.empty());
}

TEST_F(MotionCommands, EliminateMalfunctionClearsTheFaultWord) {
    rig.State.StatusFaultWord = 0x0010;
    EXPECT_EQ(motion::EliminateMalfunction(rig.Ctx).Status, CommandStatus::Done);
    EXPECT_EQ(rig.Frames(), Strings{"write 1202 00 00"});
    EXPECT_EQ(rig.State.StatusFaultWord, 0);

    rig.Mark();
    rig.State.StatusFaultWord = 0x0010;
    rig.Drive->AnswerWithResult(8, reg::kClearFaults, 1);
    EXPECT_EQ(motion::EliminateMalfunction(rig.Ctx).Status, CommandStatus::Failed);
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Parameters are read-only"});
    EXPECT_EQ(rig.State.StatusFaultWord, 0x0010);
}

TEST_F(MotionCommands, CanSettingsGoOutAsTypedWithoutReadBack) {
    const struct {
        const char* address;
        int baud;
        const char* frame;
    } cases[] = {
        {"141", 0, "write 0300 04 01"},  {"140", 1, "write 0300 05 00"},
        {"395", 0, "write 0300 04 FF"},  {"396", 0, "write 0300 04 00"},
        {"100", 1, "write 0300 05 D8"},  {"", 0, "write 0300 04 74"},
        {"141", -1, "write 0300 03 01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.address << "\" " << c.baud);
        rig.Mark();
        EXPECT_EQ(WriteCanSettings(rig.Ctx, c.address, c.baud).Status, CommandStatus::Done);
        EXPECT_EQ(rig.Frames(), Strings{c.frame});
        EXPECT_EQ(rig.State.CanAddressCode, EncodeCanAddress(c.address));
        EXPECT_EQ(rig.State.CanBaudCode, EncodeCanBaud(c.baud));
        EXPECT_TRUE(rig.Notices.Shown.empty());
    }
    // What the drive stored shows back as code + 140 at the next connection.
    ASSERT_EQ(rig.Link.ReadRegister(reg::kCanSettings, 2), kSuccess);
    EXPECT_EQ(rig.State.CanAddressCode + 140, 141);

    rig.Mark();
    rig.Drive->AnswerWithResult(5, reg::kCanSettings, 1);
    EXPECT_EQ(WriteCanSettings(rig.Ctx, "141", 0).Status, CommandStatus::Failed);
    EXPECT_EQ(rig.Notices.Texts(), Strings{"Error Command value"});
}

}  // namespace
}  // namespace torvane
