#include "serial/serial_port.h"

#include <algorithm>
#include <cstring>

#include "serial/timing.h"

namespace torvane {

SerialPort::SerialPort() : SerialPort(MakePlatformSerialBackend()) {}

SerialPort::SerialPort(std::unique_ptr<SerialBackend> backend) : backend_(std::move(backend)) {}

SerialPort::~SerialPort() {
    Close();
    if (reader_.joinable()) {
        // Close gave up waiting: the reader is stuck in a driver call. Wait for it rather
        // than abort the process with a joinable thread.
        ClearPortOpen();
        reader_.join();
        backend_->Close();
    }
}

bool SerialPort::Open(const std::string& path, std::string* reason) {
    std::string why;
    if (reader_.joinable()) {
        // Still held by this tool (an earlier Close timed out, or the port is open).
        if (reason) *reason = "the port is still in use by this program";
        return false;
    }
    if (!backend_->Open(path, Settings, why)) {
        if (reason) *reason = why;
        return false;
    }
    path_ = path;
    {
        // Bytes of an earlier connection answer nothing of this one: they would only be cut as
        // stale replies, or keep a full buffer full.
        std::lock_guard<std::mutex> lock(RxLock);
        RxCount = 0;
        overflowEpisode_ = false;
    }
    portOpen_ = true;  // must be set before the reader starts polling it
    readerDone_ = false;
    reader_ = std::thread([this] {
        ReaderThread();
        {
            std::lock_guard<std::mutex> lock(doneLock_);
            readerDone_ = true;
        }
        doneCv_.notify_all();
        // WaitForRx must see that nothing more will arrive.
        WakeRxWaiters();
    });
    return true;
}

void SerialPort::ClearPortOpen() {
    portOpen_ = false;
    backend_->Wake();
    WakeRxWaiters();
}

bool SerialPort::Close() {
    ClearPortOpen();
    if (!reader_.joinable()) return true;
    {
        std::unique_lock<std::mutex> lock(doneLock_);
        if (!doneCv_.wait_for(lock, Period(timeout::kThreadEnd), [this] { return readerDone_.load(); }))
            return false;
    }
    reader_.join();
    backend_->Close();
    return true;
}

uint16_t SerialPort::Write(const uint8_t* bytes, uint8_t count) {
    if (!reader_.joinable()) return 0;
    return static_cast<uint16_t>(backend_->Write(bytes, count, PeriodMs(timeout::kSerialWrite)));
}

uint16_t SerialPort::RxCountNow() {
    std::lock_guard<std::mutex> lock(RxLock);
    return RxCount;
}

void SerialPort::ConsumeLocked(size_t drop) {
    drop = std::min<size_t>(drop, RxCount);
    if (drop == 0) return;
    std::memmove(RxBuffer, RxBuffer + drop, RxCount - drop);
    RxCount = static_cast<uint16_t>(RxCount - drop);
    // Everything received was taken: the line is clean again, so a later overflow is news.
    if (RxCount == 0) overflowEpisode_ = false;
}

bool SerialPort::WaitForRx(uint64_t& seen, const std::atomic<bool>& stop) {
    std::unique_lock<std::mutex> lock(RxLock);
    rxCv_.wait(lock, [&] { return rxSeq_ != seen || stop.load() || !portOpen_.load() || readerDone_.load(); });
    if (rxSeq_ != seen) {
        seen = rxSeq_;
        return !stop.load();
    }
    // Reader ended (lost device) while PortOpen is still set: nothing more will come,
    // but the consumer keeps running until the port is closed.
    if (!stop.load() && portOpen_.load()) {
        rxCv_.wait(lock, [&] { return stop.load() || !portOpen_.load(); });
    }
    return false;
}

void SerialPort::WakeRxWaiters() {
    { std::lock_guard<std::mutex> lock(RxLock); }  // a waiter between predicate and wait sees it
    rxCv_.notify_all();
}

void SerialPort::SetEventHandler(std::function<void(PortEvent)> handler) {
    std::lock_guard<std::mutex> lock(handlerLock_);
    handler_ = std::move(handler);
}

void SerialPort::Raise(PortEvent e) {
    std::function<void(PortEvent)> h;
    {
        std::lock_guard<std::mutex> lock(handlerLock_);
        h = handler_;
    }
    if (h) h(e);
}

void SerialPort::ReaderThread() {
    // At most half the buffer per read: when room must be made, the newest half of what was
    // there survives, so a frame (at most 255 bytes) that straddles the overflow is kept whole.
    constexpr size_t kMaxRead = kRxBufferSize / 2;
    uint8_t local[kMaxRead];
    while (portOpen_) {
        const SerialBackend::WaitResult w = backend_->WaitReadable();
        if (!portOpen_) break;
        if (w == SerialBackend::WaitResult::Woken) continue;
        if (w == SerialBackend::WaitResult::HungUp || w == SerialBackend::WaitResult::Error) {
            Raise(PortEvent::Lost);
            return;
        }
        // Take everything queued, up to kMaxRead, in one read.
        const size_t queued = std::min(backend_->QueuedBytes(), kMaxRead);
        const long n = backend_->Read(local, queued ? queued : kMaxRead);
        if (n < 0) {
            Raise(PortEvent::Lost);
            return;
        }
        if (n == 0) continue;
        const size_t got = static_cast<size_t>(n);
        bool report = false;
        {
            std::lock_guard<std::mutex> lock(RxLock);
            report = RxCount + got > kRxBufferSize && !overflowEpisode_;
            if (report) overflowEpisode_ = true;
        }
        // Reported before the bytes are seen: a transaction that this read completes returns
        // after its caller has had the event.
        if (report) Raise(PortEvent::Overflow);
        {
            std::lock_guard<std::mutex> lock(RxLock);
            if (RxCount + got > kRxBufferSize) {
                // A full buffer holds no complete frame (the consumer cuts every one it sees), so
                // its oldest bytes are noise or a frame that can no longer complete: drop them
                // and keep listening, rather than stop and leave the port deaf.
                const size_t drop = RxCount + got - kRxBufferSize;
                std::memmove(RxBuffer, RxBuffer + drop, RxCount - drop);
                RxCount = static_cast<uint16_t>(RxCount - drop);
            }
            std::memcpy(RxBuffer + RxCount, local, got);
            RxCount = static_cast<uint16_t>(RxCount + got);
            ++rxSeq_;
        }
        rxCv_.notify_all();
    }
}

}  // namespace torvane
