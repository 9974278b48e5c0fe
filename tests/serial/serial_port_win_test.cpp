// SerialPort's Windows backend against the simulated drive, run under wine: scripts/wine_test.sh
// serves torvane-sim behind a COM port of its wine prefix and names that port in
// TORVANE_TEST_PORT. (A lost port is proven there too: the script ends the drive while
// torvane-cli waits for a reply.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "protocol/drive_link.h"
#include "protocol/register_map.h"
#include "serial/com_port_name.h"
#include "serial/serial_port.h"

namespace torvane {
namespace {

using namespace std::chrono_literals;

class WinSerialPort : public ::testing::Test {
protected:
    void SetUp() override {
        const char* name = std::getenv("TORVANE_TEST_PORT");
        port = name != nullptr ? name : "";
        ASSERT_FALSE(port.empty()) << "TORVANE_TEST_PORT names no port; run scripts/wine_test.sh";
    }

    // Opens `name`, reads the drive's identification and closes again, as the CLI does.
    void TalkThrough(const std::string& name) {
        SerialPort serial;
        DriveState state;
        MotionFields motion;
        DriveLink link(serial, state, motion);
        std::string reason;
        ASSERT_TRUE(serial.Open(name, &reason)) << name << ": " << reason;
        link.StartExtractor();
        EXPECT_EQ(link.ReadRegister(reg::kIdentification, size::kIdentification), kSuccess) << name;
        EXPECT_EQ(state.ModelString, "KVD417") << name;
        serial.ClearPortOpen();
        EXPECT_TRUE(link.StopExtractor());
        EXPECT_TRUE(serial.Close());
    }

    std::string port;  // "COM12"
};

TEST_F(WinSerialPort, EverySpellingOfThePortReachesTheDrive) {
    std::string lower = port;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const std::string& name : {port, lower, "\\\\.\\" + port}) TalkThrough(name);
}

TEST_F(WinSerialPort, OpenIsExclusiveUntilClosed) {
    SerialPort first, second;
    std::string reason;
    ASSERT_TRUE(first.Open(port, &reason)) << reason;
    EXPECT_FALSE(second.Open("\\\\.\\" + port, &reason));
    EXPECT_NE(reason.find("in use"), std::string::npos) << reason;
    EXPECT_FALSE(second.PortOpen());
    EXPECT_EQ(second.Path(), "");
    EXPECT_EQ(second.Write(reinterpret_cast<const uint8_t*>("x"), 1), 0);
    ASSERT_TRUE(first.Close());
    EXPECT_TRUE(second.Open(port, &reason)) << reason;
    EXPECT_TRUE(second.Close());
}

TEST_F(WinSerialPort, CloseEndsTheWaitingReaderEveryTime) {
    // Close gives the reader 1000 ms and reports false when it did not end: a reader that the
    // wake-up event cannot reach fails here.
    SerialPort serial;
    for (int round = 0; round < 5; ++round) {
        std::string reason;
        ASSERT_TRUE(serial.Open(port, &reason)) << reason;
        if (round % 2 == 1) std::this_thread::sleep_for(20ms);  // reader asleep in its wait
        EXPECT_TRUE(serial.Close()) << "round " << round;
        EXPECT_FALSE(serial.PortOpen());
    }
    TalkThrough(port);  // and the port still works afterwards
}

TEST_F(WinSerialPort, RefusedOpensSayWhyAndLeaveThePortFree) {
    SerialPort serial;
    std::string reason;
    EXPECT_FALSE(serial.Open("COM200", &reason));
    EXPECT_NE(reason.find("no such port"), std::string::npos) << reason;
    EXPECT_FALSE(serial.Open("", &reason));
    EXPECT_NE(reason.find("no port"), std::string::npos) << reason;
    EXPECT_FALSE(serial.Open("NUL", &reason));  // a device, but no serial port
    EXPECT_NE(reason.find("not a serial port"), std::string::npos) << reason;
    serial.Settings.Stop = StopBits::OneAndHalf;
    EXPECT_FALSE(serial.Open(port, &reason));
    EXPECT_NE(reason.find("1.5 stop bits"), std::string::npos) << reason;
    EXPECT_FALSE(serial.PortOpen());
    EXPECT_EQ(serial.Path(), "");
    serial.Settings = LineSettings{};
    TalkThrough(port);  // none of the refusals kept the port's lock
}

TEST_F(WinSerialPort, EachRateOfTheSettingsWindowIsAppliedOrRefusedWithItsReason) {
    // Windows drivers take any rate; a driver that would run another one must say so rather
    // than talk at a wrong speed.
    for (const uint32_t rate : {9600u, 14400u, 19600u, 38400u, 57600u, 115200u}) {
        SerialPort serial;
        serial.Settings.BaudRate = rate;
        std::string reason;
        if (serial.Open(port, &reason)) {
            EXPECT_TRUE(serial.Close());
            RecordProperty("rate" + std::to_string(rate), "applied");
        } else {
            EXPECT_NE(reason.find("baud rate " + std::to_string(rate)), std::string::npos)
                << reason;
            RecordProperty("rate" + std::to_string(rate), reason);
        }
    }
    SerialPort serial;
    serial.Settings.BaudRate = 115200;
    std::string reason;
    EXPECT_TRUE(serial.Open(port, &reason)) << reason;
}

TEST_F(WinSerialPort, SearchListsTheRegisteredPortsInAscendingOrder) {
    SerialPort serial;
    serial.Search();
    EXPECT_NE(std::find(serial.PortList.begin(), serial.PortList.end(), port),
              serial.PortList.end());
    int last = 0;
    for (const std::string& name : serial.PortList) {
        const int n = ComPortNumber(name);
        EXPECT_GT(n, last) << name;
        EXPECT_EQ(name, "COM" + std::to_string(n));
        last = n;
    }
}

}  // namespace
}  // namespace torvane
