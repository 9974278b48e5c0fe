// Port search from directory entries and sysfs: no candidate device is ever opened.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "serial/port_description.h"
#include "serial/port_search.h"
#include "serial/serial_port.h"

namespace torvane {

namespace {

// Kinds of serial port, in the order the list shows them.
constexpr const char* kPrefixes[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "rfcomm"};
constexpr const char* kUartPrefix = "ttyS";

// The kind's rank when `name` is a kind followed by digits only; -1 otherwise.
int KindOf(const std::string& name) {
    for (int k = 0; k < static_cast<int>(std::size(kPrefixes)); ++k) {
        const std::string p = kPrefixes[k];
        if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
            std::all_of(name.begin() + static_cast<long>(p.size()), name.end(),
                        [](unsigned char c) { return std::isdigit(c) != 0; }))
            return k;
    }
    return -1;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The UART type the serial core reports for a ttyS line; 0 (unknown: no UART) when the
// attribute is missing or unreadable.
long UartType(const std::string& ttyDir) {
    std::ifstream in(ttyDir + "/type");
    long type = 0;
    if (!(in >> type)) return 0;
    return type;
}

bool IsPort(const std::string& devDir, const std::string& sysfsRoot, const std::string& name,
            bool uart) {
    struct stat st {};
    if (::stat((devDir + "/" + name).c_str(), &st) != 0) return false;  // gone (a dangling link)
    const std::string ttyDir = sysfsRoot + "/class/tty/" + name;
    if (Exists(ttyDir)) {
        // Virtual terminals and other ttys without hardware have no `device`.
        if (!Exists(ttyDir + "/device")) return false;
        return !uart || UartType(ttyDir) != 0;
    }
    return !uart && S_ISCHR(st.st_mode);
}

struct Found {
    int Kind;
    unsigned long Number;
    std::string Name;
};

namespace fs = std::filesystem;

bool IsRegularFile(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A sysfs attribute's value without its line end; "" when it is missing. Only regular files
// are read (a FIFO would block), and only their first kilobyte: a USB string has at most 126
// characters.
std::string Attribute(const fs::path& file) {
    if (!IsRegularFile(file)) return {};
    std::ifstream in(file, std::ios::binary);
    std::string text(1024, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

bool Within(const fs::path& path, const fs::path& root) {
    auto p = path.begin();
    for (auto r = root.begin(); r != root.end(); ++r, ++p) {
        if (p == path.end() || *p != *r) return false;
    }
    return true;
}

// The description of the USB device above the tty `name`, "" when there is none. A USB
// serial port's tty hangs below its port device (ttyUSB) or its interface (ttyACM); the USB
// device is the first folder above with an idVendor. Three levels are enough for both: a
// native UART or a platform device has no USB device that close above it.
std::string UsbDescription(const std::string& sysfsRoot, const std::string& name) {
    std::error_code ec;
    const fs::path root = fs::canonical(sysfsRoot, ec);
    if (ec) return {};
    fs::path at = fs::canonical(fs::path(sysfsRoot) / "class" / "tty" / name / "device", ec);
    if (ec) return {};
    UsbIdentity usb;
    for (int level = 0; level <= 3 && Within(at, root) && at != root; ++level) {
        if (usb.InterfaceNumber.empty()) usb.InterfaceNumber = Attribute(at / "bInterfaceNumber");
        if (IsRegularFile(at / "idVendor")) {
            usb.Manufacturer = Attribute(at / "manufacturer");
            usb.Product = Attribute(at / "product");
            usb.Serial = Attribute(at / "serial");
            usb.VendorId = Attribute(at / "idVendor");
            usb.ProductId = Attribute(at / "idProduct");
            return DescribeUsbDevice(usb);
        }
        at = at.parent_path();
    }
    return {};
}

// The links of `devDir`/serial/by-id by the device they resolve to; of two links to one
// device the first by name.
std::map<fs::path, std::string> StableNames(const std::string& devDir) {
    std::map<fs::path, std::string> names;
    const fs::path byId = fs::path(devDir) / "serial" / "by-id";
    std::error_code ec;
    std::vector<fs::path> links;
    for (fs::directory_iterator it(byId, ec), end; !ec && it != end; it.increment(ec))
        links.push_back(it->path());
    std::sort(links.begin(), links.end());
    for (const fs::path& link : links) {
        const fs::path target = fs::canonical(link, ec);  // resolves, opens nothing
        if (!ec) names.emplace(target, link.string());
    }
    return names;
}

}  // namespace

std::vector<FoundPort> FindPorts(const std::string& devDir, const std::string& sysfsRoot) {
    std::vector<Found> found;
    if (DIR* d = opendir(devDir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            const int kind = KindOf(name);
            if (kind < 0) continue;
            const bool uart = std::string(kPrefixes[kind]) == kUartPrefix;
            if (!IsPort(devDir, sysfsRoot, name, uart)) continue;
            const std::string digits = name.substr(std::string(kPrefixes[kind]).size());
            found.push_back({kind, std::strtoul(digits.c_str(), nullptr, 10), name});
        }
        closedir(d);
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.Kind != b.Kind ? a.Kind < b.Kind : a.Number < b.Number;
    });
    const std::map<fs::path, std::string> stable = StableNames(devDir);
    std::vector<FoundPort> ports;
    for (const Found& f : found) {
        FoundPort port{devDir + "/" + f.Name, UsbDescription(sysfsRoot, f.Name), {}};
        std::error_code ec;
        const auto link = stable.find(fs::canonical(port.Path, ec));
        if (!ec && link != stable.end()) port.StableName = link->second;
        ports.push_back(std::move(port));
    }
    return ports;
}

std::vector<std::string> SearchPorts(const std::string& devDir, const std::string& sysfsRoot) {
    std::vector<std::string> paths;
    for (const FoundPort& p : FindPorts(devDir, sysfsRoot)) paths.push_back(p.Path);
    return paths;
}

void SerialPort::Search(const std::string& devDir, const std::string& sysfsRoot) {
    FoundPorts = FindPorts(devDir, sysfsRoot);
    PortList.clear();
    for (const FoundPort& p : FoundPorts) PortList.push_back(p.Path);
}

}  // namespace torvane
