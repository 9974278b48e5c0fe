#include "protocol/drive_link.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "protocol/frame_extractor.h"
#include "protocol/register_map.h"
#include "serial/timing.h"

namespace torvane {

bool TraceEnabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("TORVANE_TRACE");
        return v != nullptr && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

void TraceFrame(const char* direction, const uint8_t* bytes, size_t count) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    const long ms = static_cast<long>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm local{};
    localtime_r(&t, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    // One fprintf per line so lines of the two threads never interleave.
    std::fprintf(stderr, "%s.%03ld %s %s\n", stamp, ms, direction, HexBytes(bytes, count).c_str());
}

DriveLink::DriveLink(SerialPort& port, DriveState& state, MotionFields& motion)
    : port_(port), state_(state), motion_(motion), dispatcher_(state, motion, Capture),
      trace_(TraceEnabled()) {
    port_.SetEventHandler([this](PortEvent e) {
        std::function<void(PortEvent)> h;
        {
            std::lock_guard<std::mutex> lock(eventHandlerLock_);
            h = eventHandler_;
        }
        // Report first, then end the wait: a transaction that fails because the port went
        // away returns only after its caller's handler has seen the loss.
        if (h) h(e);
        if (e == PortEvent::Lost) replyEvent_.Interrupt();
    });
}

DriveLink::~DriveLink() {
    port_.SetEventHandler(nullptr);
    stopExtractor_ = true;
    port_.WakeRxWaiters();
    if (extractor_.joinable()) extractor_.join();
}

void DriveLink::SetPortEventHandler(std::function<void(PortEvent)> handler) {
    std::lock_guard<std::mutex> lock(eventHandlerLock_);
    eventHandler_ = std::move(handler);
}

void DriveLink::StartExtractor() {
    if (extractor_.joinable()) {
        if (!extractorDone_) return;  // already running
        extractor_.join();
    }
    stopExtractor_ = false;
    extractorDone_ = false;
    replyEvent_.ClearInterrupt();
    extractor_ = std::thread([this] {
        ExtractorLoop();
        {
            std::lock_guard<std::mutex> lock(doneLock_);
            extractorDone_ = true;
        }
        doneCv_.notify_all();
    });
}

bool DriveLink::StopExtractor() {
    if (!extractor_.joinable()) return true;
    stopExtractor_ = true;
    port_.WakeRxWaiters();
    std::unique_lock<std::mutex> lock(doneLock_);
    if (!doneCv_.wait_for(lock, Period(timeout::kThreadEnd), [this] { return extractorDone_.load(); }))
        return false;
    lock.unlock();
    extractor_.join();
    return true;
}

void DriveLink::ExtractorLoop() {
    uint64_t seen = 0;
    std::vector<uint8_t> frames;  // frames cut in one pass, dispatched after RxLock is released
    std::vector<size_t> sizes;
    while (!stopExtractor_ && port_.PortOpen()) {
        frames.clear();
        sizes.clear();
        port_.WithRx([&](const uint8_t* bytes, size_t count) {
            return CutFrames(bytes, count, [&](const uint8_t* f, size_t n) {
                frames.insert(frames.end(), f, f + n);
                sizes.push_back(n);
            });
        });
        size_t at = 0;
        for (size_t n : sizes) {
            OnFrame(frames.data() + at, n);
            at += n;
        }
        if (!port_.WaitForRx(seen, stopExtractor_)) break;
    }
}

void DriveLink::OnFrame(const uint8_t* frame, size_t size) {
    if (trace_) TraceFrame("RX", frame, size);
    RxFrameLength = static_cast<uint8_t>(size);
    std::memcpy(RxFrame.data(), frame, size);
    {
        std::lock_guard<std::mutex> lock(pendingLock_);
        if (dispatcher_.Dispatch(RxFrame.data(), size, pending_)) {
            const size_t carried = size >= kFrameOverhead ? size - kFrameOverhead : 0;
            lastReplyData_.assign(RxFrame.data() + kDataOffset, RxFrame.data() + kDataOffset + carried);
            pending_.reset();  // answered: later frames must not overwrite what it stored
            replyEvent_.Set();
        }
    }
    std::memset(RxFrame.data(), 0, size);
}

DriveLink::Outcome DriveLink::Exchange(const uint8_t* frame, size_t size, RegisterAddress address,
                                       std::chrono::microseconds wait) {
    if (!port_.PortOpen()) return Outcome::NoReply;
    {
        std::lock_guard<std::mutex> lock(pendingLock_);
        pending_ = address;
        lastReplyData_.clear();
        replyEvent_.Clear();
    }
    if (trace_) TraceFrame("TX", frame, size);
    port_.Write(frame, static_cast<uint8_t>(size));
    bool replied = replyEvent_.Wait(wait);
    {
        // Taking the lock waits out a dispatch in progress; a reply that completed in that
        // instant still counts, and nothing is stored for this request after this point.
        std::lock_guard<std::mutex> lock(pendingLock_);
        if (!replied && !pending_) replied = true;
        pending_.reset();
    }
    return replied ? Outcome::Reply : Outcome::NoReply;
}

DriveError DriveLink::Finish(RegisterAddress address, bool read) {
    if (state_.ReplyStatus != 0) {
        if (handler_) handler_->OnErrorReply(address, read);
        return static_cast<DriveError>((state_.ReplyStatus >> 4) | 0xF0);
    }
    if (handler_) {
        if (read)
            handler_->OnReadReply(address);
        else
            handler_->OnWriteReply(address);
    }
    return kSuccess;
}

DriveError DriveLink::ReadRegister(RegisterAddress address, uint8_t count) {
    const size_t size = BuildFrame(TxFrame.data(), kFunctionRead, address, count, 0);
    if (Exchange(TxFrame.data(), size, address, Period(timeout::kReply)) != Outcome::Reply)
        return kDeviceNoResponse;
    return Finish(address, true);
}

DriveError DriveLink::WriteRegister(RegisterAddress address, uint8_t count) {
    // The largest frame is 255 bytes: a longer payload cannot be sent.
    if (count > kMaxFrameSize - kFrameOverhead) return kDeviceNoResponse;
    const size_t size = BuildFrame(TxFrame.data(), kFunctionWrite, address, count, count);
    if (Exchange(TxFrame.data(), size, address, Period(timeout::kReply)) != Outcome::Reply)
        return kDeviceNoResponse;
    return Finish(address, false);
}

uint8_t DriveLink::WriteRegisterQuick(RegisterAddress address, uint8_t count,
                                      std::array<uint8_t, kTxFrameSize>& frame) {
    if (count > kMaxFrameSize - kFrameOverhead) return 1;
    const size_t size = BuildFrame(frame.data(), kFunctionWrite, address, count, count);
    return Exchange(frame.data(), size, address, Period(timeout::kQuickReply)) == Outcome::Reply
               ? 0
               : 1;
}

DriveError DriveLink::ReadBackCapture(RegisterAddress countRegister) {
    if (const DriveError e = ReadRegister(countRegister, size::kTestLength)) return e;
    uint16_t waiting = 0;
    switch (countRegister) {
        case reg::kCurrentTestLength: waiting = state_.CurrentTestLength; break;
        case reg::kSpeedTestLength: waiting = state_.SpeedTestLength; break;
        case reg::kPositionTestLength: waiting = state_.PositionTestLength; break;
        default: return kDeviceNoResponse;
    }
    // The buffer holds what 0x8000..0xA000 can address; a larger count cannot be real.
    Capture.CaptureOffset = 0;
    Capture.CaptureRemaining = std::min<uint16_t>(waiting, kCaptureBufferSize);
    while (Capture.CaptureRemaining != 0) {
        const uint8_t block = static_cast<uint8_t>(
            std::min<uint16_t>(Capture.CaptureRemaining, size::kCaptureBlock));
        const RegisterAddress at = static_cast<RegisterAddress>(reg::kCaptureFirst + Capture.CaptureOffset);
        if (const DriveError e = ReadRegister(at, block)) return e;
    }
    return kSuccess;
}

}  // namespace torvane
