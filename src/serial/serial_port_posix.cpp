// POSIX serial backend: termios, poll() on the port and a wake-up pipe, flock + TIOCEXCL.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "serial/serial_baud_posix.h"
#include "serial/serial_low_latency.h"
#include "serial/serial_port.h"

namespace torvane {

namespace {

std::string Reason(const char* what, int err) { return std::string(what) + ": " + std::strerror(err); }

class PosixSerialBackend final : public SerialBackend {
public:
    PosixSerialBackend() {
        if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
    }
    ~PosixSerialBackend() override {
        Close();
        if (wake_[0] >= 0) ::close(wake_[0]);
        if (wake_[1] >= 0) ::close(wake_[1]);
    }

    bool Open(const std::string& path, const LineSettings& s, std::string& reason) override {
        if (fd_ >= 0) {
            reason = "the port is already open";
            return false;
        }
        if (path.empty()) {
            reason = "no port selected";
            return false;
        }
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            reason = Reason(path.c_str(), errno);
            if (errno == EACCES)
                reason += " (ask for membership of the 'dialout' group: sudo adduser $USER dialout, "
                          "then log in again)";
            return false;
        }
        if (!isatty(fd)) {
            reason = path + ": not a serial device";
            ::close(fd);
            return false;
        }
        // Exclusive: flock keeps out every other open (this process included), TIOCEXCL keeps
        // out programs that do not use flock.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            reason = path + ": in use by another program";
            ::close(fd);
            return false;
        }
        if (ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
            reason = Reason("TIOCEXCL", errno);
            ::close(fd);
            return false;
        }
        if (!Configure(fd, s, reason)) {
            ::close(fd);
            return false;
        }
        // Do not assert DTR and RTS (pseudo-terminals have no modem lines: ignore that).
        int lines = TIOCM_DTR | TIOCM_RTS;
        (void)ioctl(fd, TIOCMBIC, &lines);
#ifdef __linux__
        lowLatencySet_ = EnableLowLatency(*MakeDriverSerialFlags(fd));
#endif
        tcflush(fd, TCIOFLUSH);
        Drain();
        fd_ = fd;
        return true;
    }

    void Close() override {
        if (fd_ >= 0) {
#ifdef __linux__
            // The mode belongs to the adapter and outlives this descriptor: put it back.
            if (lowLatencySet_) RestoreLowLatency(*MakeDriverSerialFlags(fd_));
#endif
            lowLatencySet_ = false;
            // The exclusive flag belongs to the terminal, not to this descriptor: a
            // pseudo-terminal whose master stays open would keep it and refuse the next open.
            (void)ioctl(fd_, TIOCNXCL);
            ::close(fd_);  // releases the flock
            fd_ = -1;
        }
    }

    WaitResult WaitReadable() override {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        for (;;) {
            const int r = ::poll(fds, 2, -1);
            if (r < 0) {
                if (errno == EINTR) continue;
                return WaitResult::Error;
            }
            if (fds[1].revents & POLLIN) {
                Drain();
                return WaitResult::Woken;
            }
            if (fds[0].revents & POLLIN) return WaitResult::Readable;
            if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return WaitResult::HungUp;
        }
    }

    void Wake() override {
        if (wake_[1] >= 0) {
            const uint8_t b = 1;
            (void)!::write(wake_[1], &b, 1);
        }
    }

    size_t QueuedBytes() override {
        int n = 0;
        if (fd_ < 0 || ioctl(fd_, FIONREAD, &n) != 0 || n < 0) return 0;
        return static_cast<size_t>(n);
    }

    long Read(uint8_t* dst, size_t max) override {
        for (;;) {
            const ssize_t n = ::read(fd_, dst, max);
            if (n > 0) return n;
            if (n == 0) return -1;  // end of file: the device is gone
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            return -1;
        }
    }

    size_t Write(const uint8_t* bytes, size_t count, int timeoutMs) override {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        size_t done = 0;
        while (done < count && fd_ >= 0) {
            const ssize_t n = ::write(fd_, bytes + done, count - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) break;
        }
        return done;
    }

private:
    static bool Configure(int fd, const LineSettings& s, std::string& reason) {
        termios t{};
        if (tcgetattr(fd, &t) != 0) {
            reason = Reason("tcgetattr", errno);
            return false;
        }
        if (!ApplyLineSettings(t, s, reason)) return false;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        const speed_t code = StandardBaudCode(s.BaudRate);
        if (code != 0) {
            cfsetispeed(&t, code);
            cfsetospeed(&t, code);
        }
        if (tcsetattr(fd, TCSANOW, &t) != 0) {
            reason = Reason("tcsetattr", errno);
            return false;
        }
        if (code == 0 && !SetCustomBaud(fd, s.BaudRate, reason)) return false;
        return true;
    }

    void Drain() {
        uint8_t buf[64];
        while (wake_[0] >= 0 && ::read(wake_[0], buf, sizeof buf) > 0) {
        }
    }

    int fd_ = -1;
    int wake_[2] = {-1, -1};
    bool lowLatencySet_ = false;  // turned on by Open: Close turns it off again
};

}  // namespace

bool ApplyLineSettings(termios& t, const LineSettings& s, std::string& reason) {
    if (s.Stop == StopBits::OneAndHalf) {
        reason = "1.5 stop bits are not available with 8 data bits on this platform";
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    if (s.ParityMode == Parity::Odd) t.c_cflag |= PARENB | PARODD;
    if (s.ParityMode == Parity::Even) t.c_cflag |= PARENB;
    if (s.Stop == StopBits::Two) t.c_cflag |= CSTOPB;
    return true;
}

std::unique_ptr<SerialBackend> MakePlatformSerialBackend() {
    return std::make_unique<PosixSerialBackend>();
}

}  // namespace torvane
