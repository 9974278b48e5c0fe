#include "support/fake_device_tree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace torvane::test {

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::string& value) {
    std::ofstream(file, std::ios::binary) << value << "\n";
}

void WriteIf(const fs::path& file, const std::optional<std::string>& value) {
    if (value) Write(file, *value);
}

const fs::path kHub = fs::path("devices") / "pci0000:00" / "0000:00:14.0" / "usb1";

}  // namespace

FakeDeviceTree::FakeDeviceTree() {
    static std::atomic<int> count{0};
    root_ = fs::temp_directory_path() /
            ("torvane-devices-" + std::to_string(getpid()) + "-" + std::to_string(count++));
    fs::remove_all(root_);
    fs::create_directories(root_ / "dev" / "serial" / "by-id");
    fs::create_directories(root_ / "sys" / "class" / "tty");
    // The root hub is a USB device too: a tty must take the nearest one.
    const fs::path hub = root_ / "sys" / kHub;
    fs::create_directories(hub);
    Write(hub / "idVendor", "1d6b");
    Write(hub / "idProduct", "0003");
    Write(hub / "manufacturer", "Linux 6.1.0 xhci-hcd");
    Write(hub / "product", "xHCI Host Controller");
}

FakeDeviceTree::~FakeDeviceTree() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void FakeDeviceTree::AddUsbTty(const std::string& name, const std::string& busId, const Usb& usb,
                               int interfaceNumber, Driver driver) {
    const fs::path device = root_ / "sys" / kHub / busId;
    fs::create_directories(device);
    WriteIf(device / "manufacturer", usb.Manufacturer);
    WriteIf(device / "product", usb.Product);
    WriteIf(device / "serial", usb.Serial);
    WriteIf(device / "idVendor", usb.VendorId);
    WriteIf(device / "idProduct", usb.ProductId);
    const fs::path interface = device / (busId + ":1." + std::to_string(interfaceNumber));
    fs::create_directories(interface);
    char number[3];
    std::snprintf(number, sizeof number, "%02x", interfaceNumber);
    Write(interface / "bInterfaceNumber", number);
    if (driver == Driver::Acm) {
        AddTty(name, interface, interface);
    } else {
        fs::create_directories(interface / name);
        AddTty(name, interface / name, interface / name);
    }
}

void FakeDeviceTree::AddPlatformTty(const std::string& name, const char* uartType) {
    const fs::path hardware = root_ / "sys" / "devices" / "pnp0" / ("00:" + name);
    fs::create_directories(hardware);
    AddTty(name, hardware, hardware);
    if (uartType) Write(root_ / "sys" / "class" / "tty" / name / "type", uartType);
}

void FakeDeviceTree::AddTty(const std::string& name, const fs::path& ttyParent,
                            const fs::path& hardware) {
    const fs::path tty = ttyParent / "tty" / name;
    fs::create_directories(tty);
    fs::create_directory_symlink(fs::relative(hardware, tty), tty / "device");
    const fs::path classTty = root_ / "sys" / "class" / "tty";
    fs::create_directory_symlink(fs::relative(tty, classTty), classTty / name);
}

void FakeDeviceTree::AddNode(const std::string& name) {
    if (mkfifo(DevPath(name).c_str(), 0666) != 0) throw std::runtime_error("mkfifo " + name);
}

void FakeDeviceTree::AddStableName(const std::string& link, const std::string& name) {
    fs::create_symlink(fs::path("..") / ".." / name, root_ / "dev" / "serial" / "by-id" / link);
}

}  // namespace torvane::test
