// torvane-cli's motion commands as a user runs them: the real program against the simulated
// drive on a pseudo-terminal (in this process, unpaced; its timed behaviours on this program's
// time scale). The drive's request log shows the frames each command wrote.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "sim/simulated_drive.h"
#include "support/cli_run.h"
#include "support/cli_sim_fixture.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

using test::Result;
using test::Slurp;

std::string Hex(uint32_t value, int digits) {
    static const char* kDigits = "0123456789ABCDEF";
    std::string s(static_cast<size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        s[static_cast<size_t>(i)] = kDigits[value & 0xF];
    return s;
}

class CliMotion : public test::CliOnSimulatedDrive {
protected:
    CliMotion() : CliOnSimulatedDrive("torvane-cli-motion") {}
    static void SetUpTestSuite() { SetTimeScale(0.05); }
    static void TearDownTestSuite() { SetTimeScale(1.0); }

    // Runs torvane-cli on the drive's port; the request log is marked first.
    Result Run(const std::string& args) {
        mark = drive->RequestCount();
        return RunWithoutPort("--port " + drive->SlavePath() + " " + args);
    }
    Result RunWithoutPort(const std::string& args) {
        return test::RunCommand(std::string(TORVANE_CLI) + " " + args, dir);
    }

    // The requests of the last Run, one line each ("read 2200 7", "write 6000 02 01").
    Strings Frames() const {
        Strings lines;
        const auto log = drive->Requests();
        for (size_t i = mark; i < log.size(); ++i) {
            const auto& r = log[i];
            if (r.Function == kFunctionRead) {
                lines.push_back("read " + Hex(r.Address, 4) + " " + std::to_string(r.Count));
                continue;
            }
            std::string line = "write " + Hex(r.Address, 4);
            for (size_t k = kDataOffset; k + 2 < r.Bytes.size(); ++k)
                line += " " + Hex(r.Bytes[k], 2);
            lines.push_back(line);
        }
        return lines;
    }
    // The frames of the last Run with repeated trailing polls of `poll` dropped.
    Strings FramesWithout(const std::string& poll) const {
        Strings lines;
        for (const std::string& f : Frames()) {
            if (f != poll) lines.push_back(f);
        }
        return lines;
    }

    template <class Fn>
    auto OnDrive(Fn&& fn) {
        return drive->WithBehaviour(std::forward<Fn>(fn));
    }

    size_t mark = 0;
};

TEST_F(CliMotion, UsageErrorsExitWith2) {
    const char* cases[] = {
        "mode bogus",      "mode speed current",
        "enable fast",     "run",
        "run abc",         "run 1 2",
        "run 1 --type up", "run 1 --speed fast",
        "run 1 --bogus",   "run 1 --ratio",
        "can 141",         "can 141 250",
        "can x 500",       "can 141 500 1",
        "stop now",        "disable 1",
        "reset 2",         "calibrate x",
        "clear-faults 0",  "estop 1",
    };
    for (const char* args : cases) {
        const Result r = Run(args);
        EXPECT_TRUE(test::IsUsageError(r)) << args;
    }
    EXPECT_EQ(drive->RequestCount(), 0u);
    EXPECT_TRUE(test::IsUsageError(RunWithoutPort("enable speed")));
}

// The whole session of the README: enable in speed mode, run, watch, stop, disable.
TEST_F(CliMotion, AWholeSession) {
    Result r = Run("enable speed");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Initializing,please wait...\nInitialization is complete, please close\n");
    EXPECT_EQ(r.err, "");
    Strings frames = Frames();
    ASSERT_GE(frames.size(), 5u);
    EXPECT_EQ(Strings(frames.begin(), frames.begin() + 5),
              Strings({"read 2200 7", "read 2200 7", "write 2300 01", "write 6000 02 01",
                       "read 2200 7"}));
    EXPECT_EQ(FramesWithout("read 2200 7"), Strings({"write 2300 01", "write 6000 02 01"}));

    r = Run("run 1000");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(Frames(), Strings({"read 1200 6", "read 2300 18", "read 1100 37",
                                 "write 2305 00 00 03 E8 00 00 00 00", "write 6000 03 00"}));

    // The speed follows its set-point with a lag of 0.2 s of drive time.
    for (int i = 0; i < 400 && OnDrive([](sim::DriveBehaviour& d) { return d.SpeedRpm(); }) < 995;
         ++i) {
        usleep(10000);
    }
    r = Run("status");
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t at = r.out.find("Current Speed: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const int speed = std::atoi(r.out.c_str() + at + 15);
    EXPECT_GE(speed, 995) << r.out;
    EXPECT_LE(speed, 1000) << r.out;
    EXPECT_NE(r.out.find("Motor State: Enabled motor"), std::string::npos) << r.out;

    r = Run("mode");
    EXPECT_EQ(r.out, "WorkMode: speed\nSpeed: 1000\n");

    r = Run("stop");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Frames(), Strings({"read 1200 6", "write 6000 03 01"}));

    r = Run("disable");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Frames(), Strings{"write 6000 02 00"});
    EXPECT_FALSE(OnDrive([](sim::DriveBehaviour& d) { return d.Enabled(); }));

    // Disabled: motion is refused before anything is sent.
    for (const char* command : {"run 100", "stop", "estop"}) {
        r = Run(command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err, "Motor not enabled\n") << command;
        EXPECT_EQ(Frames(), Strings{"read 1200 6"}) << command;
    }
}

