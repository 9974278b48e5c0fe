// Only <asm/termbits.h> here: it cannot share a translation unit with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace torvane {

unsigned int StandardBaudCodeImpl(uint32_t baud) {
    switch (baud) {
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        case 230400: return B230400;
        case 460800: return B460800;
        case 921600: return B921600;
        default: return 0;
    }
}

bool SetCustomBaudImpl(int fd, uint32_t baud, std::string& reason) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        reason = std::string("baud rate ") + std::to_string(baud) + ": " + std::strerror(errno);
        return false;
    }
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    if (ioctl(fd, TCSETS2, &t) != 0) {
        reason = std::string("baud rate ") + std::to_string(baud) +
                 " cannot be set on this port: " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace torvane
