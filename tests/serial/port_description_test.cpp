// What the port lists say beside a port: the texts a device reports about itself made fit for
// one line, and the descriptions built from them.
#include "serial/port_description.h"

#include <gtest/gtest.h>

#include <string>

namespace torvane {
namespace {

// `n` times `c`, then `tail`.
std::string Repeated(size_t n, char c, std::string_view tail = {}) {
    std::string s(n, c);
    s.append(tail);
    return s;
}

TEST(PortDescription, DeviceTextsAreMadeFitForOneLine) {
    const struct {
        std::string raw;
        std::string shown;
    } cases[] = {
        {"FT232R USB UART", "FT232R USB UART"},
        {"  Silicon\t Labs \r\n", "Silicon Labs"},    // blanks and line ends
        {std::string("A\0B", 3), "A B"},              // a zero byte inside
        {"Acme\x01\x1b[31mRed\x7f", "Acme [31mRed"},  // controls (an escape sequence's ESC)
        {"Caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87", "Caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87"},  // UTF-8
        {"Bad\xff\xfe_byte", "Bad??_byte"},   // not UTF-8
        {"\xc3", "?"},                        // a sequence cut short
        {"\xc0\xaf", "??"},                   // an overlong '/'
        {"\xed\xa0\x80", "???"},              // a surrogate
        {"abc\xe2\x80\xae-cba", "abc -cba"},  // a right-to-left override
        {"C1\xc2\x85-next", "C1 -next"},      // a C1 control (NEL)
        {"", ""},
        {" \t\n", ""},
        {Repeated(200, 'x'), Repeated(64, 'x', "...")},
        {Repeated(63, 'x', " yyyy"), Repeated(63, 'x', "...")},  // no blank before "..."
        {Repeated(40, 'x', Repeated(30, '\x80')), Repeated(40, 'x', Repeated(24, '?', "..."))},
    };
    for (const auto& c : cases) EXPECT_EQ(CleanDeviceText(c.raw), c.shown) << c.raw;
    // A cut never splits a character.
    std::string chinese;
    for (int i = 0; i < 70; ++i) chinese += "\xe4\xb8\xad";
    EXPECT_EQ(CleanDeviceText(chinese, 3), "\xe4\xb8\xad\xe4\xb8\xad\xe4\xb8\xad...");
}

TEST(PortDescription, UsbDevicesAreDescribedByWhatTheyName) {
    const struct {
        UsbIdentity usb;
        const char* shown;
    } cases[] = {
        {{"FTDI", "FT232R USB UART", "A10KQ3X2", "0403", "6001", "00"},
         "FTDI FT232R USB UART, serial A10KQ3X2"},
        {{"FTDI\n", "Dual RS232-HS\n", "", "0403", "6010", "01"},
         "FTDI Dual RS232-HS, interface 1"},
        {{"", "STM32 Virtual ComPort", "", "0483", "5740", "00"}, "STM32 Virtual ComPort"},
        // The product names its maker already.
        {{"Silicon Labs", "silicon labs CP2102 bridge", "0001", "10c4", "ea60", "00"},
         "silicon labs CP2102 bridge, serial 0001"},
        // No product: the ids stand in for it.
        {{"", "", "", "1A86", "7523", ""}, "USB 1a86:7523"},
        {{"QinHeng", "", "", "1a86", "7523", ""}, "QinHeng USB 1a86:7523"},
        {{"", "", "XYZ", "", "", ""}, "serial XYZ"},
        {{"", "", "", "1a86", "75", ""}, ""},   // ids that are not ids
        {{"", "", "", "", "", "00"}, ""},       // nothing known
        {{"", "", "", "", "", "0a"}, ""},       // an interface of nothing
        {{"A", "B", "", "", "", "zz"}, "A B"},  // an interface number that is none
        {{"A\tB", "C\nD", "E\x01", "", "", ""}, "A B C D, serial E"},
    };
    for (const auto& c : cases) EXPECT_EQ(DescribeUsbDevice(c.usb), c.shown) << c.shown;
}

TEST(PortDescription, WindowsFriendlyNamesLeaveOutTheirPort) {
    const struct {
        const char* friendly;
        const char* port;
        const char* shown;
    } cases[] = {
        {"USB Serial Port (COM3)", "COM3", "USB Serial Port"},
        {"USB-SERIAL CH340 (com3)", "COM3", "USB-SERIAL CH340"},
        {"Communications Port (COM1)", "COM12", "Communications Port (COM1)"},  // another port
        {"Prolific USB-to-Serial Comm Port", "COM4", "Prolific USB-to-Serial Comm Port"},
        {"(COM3)", "COM3", "(COM3)"},  // nothing but the port: kept rather than lost
        {"  Odd\tname (COM5)\r\n", "COM5", "Odd name"},
        {"", "COM3", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DescribeWindowsPort(c.friendly, c.port), c.shown) << c.friendly;
}

}  // namespace
}  // namespace torvane
