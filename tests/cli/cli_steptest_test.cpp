// torvane-cli steptest as a user runs it: the real program against the simulated drive on a
// pseudo-terminal. The drive runs here on a fast clock; the program polls at its own 500 ms.
#include <signal.h>
#include <sys/wait.h>
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

using test::FloatsBE;
using test::Result;
using test::Slurp;

struct Request {
    uint8_t Function;
    RegisterAddress Address;
    uint8_t Count;
    std::vector<uint8_t> Data;
    bool operator==(const Request&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Request& r) {
    os << (r.Function == 1 ? "R " : "W ") << std::hex << r.Address << " " << std::dec
       << int(r.Count);
    for (uint8_t b : r.Data) os << " " << std::hex << int(b) << std::dec;
    return os;
}

class CliStepTest : public test::CliLoopTestOnSimulatedDrive {
protected:
    CliStepTest() : CliLoopTestOnSimulatedDrive("torvane-steptest") {}

    std::vector<Request> Requests() const {
        std::vector<Request> out;
        for (const auto& r : drive->Requests()) {
            Request q{r.Function, r.Address, r.Count, {}};
            if (r.Function == 2) q.Data.assign(r.Bytes.begin() + 7, r.Bytes.begin() + 7 + r.Count);
            out.push_back(q);
        }
        return out;
    }
};

TEST_F(CliStepTest, RunsEachTestAndPrintsItsFigures) {
    EnableMotor();
    const struct {
        std::string args;
        std::string gainsLine;
        RegisterAddress gains, params, status, length;
        std::vector<uint8_t> gainBytes, paramBytes;
        uint16_t start;
        size_t bytes;
    } cases[] = {
        {"steptest current --gains 3,2,0 --amplitude 1.5 --out cur.txt",
         "Gains: P 3, I 2, D 0",
         0x2000,
         0x2401,
         0x2400,
         0x2408,
         FloatsBE({3, 2, 0}),
         {0x00, 0x3F, 0xC0, 0x00, 0x00, 0x00, 0x00},
         0x0501,
         4096},
        // No --gains: the drive's present gains, read first.
        {"steptest speed --speed 662.9 --out speed.txt",
         "Gains: P 0.8, I 0.1, D 0",
         0x200C,
         0x2501,
         0x2500,
         0x2505,
         FloatsBE({0.8f, 0.1f, 0}),
         {0x00, 0x00, 0x02, 0x96},
         0x0601,
         8192},
        {"steptest position --gains 2,0,0.1 --target -90 --encoder 4096 --ratio 10 --max-speed "
         "1200 --out pos.txt",
         "Gains: P 2, I 0, D 0.1",
         0x2018,
         0x2601,
         0x2600,
         0x2611,
         FloatsBE({2, 0, 0.1f}),
         {0x00, 0x00, 0x03, 0xE8, 0, 0, 0, 0, 0x00, 0x00, 0x04, 0xB0, 0xFF, 0xFF, 0xD8, 0x00},
         0x0701,
         8192},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        drive->ClearRequests();
        const Result r = Run(c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.gainsLine + "\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Test completed and reading data……\n"), std::string::npos);
        EXPECT_NE(r.out.find("Records: 512\nRise time (10-90 %): "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Integral of absolute error: "), std::string::npos);
        const std::string file = c.args.substr(c.args.rfind(' ') + 1);
        EXPECT_NE(r.out.find("Test data appended to " + file + "\n"), std::string::npos);
        const std::string data = Slurp(dir / file);
        size_t lines = 0;
        for (size_t at = data.find("\r\n"); at != std::string::npos; at = data.find("\r\n", at + 2))
            ++lines;
        EXPECT_EQ(lines, 512u);

        // The reads the checks need, the gains (when not given), the start request, the polls,
        // the length and the blocks.
        std::vector<Request> expected = {
            {1, 0x1000, 17, {}}, {1, 0x1100, 37, {}}, {1, 0x2200, 7, {}}, {1, 0x1200, 6, {}}};
        if (c.args.find("--gains") == std::string::npos) expected.push_back({1, c.gains, 12, {}});
        expected.push_back({2, c.gains, 12, c.gainBytes});
        expected.push_back({2, c.params, uint8_t(c.paramBytes.size()), c.paramBytes});
        expected.push_back({2, 0x6000, 2, {uint8_t(c.start >> 8), uint8_t(c.start)}});
        const std::vector<Request> got = Requests();
        ASSERT_GT(got.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(got[i], expected[i]) << i;
        size_t at = expected.size();
        while (at < got.size() && got[at] == Request{1, c.status, 1, {}}) ++at;
        EXPECT_GT(at, expected.size());
        ASSERT_LT(at, got.size());
        EXPECT_EQ(got[at++], (Request{1, c.length, 2, {}}));
        for (size_t offset = 0; offset < c.bytes; offset += 128)
            EXPECT_EQ(got[at++], (Request{1, RegisterAddress(0x8000 + offset), 128, {}}));
        EXPECT_EQ(at, got.size());
    }
}

TEST_F(CliStepTest, BetterGainsPrintBetterFigures) {
    EnableMotor();
    auto riseTime = [](const std::string& out) {
        const std::string key = "Rise time (10-90 %): ";
        const size_t at = out.find(key);
        return at == std::string::npos ? -1.0 : std::strtod(out.c_str() + at + key.size(), nullptr);
    };
    const Result soft = Run("steptest speed --out a.txt");
    const Result tuned = Run("steptest speed --gains 3,1.5,0 --out b.txt");
    ASSERT_EQ(soft.status, 0) << soft.err;
    ASSERT_EQ(tuned.status, 0) << tuned.err;
    EXPECT_GT(riseTime(tuned.out), 0);
    EXPECT_LT(riseTime(tuned.out), 0.6 * riseTime(soft.out)) << soft.out << tuned.out;
}

TEST_F(CliStepTest, RefusalsAndFailuresExitWith1) {
    // Not enabled: the page's message, nothing written.
    Result r = Run("steptest speed");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "The motor is not enabled\n");
    for (const Request& q : Requests()) EXPECT_EQ(q.Function, 1) << q;

    EnableMotor();
    const struct {
        std::string args;
        std::string err;
    } refused[] = {
        {"steptest current --gains 6,0,0",
         "P value of current loop\xEF\xBC\x8Cinput overrun \n allowed band Greater than 0  and "
         "less than 5\n"},
        {"steptest position --target 20001",
         "Target position\xEF\xBC\x8Cinput overrun\nallowed band -20000 up to "
         "20000\n"},
        {"steptest current --amplitude 0.79",
         "Current amplitude\xEF\xBC\x8Cinput overrun\nallowed band 0.8 up to 5\n"},
    };
    for (const auto& c : refused) {
        drive->ClearRequests();
        r = Run(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
        for (const Request& q : Requests()) EXPECT_EQ(q.Function, 1) << c.args << ": " << q;
    }

    // The drive answers the status read with an error: the box's failure, exit 1.
    drive->AnswerWithResult(3, reg::kSpeedTestStatus);
    r = Run("steptest speed");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Test error, please close……\n"), std::string::npos) << r.err;
    drive->ClearMisbehaviour();

    // Usage errors.
    for (const char* args : {"steptest", "steptest torque", "steptest speed --amplitude 2",
                             "steptest current "
                             "--gains 1,2",
                             "steptest speed --gains 1,x,0", "steptest position --target ninety",
                             "steptest speed --out"}) {
        EXPECT_TRUE(test::IsUsageError(Run(args))) << args;
    }
}

TEST_F(CliStepTest, InterruptSendsTheStopWord) {
    EnableMotor();
    // A slow drive clock: the test does not end while the program polls.
    SetTimeScale(100);
    const fs::path out = dir / "out", err = dir / "err";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const std::string cmd =
            Command("steptest speed") + " >" + out.string() + " 2>" + err.string() + " </dev/null";
        execl("/bin/sh", "sh", "-c", ("exec " + cmd).c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait for the first status poll (the program's own 500 ms), then Ctrl-C.
    bool polled = false;
    for (int i = 0; i < 400 && !polled; ++i) {
        usleep(25000);
        for (const auto& q : drive->Requests()) polled |= q.Address == reg::kSpeedTestStatus;
    }
    ASSERT_TRUE(polled);
    kill(pid, SIGINT);
    int raw = 0;
    ASSERT_EQ(waitpid(pid, &raw, 0), pid);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_NE(Slurp(err).find("Test cancelled"), std::string::npos);
    const std::vector<Request> got = Requests();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), (Request{2, 0x6000, 2, {0x06, 0x00}}));
}

}  // namespace
}  // namespace torvane
