// FakeDeviceTree: a temporary folder holding a dev and a sys folder laid out as the kernel lays
// out serial ports, so that the port search can be tried on adapters this machine does not have.
//
// In sys, as on a real machine: devices/... holds the hardware (a USB device folder with its
// attributes, its interfaces, their ports), class/tty/NAME is a link into it and its `device`
// link leads back to the tty's hardware. In dev a port is a FIFO (any open of it would show,
// and a read-write one would succeed) or a link, and serial/by-id holds links to the ports.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace torvane::test {

class FakeDeviceTree {
public:
    FakeDeviceTree();   // a fresh folder under the system's temporary folder
    ~FakeDeviceTree();  // removes it
    FakeDeviceTree(const FakeDeviceTree&) = delete;
    FakeDeviceTree& operator=(const FakeDeviceTree&) = delete;

    std::string Dev() const { return (root_ / "dev").string(); }
    std::string Sys() const { return (root_ / "sys").string(); }
    std::string DevPath(const std::string& name) const { return (root_ / "dev" / name).string(); }

    // The attributes of a USB device folder, written as sysfs writes them (the value and a line
    // end); an empty optional leaves the attribute out.
    struct Usb {
        std::optional<std::string> Manufacturer, Product, Serial;
        std::optional<std::string> VendorId, ProductId;
    };
    // How the tty hangs below the USB device: under a port device of the interface (usb-serial
    // drivers such as ftdi_sio: ttyUSB) or right under the interface (cdc_acm: ttyACM).
    enum class Driver { UsbSerial, Acm };

    // The tty `name` of interface `interfaceNumber` of the USB device `busId` ("1-2"), below a
    // root hub that has attributes of its own. Several ttys may share one device.
    void AddUsbTty(const std::string& name, const std::string& busId, const Usb& usb,
                   int interfaceNumber = 0, Driver driver = Driver::UsbSerial);
    // The tty `name` of a device that is no USB device (a UART of the platform), with the
    // serial core's `type` attribute when given.
    void AddPlatformTty(const std::string& name, const char* uartType = nullptr);

    // A FIFO `name` in dev.
    void AddNode(const std::string& name);
    // dev/serial/by-id/`link` leading to dev/`name`, relative as udev makes it.
    void AddStableName(const std::string& link, const std::string& name);
    std::string StableNamePath(const std::string& link) const {
        return (root_ / "dev" / "serial" / "by-id" / link).string();
    }

private:
    void AddTty(const std::string& name, const std::filesystem::path& ttyParent,
                const std::filesystem::path& hardware);

    std::filesystem::path root_;
};

}  // namespace torvane::test
