// Port search from directory entries and sysfs: no candidate device is ever opened.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

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
    std::string Path;
};

}  // namespace

std::vector<std::string> SearchPorts(const std::string& devDir, const std::string& sysfsRoot) {
    std::vector<Found> found;
    if (DIR* d = opendir(devDir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            const int kind = KindOf(name);
            if (kind < 0) continue;
            const bool uart = std::string(kPrefixes[kind]) == kUartPrefix;
            if (!IsPort(devDir, sysfsRoot, name, uart)) continue;
            const std::string digits = name.substr(std::string(kPrefixes[kind]).size());
            found.push_back({kind, std::strtoul(digits.c_str(), nullptr, 10), devDir + "/" + name});
        }
        closedir(d);
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.Kind != b.Kind ? a.Kind < b.Kind : a.Number < b.Number;
    });
    std::vector<std::string> paths;
    for (const Found& f : found) paths.push_back(f.Path);
    return paths;
}

void SerialPort::Search(const std::string& devDir) {
    PortList = SearchPorts(devDir);
}

}  // namespace torvane
