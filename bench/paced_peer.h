// PacedPeer: a drive stand-in on a pseudo-terminal whose replies take the time a real serial line
// needs, so that round-trip figures measured through the real port mean something.
//
// Model (10 bits a byte at `baud`, T = 10 / baud seconds): a request whose first byte the peer
// sees at t0 has fully arrived at t0 + size x T; reply byte k (0-based) is written at its due
// time, request end + (k + 1) x T, i.e. when a UART would have received its stop bit. Bytes are
// never written early: the peer sleeps until a byte is due (timer slack set to 1 ns) and then
// writes every byte that is due by then, so a late wake-up is caught up in one small burst.
//
// Answers: a read of n bytes gets n data bytes (the test-length registers report
// CaptureLength(); a capture block 0x8000 + offset carries bytes (offset + i) & 0xFF), a write
// gets an empty acknowledgement.
//
// Threads: one serving thread of its own; the public methods may be called from any thread.
#pragma once

#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/frame.h"
#include "protocol/register_map.h"
#include "support/frame_builder.h"
#include "support/pty_pair.h"

namespace torvane::bench {

class PacedPeer {
public:
    using Clock = std::chrono::steady_clock;

    // Times of the last exchange, on the steady clock.
    struct Exchange {
        Clock::time_point FirstRequestByte;  // when the peer saw the request's first byte
        Clock::time_point LastByteDue;       // when the reply's last byte was due
        Clock::time_point LastByteWritten;   // when it was handed to the pty
        uint64_t Number = 0;                 // 1 for the first exchange, then counting up
    };

    explicit PacedPeer(uint32_t baud = 115200)
        : byteTime_(std::chrono::nanoseconds(10'000'000'000LL / baud)) {
        if (pty_.Ok()) thread_ = std::thread([this] { Serve(); });
    }

    ~PacedPeer() {
        pty_.Interrupt();
        if (thread_.joinable()) thread_.join();
    }

    PacedPeer(const PacedPeer&) = delete;
    PacedPeer& operator=(const PacedPeer&) = delete;

    bool Ok() const { return pty_.Ok() && thread_.joinable(); }
    const std::string& SlavePath() const { return pty_.SlavePath(); }
    std::chrono::nanoseconds ByteTime() const { return byteTime_; }

    void SetCaptureLength(uint16_t bytes) { captureLength_ = bytes; }

    // CPU time the serving thread has used, as of the end of its last reply.
    double CpuSeconds() const { return cpuSeconds_.load(); }
    // Kernel thread id of the serving thread (0 until it runs).
    pid_t ThreadId() const { return tid_.load(); }

    Exchange LastExchange() {
        std::lock_guard<std::mutex> lock(m_);
        return last_;
    }

    // Waits at most 1 s for an exchange numbered above `number` (the tool may have processed a
    // reply before the peer thread got round to recording it) and returns the last one.
    Exchange WaitExchangeAfter(uint64_t number) {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_for(lock, std::chrono::seconds(1), [&] { return last_.Number > number; });
        return last_;
    }

private:
    static void SleepUntil(Clock::time_point due) {
        // steady_clock is CLOCK_MONOTONIC on Linux, so its epoch is the one clock_nanosleep uses.
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch());
        timespec ts{static_cast<time_t>(ns.count() / 1'000'000'000),
                    static_cast<long>(ns.count() % 1'000'000'000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
    }

    std::vector<uint8_t> ReplyTo(const std::vector<uint8_t>& req) const {
        const uint8_t function = req[3];
        const RegisterAddress address = static_cast<RegisterAddress>(req[4] << 8 | req[5]);
        const uint8_t count = req[6];
        const bool read = function == kFunctionRead;
        test::Bytes data(read ? count : 0, 0);
        if (read && IsCaptureBlock(address)) {
            const unsigned offset = address - reg::kCaptureFirst;
            for (unsigned i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(offset + i);
        } else if (read && data.size() >= 2 &&
                   (address == reg::kCurrentTestLength || address == reg::kSpeedTestLength ||
                    address == reg::kPositionTestLength)) {
            PutU16BE(data.data(), captureLength_.load());
        }
        return test::ReplyFrame(address, read ? kFunctionRead : kFunctionWrite, data);
    }

    void Send(const std::vector<uint8_t>& reply, Clock::time_point requestEnd) {
        const size_t n = reply.size();
        size_t sent = 0;
        Clock::time_point lastWritten{};
        while (sent < n) {
            const Clock::time_point due = requestEnd + byteTime_ * static_cast<long>(sent + 1);
            if (Clock::now() < due) SleepUntil(due);
            const Clock::time_point now = Clock::now();
            // Everything due by now goes out together.
            size_t upTo = sent + 1;
            while (upTo < n && requestEnd + byteTime_ * static_cast<long>(upTo + 1) <= now) ++upTo;
            lastWritten = now;
            pty_.Send(reply.data() + sent, upTo - sent);
            sent = upTo;
        }
        {
            std::lock_guard<std::mutex> lock(m_);
            last_.LastByteDue = requestEnd + byteTime_ * static_cast<long>(n);
            last_.LastByteWritten = lastWritten;
            ++last_.Number;
        }
        cv_.notify_all();
        timespec cpu{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
        cpuSeconds_ = static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9;
    }

    void Serve() {
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        tid_ = gettid();
        std::vector<uint8_t> pending;
        Clock::time_point firstByte{};
        uint8_t buf[512];
        for (;;) {
            const long got = pty_.Receive(buf, sizeof buf);
            if (got <= 0) return;
            if (pending.empty()) firstByte = Clock::now();
            pending.insert(pending.end(), buf, buf + got);
            for (test::Bytes req = test::TakeFrame(pending); !req.empty();
                 req = test::TakeFrame(pending)) {
                const Clock::time_point requestEnd =
                    firstByte + byteTime_ * static_cast<long>(req.size());
                {
                    std::lock_guard<std::mutex> lock(m_);
                    last_.FirstRequestByte = firstByte;
                }
                Send(ReplyTo(req), requestEnd);
                firstByte = Clock::now();  // a request queued behind this one
            }
        }
    }

    const std::chrono::nanoseconds byteTime_;
    test::PtyPair pty_;
    std::atomic<uint16_t> captureLength_{8192};
    std::atomic<double> cpuSeconds_{0};
    std::atomic<pid_t> tid_{0};
    std::mutex m_;
    std::condition_variable cv_;
    Exchange last_;
    std::thread thread_;
};

}  // namespace torvane::bench
