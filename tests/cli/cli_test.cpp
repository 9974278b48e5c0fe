// torvane-cli as a user runs it: the real program against a peer on a pseudo-terminal.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "protocol/drive_error.h"
#include "protocol/register_map.h"
#include "sim/simulated_drive.h"
#include "support/cli_run.h"
#include "support/scripted_peer.h"

namespace torvane {
namespace {

using test::Bytes;
using test::Chunk;
using test::ReplyFrame;
using test::ScriptedPeer;
namespace fs = std::filesystem;

using test::Result;
using test::Slurp;

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::TestFolder("torvane-cli");
    }
    void TearDown() override { fs::remove_all(dir); }

    Result Run(const std::string& args, const std::string& env = "") {
        return test::RunCommand(env + " " TORVANE_CLI " " + args, dir);
    }
    std::string Port() { return "--port " + peer.SlavePath() + " "; }

    fs::path dir;
    ScriptedPeer peer;
};

TEST_F(CliTest, UsageErrorsExitWith2) {
    const char* cases[] = {
        "",                        // no command
        "frobnicate",              // unknown command
        "--port",                  // option without value
        "--parity mark status",    // bad parity
        "--stop-bits 3 status",
        "--baud fast status",
        "read 2100",               // COUNT missing
        "read 12345 2",            // address above 0xFFFF
        "read 0x2100 300",         // more than a frame holds
        "write 6000 1FF",          // not a byte
        "capture 2100",            // not a count register
        "status",                  // needs --port
    };
    for (const char* args : cases) {
        const Result r = Run(args);
        EXPECT_TRUE(test::IsUsageError(r)) << args;
    }
    EXPECT_EQ(Run("--help").status, 0);
}

TEST_F(CliTest, APortThatCannotBeOpenedExitsWith3AndSaysWhy) {
    const Result r = Run("--port /dev/torvane-missing status");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
}

TEST_F(CliTest, ReadPrintsTheBytesAndTheFields) {
    peer.AnswerReads([](RegisterAddress a, uint8_t) {
        return a == reg::kCanSettings ? Bytes{0x04, 0x01} : Bytes{};
    });
    const Result r = Run(Port() + "read 0300 2");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "04 01\nCAN Baud Code: 4 (500)\nCAN Address: 141\n");
    ASSERT_EQ(peer.Requests().size(), 1u);
    EXPECT_EQ(HexBytes(peer.Requests()[0].data(), 9), "5A A5 04 01 03 00 02 78 0D");
}

TEST_F(CliTest, CommandsRunInOrderAndStopAtTheFirstFailure) {
    peer.SetResponder([](const Bytes& req) -> std::vector<Chunk> {
        const RegisterAddress a = static_cast<RegisterAddress>(req[4] << 8 | req[5]);
        if (a == 0x6000) return {{{}, ReplyFrame(a, 2, {}, 2)}};  // the drive refuses
        if (req[3] == 1) return {{{}, ReplyFrame(a, 1, Bytes(req[6], 0))}};
        return {{{}, ReplyFrame(a, 2, {})}};
    });
    Result r = Run(Port() + "write 0x1202 00 00 write 6000 03 00 read 2400 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error Function code \n");
    auto reqs = peer.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(HexBytes(reqs[0].data(), 9), "5A A5 06 02 12 02 02 00 00");
    EXPECT_EQ(HexBytes(reqs[1].data(), 9), "5A A5 06 02 60 00 02 03 00");

    r = Run("--keep-going " + Port() + "write 6000 03 00 read 2400 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(peer.Requests().size(), 4u);
    EXPECT_NE(r.out.find("CurrentTestStatus: 0"), std::string::npos) << r.out;
}

TEST_F(CliTest, StatusShowsModelStateAndFaults) {
    peer.AnswerReads([](RegisterAddress a, uint8_t count) {
        Bytes d(count, 0);
        if (a == reg::kIdentification) {
            const std::string id = "TV-0001?", model = "KVD417?";
            std::copy(id.begin(), id.end(), d.begin());
            std::copy(model.begin(), model.end(), d.begin() + 16);
        }
        if (a == reg::kLiveStatus) {
            d[0] = 31;
            d[1] = 1;
            d[3] = 0x05;  // faults 0 and 2
            PutFloatBE(d.data() + 18, 48.5f);
        }
        return d;
    });
    const Result r = Run(Port() + "status");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Model: KVD417\nMotor State: Enabled motor\nFault Code: 0x0005\n"
              "  Hard case overflow recovery position\n  Undervoltage error\n"
              "Motor Temperature: 31\nBusbar Voltage: 48.5\nPhase Current Amplitude: 0\n"
              "Current Speed: 0\nMotor Position: 0\n");
    EXPECT_EQ(peer.Requests().at(1)[6], 26);  // the long-status model reads 26 bytes
}

