#include "serial/serial_baud_posix.h"

namespace torvane {

unsigned int StandardBaudCodeImpl(uint32_t baud);
bool SetCustomBaudImpl(int fd, uint32_t baud, std::string& reason);

speed_t StandardBaudCode(uint32_t baud) { return static_cast<speed_t>(StandardBaudCodeImpl(baud)); }
bool SetCustomBaud(int fd, uint32_t baud, std::string& reason) {
    return SetCustomBaudImpl(fd, baud, reason);
}

}  // namespace torvane
