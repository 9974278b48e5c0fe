// torvane-cli autotune as a user runs it: the real program against the simulated drive on a
// pseudo-terminal, on a fast drive clock. What the drive's gain register holds afterwards, what
// it was sent, and that nothing reached its flash.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "protocol/drive_error.h"
#include "protocol/frame.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "sim/simulated_drive.h"
#include "support/cli_run.h"
#include "support/cli_sim_fixture.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;

using test::FloatsBE;
using test::Result;
using test::Slurp;

struct Gains {
    float P, I, D;
    bool operator==(const Gains&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Gains& g) {
    return os << g.P << "," << g.I << "," << g.D;
}

// The drive's own speed gains.
constexpr Gains kFactory{0.8f, 0.1f, 0};

// "P 1.2, I 0.3, D 0" as printed.
Gains ParseGains(const std::string& text) {
    Gains g{};
    std::sscanf(text.c_str(), "P %f, I %f, D %f", &g.P, &g.I, &g.D);
    return g;
}

struct Line {
    Gains G;
    double Iae = 0, Overshoot = 0;
    bool Settled = false;
};

// "...: P 1, I 2, D 0: IAE 45.6, overshoot 2.1 %, settled"
std::optional<Line> ParseLine(const std::string& text) {
    static const std::regex kScore(
        R"((P [^:]*): IAE ([0-9.e+-]+), overshoot ([0-9.e+-]+) %, (settled|not settled))");
    std::smatch m;
    if (!std::regex_search(text, m, kScore)) return std::nullopt;
    return Line{ParseGains(m[1]), std::stod(m[2]), std::stod(m[3]), m[4] == "settled"};
}

std::vector<std::string> LinesOf(const std::string& out) {
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(out.substr(at, nl - at));
    return lines;
}

class CliAutoTune : public test::CliLoopTestOnSimulatedDrive {
protected:
    CliAutoTune() : CliLoopTestOnSimulatedDrive("torvane-autotune") {}

    Gains DriveGains() {
        const LoopGroup g =
            drive->WithBehaviour([](sim::DriveBehaviour& b) { return b.Registers().Params.Loop; });
        return {g.SpeedLoopP, g.SpeedLoopI, g.SpeedLoopD};
    }
    LoopGroup StoredLoop() {
        return drive->WithBehaviour(
            [](sim::DriveBehaviour& b) { return b.StoredParameters().Loop; });
    }
    bool StoreRequested() const {
        for (const auto& r : drive->Requests()) {
            if (r.Function == 2 && r.Address == reg::kControlWord && r.Bytes.size() >= 9 &&
                r.Bytes[7] == 0x04 && r.Bytes[8] == 0x01)
                return true;
        }
        return false;
    }
    // The data of every write to `address`, in order.
    std::vector<std::vector<uint8_t>> Writes(RegisterAddress address) const {
        std::vector<std::vector<uint8_t>> out;
        for (const auto& r : drive->Requests()) {
            if (r.Function == 2 && r.Address == address)
                out.emplace_back(r.Bytes.begin() + 7, r.Bytes.begin() + 7 + r.Count);
        }
        return out;
    }

