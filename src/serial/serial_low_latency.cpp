#include "serial/serial_low_latency.h"

#ifdef __linux__
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#endif

namespace torvane {

bool EnableLowLatency(DriverSerialFlags& driver) {
    int flags = 0;
    if (driver.Get(flags) != 0) return false;          // no serial settings: nothing to do
    if ((flags & kLowLatencyFlag) != 0) return false;  // on already: not ours to turn off
    return driver.Set(flags | kLowLatencyFlag) == 0;
}

void RestoreLowLatency(DriverSerialFlags& driver) {
    int flags = 0;
    if (driver.Get(flags) != 0 || (flags & kLowLatencyFlag) == 0) return;
    (void)driver.Set(flags & ~kLowLatencyFlag);
}

#ifdef __linux__
static_assert(kLowLatencyFlag == ASYNC_LOW_LATENCY);

namespace {

class IoctlSerialFlags final : public DriverSerialFlags {
public:
    explicit IoctlSerialFlags(int fd) : fd_(fd) {}
    int Get(int& flags) override {
        if (ioctl(fd_, TIOCGSERIAL, &settings_) != 0) return errno;
        read_ = true;
        flags = settings_.flags;
        return 0;
    }
    int Set(int flags) override {
        if (!read_) return EINVAL;    // zeros would wipe the driver's settings
        serial_struct s = settings_;  // everything else as the driver gave it
        s.flags = flags;
        return ioctl(fd_, TIOCSSERIAL, &s) == 0 ? 0 : errno;
    }

private:
    int fd_;
    serial_struct settings_{};
    bool read_ = false;
};

}  // namespace

std::unique_ptr<DriverSerialFlags> MakeDriverSerialFlags(int fd) {
    return std::make_unique<IoctlSerialFlags>(fd);
}
#endif

}  // namespace torvane
