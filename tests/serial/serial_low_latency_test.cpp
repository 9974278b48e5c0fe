// Low-latency mode on open and back on close: the decision over a recording driver, and the
// real calls on a pseudo-terminal, whose driver has no serial settings.
#include "serial/serial_low_latency.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "serial/serial_port.h"
#include "support/pty_pair.h"

namespace torvane {
namespace {

// A driver that keeps a flags word and refuses what it is told to refuse.
class RecordingDriver final : public DriverSerialFlags {
public:
    int Flags = 0;
    int GetError = 0;  // errno for every Get
    int SetError = 0;  // errno for every Set
    std::vector<int> Written;

    int Get(int& flags) override {
        if (GetError != 0) return GetError;
        flags = Flags;
        return 0;
    }
    int Set(int flags) override {
        Written.push_back(flags);
        if (SetError != 0) return SetError;
        Flags = flags;
        return 0;
    }
};

constexpr int kOther = ASYNC_SPD_HI | ASYNC_SKIP_TEST;  // flags that are none of our business
constexpr int kOn = kOther | ASYNC_LOW_LATENCY;

TEST(LowLatency, TurnedOnWhereItIsOffAndBackOffOnlyWhenItWasOurs) {
    const struct {
        const char* what;
        int flags;
        int getError, setError;
        bool turnedOn;
        std::vector<int> writtenOnOpen;
        int flagsAfterOpen;
    } cases[] = {
        {"USB adapter, mode off", kOther, 0, 0, true, {kOn}, kOn},
        {"mode on already", kOn, 0, 0, false, {}, kOn},
        {"no serial settings (pseudo-terminal)", kOther, ENOTTY, 0, false, {}, kOther},
        {"driver refuses the mode", kOther, 0, EINVAL, false, {kOn}, kOther},
        {"change not permitted", kOther, 0, EPERM, false, {kOn}, kOther},
        {"device error", kOther, EIO, 0, false, {}, kOther},
    };
    for (const auto& c : cases) {
        RecordingDriver driver;
        driver.Flags = c.flags;
        driver.GetError = c.getError;
        driver.SetError = c.setError;
        EXPECT_EQ(EnableLowLatency(driver), c.turnedOn) << c.what;
        EXPECT_EQ(driver.Written, c.writtenOnOpen) << c.what;
        EXPECT_EQ(driver.Flags, c.flagsAfterOpen) << c.what;
        if (!c.turnedOn) continue;
        // Close: only the mode goes back; a flag set meanwhile stays.
        driver.Flags |= ASYNC_HUP_NOTIFY;
        driver.Written.clear();
        RestoreLowLatency(driver);
        EXPECT_EQ(driver.Written, std::vector<int>{kOther | ASYNC_HUP_NOTIFY}) << c.what;
        EXPECT_EQ(driver.Flags, kOther | ASYNC_HUP_NOTIFY) << c.what;
    }
}

TEST(LowLatency, RestoringNeverFailsNorWritesWhatNeedsNoChange) {
    RecordingDriver cleared;  // turned off meanwhile by someone else
    RestoreLowLatency(cleared);
    EXPECT_TRUE(cleared.Written.empty());
    RecordingDriver gone;  // the adapter was unplugged
    gone.Flags = ASYNC_LOW_LATENCY;
    gone.GetError = EIO;
    RestoreLowLatency(gone);
    EXPECT_TRUE(gone.Written.empty());
    RecordingDriver refusing;
    refusing.Flags = ASYNC_LOW_LATENCY;
    refusing.SetError = EIO;
    RestoreLowLatency(refusing);  // nothing to report, nothing thrown
    EXPECT_EQ(refusing.Written, std::vector<int>{0});
}

// A pseudo-terminal has no serial settings: the real calls are refused, and the port opens,
// talks and closes as ever, over and over.
TEST(LowLatency, APseudoTerminalRefusesItAndStillOpensAndCloses) {
    test::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    auto driver = MakeDriverSerialFlags(fd);
    int flags = 0;
    EXPECT_NE(driver->Get(flags), 0);
    EXPECT_NE(driver->Set(ASYNC_LOW_LATENCY), 0);  // never writes settings it has not read
    EXPECT_FALSE(EnableLowLatency(*driver));
    ::close(fd);

    SerialPort port;
    for (int round = 0; round < 3; ++round) {
        std::string reason;
        ASSERT_TRUE(port.Open(pty.SlavePath(), &reason)) << reason;
        const uint8_t byte = 0x42;
        EXPECT_EQ(port.Write(&byte, 1), 1);
        uint8_t got = 0;
        EXPECT_EQ(pty.Receive(&got, 1), 1);
        EXPECT_EQ(got, byte);
        EXPECT_TRUE(port.Close());
    }
}

}  // namespace
}  // namespace torvane