    // Starts the command in the background once the drive holds its loop tests, waits for the
    // first status poll; returns the child.
    pid_t StartHeld(const std::string& args) {
        drive->HoldLoopTests(true);
        const pid_t pid = fork();
        if (pid == 0) {
            const std::string cmd = Command(args) + " >" + (dir / "out").string() + " 2>" +
                                    (dir / "err").string() + " </dev/null";
            execl("/bin/sh", "sh", "-c", ("exec " + cmd).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        bool polled = false;
        for (int i = 0; i < 800 && !polled; ++i) {
            usleep(10000);
            for (const auto& q : drive->Requests()) polled |= q.Address == reg::kSpeedTestStatus;
        }
        EXPECT_TRUE(polled);
        return pid;
    }
    Result Wait(pid_t pid) {
        int raw = 0;
        EXPECT_EQ(waitpid(pid, &raw, 0), pid);
        return test::Collect(raw, dir);
    }
};

TEST_F(CliAutoTune, WholeRunsLeaveTheGainsTheyEndWith) {
    EnableMotor();
    const LoopGroup stored = StoredLoop();
    const struct {
        std::string args;
        bool restore;
    } cases[] = {
        {"autotune speed --out runs.txt", false},
        {"autotune speed --gains 2,1,0 --max-tests 6 --max-overshoot 8 --restore --out runs.txt",
         true},
    };
    size_t records = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        drive->WithBehaviour([](sim::DriveBehaviour& b) {
            const uint8_t gains[] = {0x3F, 0x4C, 0xCC, 0xCD, 0x3D, 0xCC, 0xCC, 0xCD, 0, 0, 0, 0};
            return b.Write(reg::kSpeedLoopGains, gains, sizeof gains);
        });
        ASSERT_EQ(DriveGains(), kFactory);
        drive->ClearRequests();
        const Result r = Run(c.args);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.err, "");

        const std::vector<std::string> lines = LinesOf(r.out);
        ASSERT_GE(lines.size(), 5u) << r.out;
        const int max = c.restore ? 6 : 30;
        const std::string start = c.restore ? "P 2, I 1, D 0" : "P 0.8, I 0.1, D 0";
        EXPECT_EQ(lines[0], "Auto-tune of the speed loop from " + start + ": at most " +
                                std::to_string(max) + " tests, overshoot at most " +
                                (c.restore ? "8" : "5") + " %");
        // One line per test, numbered from 1, the first with the start gains.
        std::vector<Line> tests;
        size_t at = 1;
        for (; at < lines.size() && lines[at].rfind("Test ", 0) == 0; ++at) {
            EXPECT_EQ(lines[at].rfind("Test " + std::to_string(tests.size() + 1) + ": P ", 0), 0u)
                << lines[at];
            const auto line = ParseLine(lines[at]);
            ASSERT_TRUE(line) << lines[at];
            tests.push_back(*line);
        }
        ASSERT_GE(tests.size(), 1u);
        EXPECT_LE(tests.size(), size_t(max));
        EXPECT_EQ(tests[0].G, ParseGains(start));
        // Every test wrote its gains to the gain register, and only there.
        const auto gainWrites = Writes(reg::kSpeedLoopGains);
        ASSERT_EQ(gainWrites.size(), tests.size() + 1);  // and the gains it ends with
        for (size_t k = 0; k < tests.size(); ++k) {
            const Gains& g = tests[k].G;
            EXPECT_EQ(gainWrites[k], FloatsBE({g.P, g.I, g.D}));
        }

        ASSERT_EQ(lines.size(), at + 4) << r.out;  // start, tuned, message, data file
        ASSERT_EQ(lines[at].rfind("Start: ", 0), 0u) << lines[at];
        ASSERT_EQ(lines[at + 1].rfind("Tuned: ", 0), 0u) << lines[at + 1];
        const Line first = *ParseLine(lines[at]);
        const Line tuned = *ParseLine(lines[at + 1]);
        EXPECT_EQ(first.G, tests[0].G);
        // The tuned gains were tested.
        EXPECT_TRUE(std::any_of(tests.begin(), tests.end(),
                                [&](const Line& t) { return t.G == tuned.G; }));
        const Gains expected = c.restore ? kFactory : tuned.G;
        EXPECT_EQ(DriveGains(), expected);
        EXPECT_EQ(gainWrites.back(), FloatsBE({expected.P, expected.I, expected.D}));
        if (c.restore) {
            EXPECT_EQ(lines[at + 2],
                      "The speed loop's original gains P 0.8, I 0.1, D 0 were written back.");
        } else {
            // From the factory gains the tuned response has less than half the error, within
            // the overshoot allowed, and is settled.
            EXPECT_LT(tuned.Iae, 0.5 * first.Iae) << r.out;
            EXPECT_LE(tuned.Overshoot, 5.0);
            EXPECT_TRUE(tuned.Settled);
            EXPECT_FALSE(tuned.G == first.G);
            EXPECT_EQ(lines[at + 2], "The speed loop keeps the tuned gains " +
                                         lines[at + 1].substr(7, lines[at + 1].find(": IAE") - 7) +
                                         "; they are not stored in the drive's flash.");
        }
        EXPECT_EQ(lines.back(), "Test data appended to runs.txt");
        // Every test's records, appended.
        records += tests.size() * 512;
        const std::string data = Slurp(dir / "runs.txt");
        size_t rows = 0;
        for (size_t p = data.find("\r\n"); p != std::string::npos; p = data.find("\r\n", p + 2))
            ++rows;
        EXPECT_EQ(rows, records);
        EXPECT_FALSE(StoreRequested());
        const LoopGroup now = StoredLoop();
        EXPECT_EQ(std::memcmp(&stored, &now, sizeof stored), 0);
    }
}

TEST_F(CliAutoTune, InterruptStopsTheTestAndPutsTheGainsBack) {
    EnableMotor();
    const pid_t pid = StartHeld("autotune speed --gains 2,1,0");
    ASSERT_GT(pid, 0);
    kill(pid, SIGINT);
    const Result r = Wait(pid);
    EXPECT_EQ(r.status, 130);
    EXPECT_EQ(r.err,
              "Auto-tune cancelled. The speed loop's original gains P 0.8, I 0.1, D 0 were "
              "written back.\n");
    // The test's stop word, then the original gains.
    const auto words = Writes(reg::kControlWord);
    ASSERT_GE(words.size(), 2u);
    EXPECT_EQ(words.back(), (std::vector<uint8_t>{0x06, 0x00}));
    const auto gains = Writes(reg::kSpeedLoopGains);
    ASSERT_EQ(gains.size(), 2u);
    EXPECT_EQ(gains[0], FloatsBE({2, 1, 0}));
    EXPECT_EQ(gains[1], FloatsBE({kFactory.P, kFactory.I, kFactory.D}));
    // Requests() is a copy: keep it while its last element is looked at.
    const auto requests = drive->Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().Address, reg::kSpeedLoopGains);
    EXPECT_EQ(DriveGains(), kFactory);
    EXPECT_FALSE(StoreRequested());
}

