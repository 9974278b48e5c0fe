// SerialPort's Windows backend against the simulated drive, run under wine: scripts/wine_test.sh
// serves torvane-sim behind a COM port of its wine prefix and names that port in
// TORVANE_TEST_PORT. (A lost port is proven there too: the script ends the drive while
// torvane-cli waits for a reply.)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

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
#include "serial/port_search.h"
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

// A device key under HKLM\SYSTEM\CurrentControlSet\Enum as Windows makes one for an adapter:
// its friendly name, and in "Device Parameters" its port. The test writes it (wine's registry
// lets it; on Windows this needs an administrator) and removes it again.
class EnumDeviceKey {
public:
    EnumDeviceKey(const std::wstring& device, const std::wstring& friendlyName,
                  const std::wstring& portName)
        : device_(std::wstring(kEnumerator) + L"\\" + device) {
        const std::wstring instance = device_ + L"\\0000";
        ok_ = SetString(instance, L"FriendlyName", friendlyName) &&
              SetString(instance + L"\\Device Parameters", L"PortName", portName);
    }
    ~EnumDeviceKey() {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, device_.c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEnumerator);  // once no other test device is left
    }
    bool Ok() const { return ok_; }

private:
    static constexpr const wchar_t* kEnumerator = L"SYSTEM\\CurrentControlSet\\Enum\\TORVANETEST";

    static bool SetString(const std::wstring& path, const wchar_t* name,
                          const std::wstring& value) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            return false;
        const bool ok =
            RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
            ERROR_SUCCESS;
        RegCloseKey(key);
        return ok;
    }

    std::wstring device_;
    bool ok_ = false;
};

TEST_F(WinSerialPort, SearchNamesAPortByTheFriendlyNameOfTheOneDeviceClaimingIt) {
    const auto described = [&] {
        SerialPort serial;
        serial.Search();
        for (const FoundPort& p : serial.FoundPorts) {
            EXPECT_EQ(p.StableName, "") << p.Path;
            if (p.Path == port) return p.Description;
        }
        return std::string("(not listed)");
    };
    const std::string before = described();
    const std::wstring wport(port.begin(), port.end());
    {
        // "USB 串行设备": what usbser's adapters are called on a Chinese Windows.
        EnumDeviceKey adapter(L"VID_0483+PID_5740+TORVANE1",
                              L"USB \u4E32\u884C\u8BBE\u5907 (" + wport + L")", wport);
        if (!adapter.Ok()) GTEST_SKIP() << "the registry refuses the test's device keys";
        const std::string chinese = "USB \xe4\xb8\xb2\xe8\xa1\x8c\xe8\xae\xbe\xe5\xa4\x87";
        EXPECT_EQ(described(), chinese);
        {
            // The same name twice (a device reinstalled) is still that name; a second name makes
            // the claim ambiguous, and no name is better than a wrong one.
            EnumDeviceKey again(L"VID_0483+PID_5740+TORVANE2",
                                L"USB \u4E32\u884C\u8BBE\u5907 (" + wport + L")", wport);
            EXPECT_EQ(described(), chinese);
            EnumDeviceKey other(L"VID_1A86+PID_7523+TORVANE3", L"USB-SERIAL CH340 (" + wport + L")",
                                wport);
            EXPECT_EQ(described(), "");
        }
        EXPECT_EQ(described(), chinese);
    }
    EXPECT_EQ(described(), before);
}

}  // namespace
}  // namespace torvane