TEST_F(CliTest, CaptureWritesTheFileAndTraceShowsTheFrames) {
    peer.AnswerReads([](RegisterAddress a, uint8_t count) {
        if (a == reg::kCurrentTestLength) return Bytes{0x01, 0x00};  // 256 bytes waiting
        Bytes d(count);
        for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>(a - 0x8000 + i);
        return d;
    });
    const fs::path file = dir / "capture.bin";
    const Result r = Run(Port() + "capture 2408 " + file.string(), "TORVANE_TRACE=1");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string bytes = Slurp(file);
    ASSERT_EQ(bytes.size(), 256u);
    EXPECT_EQ(static_cast<uint8_t>(bytes[200]), 200);
    // Three transactions, each a sent and a received line with a time stamp.
    size_t tx = 0, rx = 0;
    std::istringstream lines(r.err);
    for (std::string line; std::getline(lines, line);) {
        tx += line.find(" TX 5A A5 04 01") != std::string::npos;
        rx += line.find(" RX 5A A5") != std::string::npos;
    }
    EXPECT_EQ(tx, 3u);
    EXPECT_EQ(rx, 3u);
}

// The program of the README against the simulated drive: the two talk out of the box.
TEST_F(CliTest, TalksToTheSimulatedDrive) {
    sim::SimOptions options;
    options.Pacing = false;
    sim::SimulatedDrive drive(options);
    std::string error;
    ASSERT_TRUE(drive.Start(&error)) << error;
    const std::string port = "--port " + drive.SlavePath() + " ";

    Result r = Run(port + "status");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Model: KVD417\nMotor State: Disable motor\nFault Code: no error\n", 0), 0u)
        << r.out;

    // Enable, then read the state back, in one connection; a motion command while disabled is
    // refused with the drive's own code.
    r = Run(port + "write 6000 02 00 write 6000 03 00");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Motor not enabled\n");
    r = Run(port + "write 6000 02 01 read 1200 6");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Motor State: 1"), std::string::npos) << r.out;
}

// Which stream each kind of message reaches: information on standard output, errors on
// standard error; the help on standard output; a usage error as its one line and a pointer to
// the help.
TEST_F(CliTest, EachMessageGoesToItsStream) {
    sim::SimOptions options;
    options.Pacing = false;
    sim::SimulatedDrive drive(options);
    std::string error;
    ASSERT_TRUE(drive.Start(&error)) << error;
    const std::string port = "--port " + drive.SlavePath() + " ";
    const std::string kTry = "Try 'torvane-cli --help'\n";
    const std::string runUsage = "usage: torvane-cli --port PATH run VALUE [OPTIONS]\n";
    const struct {
        const char* kind;
        std::string args;
        int status;
        std::string outStart;  // standard output begins with it (the whole output when short)
        std::string err;       // standard error, exactly
    } cases[] = {
        {"--help", "--help", 0, "usage: torvane-cli [--port PATH]", ""},
        {"help", "help", 0, "usage: torvane-cli [--port PATH]", ""},
        {"help COMMAND", "help run", 0, runUsage, ""},
        {"COMMAND --help", "run --help", 0, runUsage, ""},
        {"COMMAND --help with a port", port + "status --help", 0,
         "usage: torvane-cli --port PATH status\n", ""},
        {"help for an unknown command", "help frobnicate", 2, "",
         "torvane-cli: unknown command: frobnicate\n" + kTry},
        {"unknown command", "frobnicate", 2, "",
         "torvane-cli: unknown command: frobnicate\n" + kTry},
        {"bad argument", "read 2100", 2, "",
         "torvane-cli: read needs ADDR (hex) and COUNT\n" + kTry},
        {"no port", "status", 2, "", "torvane-cli: this command needs --port PATH\n" + kTry},
        {"information", port + "params store", 0, "Parameter download completed！\n", ""},
        {"refusal", port + "run 100", 1, "", "Motor not enabled\n"},
        {"drive error", port + "read 1200 200", 1, "", std::string(DriveErrorText(0xF5)) + "\n"},
        {"error notice", port + "capture 2408 " + (dir / "no-such-folder" / "c.bin").string(), 1,
         "", "torvane-cli: cannot write " + (dir / "no-such-folder" / "c.bin").string() +
                 ": No such file or directory\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const size_t before = drive.RequestCount();
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.substr(0, c.outStart.size()), c.outStart) << r.out;
        if (c.outStart.empty()) {
            EXPECT_EQ(r.out, "");
        }
        EXPECT_EQ(r.err, c.err);
        // Neither the help nor a usage error talks to the drive.
        if (c.status == 2 || r.out.rfind("usage:", 0) == 0) {
            EXPECT_EQ(drive.RequestCount(), before);
        }
    }
    // A command's help is its own entry of the whole help, not the whole of it.
    const Result whole = Run("--help");
    const Result one = Run("help run");
    EXPECT_EQ(Run("run --help").out, one.out);
    EXPECT_NE(one.out.find("--reverse"), std::string::npos) << one.out;
    EXPECT_EQ(one.out.find("params SUB"), std::string::npos) << one.out;
    EXPECT_LT(std::count(one.out.begin(), one.out.end(), '\n'), 10) << one.out;
    EXPECT_GT(std::count(whole.out.begin(), whole.out.end(), '\n'), 30) << whole.out;
    // Every command of the table has its help.
    for (const char* name : {"ports", "read", "write", "capture", "enable", "params", "steptest"}) {
        const Result r = Run(std::string("help ") + name);
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_NE(r.out.find(std::string(" ") + name), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "") << name;
    }
}

}  // namespace
}  // namespace torvane