TEST_F(CliAutoTune, DriveLostNamesTheGainsItMayHold) {
    EnableMotor();
    const pid_t pid = StartHeld("autotune speed --gains 2,1,0");
    ASSERT_GT(pid, 0);
    drive->HangUp();
    const Result r = Wait(pid);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Serial port lost\n"
              "Device no response\n"
              "Auto-tune stopped: the drive does not answer. The speed loop may still hold the "
              "gains of test 1: P 2, I 1, D 0.\n");
    EXPECT_EQ(DriveGains(), (Gains{2, 1, 0}));
    EXPECT_FALSE(StoreRequested());
}

TEST_F(CliAutoTune, FailedTestEndsTheRunWithTheOriginalGains) {
    EnableMotor();
    // The drive answers the status poll with an error: the test may still run.
    drive->AnswerWithResult(6, reg::kSpeedTestStatus);
    const Result r = Run("autotune speed --gains 2,1,0");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string(DriveErrorText(DriveErrorFromNibble(6))) +
                         "\nAuto-tune stopped: test 1 failed. The speed loop's original gains "
                         "P 0.8, I 0.1, D 0 were written back.\n");
    const auto words = Writes(reg::kControlWord);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0], (std::vector<uint8_t>{0x06, 0x01}));
    EXPECT_EQ(words[1], (std::vector<uint8_t>{0x06, 0x00}));
    EXPECT_EQ(DriveGains(), kFactory);
}

TEST_F(CliAutoTune, RefusalsAndUsageErrors) {
    // The Test button's preconditions: nothing is written.
    Result r = Run("autotune speed");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "The motor is not enabled\n");
    EnableMotor();
    r = Run("autotune speed --speed 99999");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Set speed\xEF\xBC\x8Cinput overrun\n", 0), 0u) << r.err;
    for (const auto& q : drive->Requests()) EXPECT_EQ(q.Function, 1);

    for (const char* args :
         {"autotune", "autotune torque", "autotune speed --max-tests 0",
          "autotune speed --max-tests 1001", "autotune speed --max-tests two",
          "autotune speed --max-overshoot -1", "autotune speed --max-overshoot 101",
          "autotune speed --amplitude 2", "autotune speed --restore yes",
          "autotune speed --gains 1,2"}) {
        EXPECT_TRUE(test::IsUsageError(Run(args))) << args;
    }
    r = Run("help autotune");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--max-overshoot PCT"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("exit 130"), std::string::npos);
}

}  // namespace
}  // namespace torvane
