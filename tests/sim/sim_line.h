// The tool's end of a simulated drive's line without the tool: the slave opened raw with
// open(2), frames built and read by hand, so the drive is tested on its own.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "support/frame_builder.h"
#include "support/pty_pair.h"

namespace torvane::sim::test {

using torvane::test::Bytes;
using torvane::test::Frame;
using torvane::test::ReadRequest;
using torvane::test::WriteRequest;

inline Bytes Control(uint16_t word) {
    return WriteRequest(0x6000, {static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)});
}
inline uint8_t Nibble(const Bytes& reply) {
    return reply.size() > 3 ? reply[3] >> 4 : 0xFF;
}
inline Bytes Data(const Bytes& reply) {
    if (reply.size() < kFrameOverhead) return {};
    return Bytes(reply.begin() + kDataOffset, reply.end() - 2);
}

class RawLine {
public:
    explicit RawLine(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
        tcflush(fd_, TCIOFLUSH);
    }
    ~RawLine() {
        if (fd_ >= 0) close(fd_);
    }
    RawLine(const RawLine&) = delete;
    RawLine& operator=(const RawLine&) = delete;
    bool IsOpen() const { return fd_ >= 0; }

    void Send(const Bytes& bytes) { torvane::test::WriteAll(fd_, bytes.data(), bytes.size()); }

    // One read(2) of whatever arrives within `timeout`; empty when nothing came. `hungUp` is
    // set when the line reports a hang-up.
    Bytes ReadSome(std::chrono::milliseconds timeout, bool* hungUp = nullptr) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return {};
        uint8_t buffer[4096];
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n <= 0 || (p.revents & POLLHUP)) {
            if (hungUp && (n <= 0)) *hungUp = true;
            if (n <= 0) return {};
        }
        return Bytes(buffer, buffer + n);
    }

    // Bytes until `n` have come or `timeout` passed.
    Bytes ReadBytes(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (pending_.size() < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            const Bytes got = ReadSome(left);
            if (got.empty()) break;
            pending_.insert(pending_.end(), got.begin(), got.end());
        }
        const size_t take = std::min(n, pending_.size());
        Bytes out(pending_.begin(), pending_.begin() + static_cast<long>(take));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(take));
        return out;
    }

    // The next frame (noise before its header skipped); empty after `timeout`.
    Bytes ReadFrame(std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            Bytes frame = torvane::test::TakeFrame(pending_);
            if (!frame.empty()) return frame;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return {};
            const Bytes got = ReadSome(left);
            if (got.empty()) return {};
            pending_.insert(pending_.end(), got.begin(), got.end());
        }
    }

    Bytes Transact(const Bytes& request) {
        Send(request);
        return ReadFrame();
    }

    // True when nothing arrives for `window`.
    bool Quiet(std::chrono::milliseconds window) {
        return pending_.empty() && ReadSome(window).empty();
    }

private:
    int fd_ = -1;
    Bytes pending_;
};

}  // namespace torvane::sim::test