TEST_F(CliMotion, ModeReadsAndWrites) {
    Result r = Run("mode");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "WorkMode: speed\nSpeed: 0\n");
    EXPECT_EQ(Frames(), Strings{"read 2300 18"});

    r = Run("mode current mode");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "WorkMode: current\nCurrent: 0\n");
    EXPECT_EQ(Frames(), Strings({"write 2300 00", "read 2300 18"}));

    r = Run("mode position mode");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "WorkMode: position\nPosition Type: absolute\nPosition: 0\nSpeed: 0\n");

    // A refused write is the drive's error.
    drive->AnswerWithResult(5, reg::kWorkMode, 1);
    r = Run("mode speed");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err, "");
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

TEST_F(CliMotion, RunInEachMode) {
    // The set-point of the drive's mode from VALUE; the ratio check of Run; Inversion with
    // --reverse.
    struct Case {
        const char* args;
        Strings writes;  // after the three reads
        int status;
        const char* err;
    };
    const Case cases[] = {
        {"mode current enable run 2.5", {"write 2301 40 20 00 00", "write 6000 03 00"}, 0, ""},
        {"run 2.5 --reverse", {"write 2301 C0 20 00 00", "write 6000 03 00"}, 0, ""},
        {"run 5.01", {}, 1, "Set Current，input overrun\nallowed band -5 up to 5\n"},
        {"run 1 --ratio 5002",
         {"write 2301 3F 80 00 00"},
         1,
         "Speed ratio, export transfinite number\nallowed band 0 up to 5001\n"},
        {"run -1 --reverse --ratio 5002", {"write 2301 3F 80 00 00", "write 6000 03 00"}, 0, ""},
        {"disable mode speed enable run 150.7",
         {"write 2305 00 00 00 96 00 00 00 00", "write 6000 03 00"},
         0,
         ""},
        {"run 2600", {}, 1, "Set velocity，input overrun\nallowed band -2500 up to 2500\n"},
        // 90 x 65535 x 1 / 360 = 16383 pulses.
        {"stop disable mode position enable run 90 --speed 150",
         {"write 2309 00 00 00 3F FF 00 00 00 96 00 00 00 00", "write 6000 03 00"},
         0,
         ""},
        // 90 x 4096 x 2 / 360 = 2048 pulses, reversed.
        {"run 90 --reverse --type relative --ratio 2 --encoder 4096",
         {"write 2309 01 FF FF F8 00 00 00 00 00 00 00 00 00", "write 6000 03 00"},
         0,
         ""},
        {"run 20000.5", {}, 1,
         "Set Position，input overrun\nallowed band -20000 up to 20000\n"},
    };
    for (const Case& c : cases) {
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_EQ(r.err, c.err) << c.args;
        Strings frames = FramesWithout("read 2200 7");
        // Only the run command's own frames: from its motor-state read on.
        size_t from = 0;
        for (size_t i = 0; i < frames.size(); ++i) {
            if (frames[i] == "read 1200 6") from = i;
        }
        const Strings reads = {"read 1200 6", "read 2300 18", "read 1100 37"};
        ASSERT_GE(frames.size(), from + 3) << c.args;
        EXPECT_EQ(Strings(frames.begin() + static_cast<long>(from),
                          frames.begin() + static_cast<long>(from) + 3),
                  reads)
            << c.args;
        EXPECT_EQ(Strings(frames.begin() + static_cast<long>(from) + 3, frames.end()), c.writes)
            << c.args;
    }
}

