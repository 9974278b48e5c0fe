// What a port list says about each port beside its name: the adapter's own description (USB
// manufacturer, product and serial number on Linux, the device's friendly name on Windows).
// Plain string rules, so that every platform builds and tests them; the search files read the
// raw texts from sysfs or the registry. Pure; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace torvane {

// Longest text kept of one attribute, in characters; longer ones end in "...".
constexpr size_t kMaxDeviceTextChars = 64;

// A text that a device reports about itself, fit to stand on one line of a list: invalid UTF-8
// becomes '?', control characters (tabs and line ends included) and characters that reorder
// the display become spaces, runs of blanks one space, no blank at either end, at most
// `maxChars` characters (cut at a character boundary, then "...").
std::string CleanDeviceText(std::string_view raw, size_t maxChars = kMaxDeviceTextChars);

// A USB device's attributes as sysfs gives them (raw: trailing line ends and all).
struct UsbIdentity {
    std::string Manufacturer;     // "FTDI"
    std::string Product;          // "FT232R USB UART"
    std::string Serial;           // "A10KQ3X2"
    std::string VendorId;         // "0403"
    std::string ProductId;        // "6001"
    std::string InterfaceNumber;  // "00": the interface the port belongs to (hex), "" unknown
};

// "FTDI FT232R USB UART, serial A10KQ3X2": the manufacturer (left out when the product already
// begins with it), the product, the serial number, and ", interface N" for a port on an
// interface other than 0 (the second port of a dual adapter). Without a product the ids stand
// in for it ("FTDI USB 0403:6001"); "" when the device names nothing at all.
std::string DescribeUsbDevice(const UsbIdentity& usb);

// The description of a Windows port from its device's friendly name: "USB Serial Port (COM3)"
// for COM3 gives "USB Serial Port" (the port's name stands beside it already); cleaned as
// above; "" for none.
std::string DescribeWindowsPort(std::string_view friendlyName, std::string_view portName);

}  // namespace torvane
