// Port search: the serial devices present under /dev, in a stable order.
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "serial/serial_port.h"

namespace torvane {

namespace {

// Device name prefixes of serial ports; ttyS is listed only for real UARTs (most machines have
// dozens of ttyS nodes without hardware behind them).
constexpr const char* kPrefixes[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "rfcomm"};

bool IsPortName(const std::string& name, std::string& prefix) {
    for (const char* p : kPrefixes) {
        const std::string s(p);
        if (name.size() > s.size() && name.compare(0, s.size(), s) == 0 &&
            std::all_of(name.begin() + static_cast<long>(s.size()), name.end(),
                        [](unsigned char c) { return std::isdigit(c) != 0; })) {
            prefix = s;
            return true;
        }
    }
    return false;
}

// Present = can be opened now (without becoming our controlling terminal). A ttyS node must
// also report a UART type.
bool Present(const std::string& path, bool needUart) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY || errno == EACCES;  // held elsewhere or not ours: present
    bool ok = true;
    if (needUart) {
        serial_struct info{};
        ok = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    }
    ::close(fd);
    return ok;
}

struct Found {
    std::string Prefix;
    unsigned long Number;
    std::string Path;
};

}  // namespace

void SerialPort::Search(const std::string& devDir) {
    std::vector<Found> found;
    if (DIR* d = opendir(devDir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            std::string prefix;
            if (!IsPortName(name, prefix)) continue;
            const std::string path = devDir + "/" + name;
            if (!Present(path, prefix == "ttyS")) continue;
            found.push_back({prefix, std::stoul(name.substr(prefix.size())), path});
        }
        closedir(d);
    }
    // Ascending by kind, then by number (ttyUSB2 before ttyUSB10).
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        const auto rank = [](const std::string& p) {
            return std::find_if(std::begin(kPrefixes), std::end(kPrefixes),
                                [&](const char* x) { return p == x; }) - std::begin(kPrefixes);
        };
        if (rank(a.Prefix) != rank(b.Prefix)) return rank(a.Prefix) < rank(b.Prefix);
        return a.Number < b.Number;
    });
    PortList.clear();
    for (const Found& f : found) PortList.push_back(f.Path);
}

}  // namespace torvane
