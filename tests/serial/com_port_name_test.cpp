// Windows port names: the path each name opens, the search's order, the lock's name.
#include "serial/com_port_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace torvane {
namespace {

TEST(ComPortName, EveryPortNameOpensThroughTheDevicePath) {
    const struct {
        const char* typed;
        const char* path;
    } cases[] = {
        {"COM7", "\\\\.\\COM7"},
        {"com7", "\\\\.\\COM7"},
        {"COM7:", "\\\\.\\COM7"},
        {"COM10", "\\\\.\\COM10"},
        {"COM256", "\\\\.\\COM256"},
        {"\\\\.\\COM3", "\\\\.\\COM3"},  // typed as a device path: kept
        {"\\\\?\\GLOBALROOT\\Device\\Serial0", "\\\\?\\GLOBALROOT\\Device\\Serial0"},
        {"CNCA0", "\\\\.\\CNCA0"},  // a virtual port with a name of its own
        {"COM0", "\\\\.\\COM0"},  // not port numbers: kept as typed
        {"COM07", "\\\\.\\COM07"},
    };
    for (const auto& c : cases) EXPECT_EQ(ComDevicePath(c.typed), c.path) << c.typed;
}

TEST(ComPortName, NumbersAreOneTo256WithoutLeadingZeros) {
    const struct {
        const char* name;
        int number;
    } cases[] = {
        {"COM1", 1}, {"com12", 12}, {"Com256", 256}, {"COM257", 0}, {"COM0", 0},  {"COM01", 0},
        {"COM", 0},  {"COM1a", 0},  {"LPT1", 0},     {"", 0},       {"COM-1", 0}, {"COM99999", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ComPortNumber(c.name), c.number) << c.name;
}

TEST(ComPortName, SearchListsPortsInAscendingOrderOnce) {
    const std::vector<std::string> registered = {"COM10", "COM3", "CNCA0", "COM7",
                                                 "com3",  "COM2", "",      "COM300"};
    EXPECT_EQ(SortedComPortNames(registered),
              (std::vector<std::string>{"COM2", "COM3", "COM7", "COM10"}));
    EXPECT_TRUE(SortedComPortNames({}).empty());
}

TEST(ComPortName, OnePortHasOneLockWhateverItsSpelling) {
    const std::string lock = PortLockName("\\\\.\\COM7");
    EXPECT_EQ(lock, "Global\\Torvane.SerialPort.COM7");
    for (const char* same : {"COM7", "com7", "COM7:", "\\\\.\\com7"})
        EXPECT_EQ(PortLockName(same), lock) << same;
    EXPECT_NE(PortLockName("COM17"), lock);
    // Object names take no backslash after the name space.
    EXPECT_EQ(PortLockName("\\\\?\\GLOBALROOT\\Device\\Serial0"),
              "Global\\Torvane.SerialPort.GLOBALROOT_DEVICE_SERIAL0");
    EXPECT_EQ(PortLockName("\\\\"), "Global\\Torvane.SerialPort.");
}

}  // namespace
}  // namespace torvane
