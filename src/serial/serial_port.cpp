#include "serial/serial_port.h"

#include <algorithm>
#include <cstring>

#include "protocol/timing.h"

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
}

bool SerialPort::WaitForRx(uint64_t& seen, const std::atomic<bool>& stop) {
    std::unique_lock<std::mutex> lock(RxLock);
    rxCv_.wait(lock, [&] { return rxSeq_ != seen || stop.load() || !portOpen_.load() || readerDone_.load(); });
    if (rxSeq_ != seen) {
        seen = rxSeq_;
        return !stop.load();
    }
    // Reader ended (overflow, lost device) while PortOpen is still set: nothing more will come,
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
    uint8_t local[kRxBufferSize];
    while (portOpen_) {
        const SerialBackend::WaitResult w = backend_->WaitReadable();
        if (!portOpen_) break;
        if (w == SerialBackend::WaitResult::Woken) continue;
        if (w == SerialBackend::WaitResult::HungUp || w == SerialBackend::WaitResult::Error) {
            Raise(PortEvent::Lost);
            return;
        }
        // Take everything queued, at most one buffer's worth, in one read.
        const size_t queued = std::min(backend_->QueuedBytes(), kRxBufferSize);
        const long n = backend_->Read(local, queued ? queued : kRxBufferSize);
        if (n < 0) {
            Raise(PortEvent::Lost);
            return;
        }
        if (n == 0) continue;
        bool overflow = false;
        {
            std::lock_guard<std::mutex> lock(RxLock);
            if (RxCount + static_cast<size_t>(n) > kRxBufferSize) {
                overflow = true;
            } else {
                std::memcpy(RxBuffer + RxCount, local, static_cast<size_t>(n));
                RxCount = static_cast<uint16_t>(RxCount + n);
                ++rxSeq_;
            }
        }
        if (overflow) {
            // The consumer cannot keep up or the stream holds no frame: stop receiving rather
            // than overwrite; the port stays open (and deaf) until it is closed.
            Raise(PortEvent::Overflow);
            return;
        }
        rxCv_.notify_all();
    }
}

}  // namespace torvane