TEST_F(CliMotion, EnableOnAnUnmatchedOrInitialisedDrive) {
    // Not matched: refused after the state read.
    OnDrive([](sim::DriveBehaviour& d) {
        const uint8_t unmatched[7] = {0, 1, 1, 0, 0, 0, 0};
        return d.Write(reg::kMatchingGroup, unmatched, sizeof unmatched);
    });
    Result r = Run("enable speed");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Motor does not match\n");
    EXPECT_EQ(Frames(), Strings{"read 2200 7"});

    // Initialised: the mode (the drive's present one) and the enable word, nothing to follow.
    OnDrive([](sim::DriveBehaviour& d) {
        const uint8_t ready[7] = {1, 1, 1, 1, 0, 0, 0};
        return d.Write(reg::kMatchingGroup, ready, sizeof ready);
    });
    r = Run("enable");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(Frames(), Strings({"read 2200 7", "read 2300 18", "read 2200 7", "write 2300 01",
                                 "write 6000 02 01"}));

    // A refused enable word is the drive's error, exit 1.
    ASSERT_EQ(Run("disable").status, 0);
    drive->AnswerWithResult(6, reg::kControlWord, 1);
    r = Run("enable position");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(Frames(),
              Strings({"read 2200 7", "read 2200 7", "write 2300 02", "write 6000 02 01"}));
}

TEST_F(CliMotion, CalibrateFollowsToCalibrated) {
    Result r = Run("calibrate");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Is the calibration\nCalibrating\nCalibrated\n");
    EXPECT_EQ(r.err, "");
    const Strings frames = Frames();
    ASSERT_GE(frames.size(), 5u);
    EXPECT_EQ(
        Strings(frames.begin(), frames.begin() + 5),
        Strings({"read 2100 34", "read 1200 6", "write 120A", "read 1200 26", "read 2200 7"}));

    // Refused while the motor is enabled; nothing written.
    ASSERT_EQ(Run("enable speed").status, 0);
    r = Run("calibrate");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "The motor is enabled\n");
    EXPECT_EQ(Frames(), Strings({"read 2100 34", "read 1200 6"}));
}

TEST_F(CliMotion, ResetWaitsItsTwoAndAHalfSeconds) {
    const Result r = Run("reset");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Initializing,please wait...\nReset is complete, please close\n");
    EXPECT_EQ(Frames(), Strings{"write 5001"});
}

TEST_F(CliMotion, ClearFaults) {
    drive->RaiseFault(0x0014);
    Result r = Run("clear-faults");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "No Error\n");
    EXPECT_EQ(Frames(), Strings{"write 1202 00 00"});
    EXPECT_EQ(OnDrive([](sim::DriveBehaviour& d) { return d.Faults(); }), 0);

    drive->AnswerWithResult(3, reg::kClearFaults, 1);
    r = Run("clear-faults");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(r.err.empty());
}

TEST_F(CliMotion, CanReadsAndWritesWithTheConsolesEncodings) {
    Result r = Run("can");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "CAN Address: 141\nCAN Baud Rate: 500\n");
    EXPECT_EQ(Frames(), Strings{"read 0300 2"});

    struct Case {
        const char* address;
        const char* baud;
        const char* frame;
        const char* shown;
    };
    const Case cases[] = {
        {"141", "500", "write 0300 04 01", "CAN Address: 141\nCAN Baud Rate: 500\n"},
        {"140", "1000", "write 0300 05 00", "CAN Address: 140\nCAN Baud Rate: 1000\n"},
        {"395", "500", "write 0300 04 FF", "CAN Address: 395\nCAN Baud Rate: 500\n"},
        {"396", "500", "write 0300 04 00", "CAN Address: 140\nCAN Baud Rate: 500\n"},
        {"100", "1000", "write 0300 05 D8", "CAN Address: 356\nCAN Baud Rate: 1000\n"},
    };
    for (const Case& c : cases) {
        r = Run(std::string("can ") + c.address + " " + c.baud);
        EXPECT_EQ(r.status, 0) << c.address << r.err;
        EXPECT_EQ(r.out + r.err, "") << c.address;
        // No read-back.
        EXPECT_EQ(Frames(), Strings{c.frame}) << c.address;
        r = Run("can");
        EXPECT_EQ(r.out, c.shown) << c.address;
    }

    // A baud code the list does not hold: the message, and the read counts as done.
    ASSERT_EQ(Run("write 0300 03 01").status, 0);
    r = Run("can");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "CAN Address: 141\n");
    EXPECT_EQ(r.err, "Wrong CAN baud rate\n");
}

TEST_F(CliMotion, HelpListsTheMotionCommands) {
    const Result r = RunWithoutPort("--help");
    EXPECT_EQ(r.status, 0);
    for (const char* name : {"  mode [MODE]", "  enable [MODE]", "  disable", "  stop", "  estop",
                             "  run VALUE [OPTIONS]", "  reset", "  calibrate", "  clear-faults",
                             "  can [ADDRESS BAUD]"}) {
        EXPECT_NE(r.out.find(name), std::string::npos) << name;
    }
}

}  // namespace
}  // namespace torvane
