#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace torvane::test {

bool WriteAll(int fd, const uint8_t* bytes, size_t count, std::chrono::milliseconds wait) {
    size_t done = 0;
    while (done < count) {
        if (fd < 0) return false;
        const ssize_t n = ::write(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return false;
    }
    return true;
}

PtyPair::PtyPair() {
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    // Raw on the slave side: no echo, no line editing, no CR/LF translation of binary frames.
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
    master_ = master;
    slaveKeep_ = slave;
    slavePath_ = name;
}

PtyPair::~PtyPair() {
    HangUp();
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
}

bool PtyPair::Send(const uint8_t* bytes, size_t count) {
    std::lock_guard<std::mutex> lock(sendLock_);
    return WriteAll(master_, bytes, count);
}

long PtyPair::Receive(uint8_t* buffer, size_t size) {
    for (;;) {
        if (master_ < 0) return -1;
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        // The wake-up byte stays in the pipe, so every later call returns at once too.
        if (fds[1].revents & POLLIN) return 0;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(master_, buffer, size);
            if (n > 0) return n;
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            return -1;
        }
        if (fds[0].revents & POLLNVAL) return -1;
        // POLLHUP with nothing to read: no slave descriptor is open right now (only after
        // HangUp closed ours); look again shortly rather than spin.
        if (fds[0].revents & POLLHUP) ::usleep(1000);
    }
}

void PtyPair::Interrupt() {
    if (wake_[1] >= 0) (void)!::write(wake_[1], "x", 1);
}

void PtyPair::HangUp() {
    std::lock_guard<std::mutex> lock(sendLock_);
    if (master_ >= 0) ::close(master_);
    master_ = -1;
    if (slaveKeep_ >= 0) ::close(slaveKeep_);
    slaveKeep_ = -1;
}

std::string PtyPair::LinkAs(const std::string& folder, const std::string& name) const {
    if (slavePath_.empty()) return {};
    const std::string link = folder + "/" + name;
    return ::symlink(slavePath_.c_str(), link.c_str()) == 0 ? link : std::string();
}

}  // namespace torvane::test
