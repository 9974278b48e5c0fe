// SerialPort: the tool's one byte channel to the drive.
//
// Open() opens a device path exclusively (a second open of the same port, from this or another
// process, fails), applies the line settings, clears DTR and RTS, purges both directions and
// starts the reader thread, which moves every received byte into RxBuffer under RxLock. It
// knows nothing of frames: the FrameExtractor cuts them out of RxBuffer.
//
// Threads: Open, Close, Write and Search are called from one controlling thread (the UI
// thread). The reader thread appends to RxBuffer; one consumer (the FrameExtractor) removes
// bytes from its front with WithRx(). The event handler runs on the reader thread: it must not
// touch widgets (post to the UI thread instead).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/port_search.h"

namespace torvane {

enum class Parity : uint8_t { None = 0, Odd = 1, Even = 2 };
enum class StopBits : uint8_t { One = 0, OneAndHalf = 1, Two = 2 };

struct LineSettings {
    uint32_t BaudRate = 115200;
    uint8_t DataBits = 8;
    Parity ParityMode = Parity::None;
    StopBits Stop = StopBits::One;
};

enum class PortEvent {
    // "Serial data overflow": the receive buffer was full, so its oldest bytes were dropped to
    // make room (the reader goes on). Raised once per episode: not again until the consumer
    // has emptied the buffer or the port is reopened.
    Overflow,
    Lost,  // the device went away (hang-up, I/O error); the reader has ended
};

constexpr const char* kOverflowMessage = "Serial data overflow";
constexpr size_t kRxBufferSize = 1024;

// Platform part of a port: the POSIX one is in serial_port_posix.cpp, the Windows one in
// serial_port_win.cpp.
class SerialBackend {
public:
    enum class WaitResult { Readable, Woken, HungUp, Error };
    virtual ~SerialBackend() = default;
    // Opens `path` exclusively with `settings`; on failure returns false with the reason.
    virtual bool Open(const std::string& path, const LineSettings& settings,
                      std::string& reason) = 0;
    virtual void Close() = 0;
    // Blocks until bytes are queued, Wake() is called, or the device hangs up.
    virtual WaitResult WaitReadable() = 0;
    virtual void Wake() = 0;
    // Bytes queued in the driver's receive queue right now.
    virtual size_t QueuedBytes() = 0;
    // Reads up to `max` queued bytes without blocking; -1 on a device error.
    virtual long Read(uint8_t* dst, size_t max) = 0;
    // Writes all `count` bytes, waiting at most `timeoutMs` for the driver to take them;
    // returns the number written.
    virtual size_t Write(const uint8_t* bytes, size_t count, int timeoutMs) = 0;
};

std::unique_ptr<SerialBackend> MakePlatformSerialBackend();

class SerialPort {
public:
    SerialPort();
    explicit SerialPort(std::unique_ptr<SerialBackend> backend);
    ~SerialPort();  // closes the port
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Line settings used by the next Open (8 data bits always).
    LineSettings Settings;
    // Result of the last Search: device paths in a stable, ascending order.
    std::vector<std::string> PortList;
    // The same ports with their descriptions and stable names (FindPorts).
    std::vector<FoundPort> FoundPorts;

    // Opens `path` with an empty receive buffer and starts the reader thread; sets PortOpen.
    // On failure returns false, leaves every field as it was and puts the system's reason in
    // `reason`.
    bool Open(const std::string& path, std::string* reason = nullptr);
    // Clears PortOpen and wakes the reader and any WaitForRx, without waiting.
    void ClearPortOpen();
    // Clears PortOpen, waits at most 1000 ms for the reader to end, then closes the device.
    // Returns false (and releases nothing) when the reader did not end in time.
    bool Close();
    bool PortOpen() const { return portOpen_.load(); }
    const std::string& Path() const { return path_; }

    // Sends `count` bytes; returns the number written, 0 when the port is not open.
    // Waits at most 1000 ms for the driver to take them.
    uint16_t Write(const uint8_t* bytes, uint8_t count);

    // Port search: fills FoundPorts with FindPorts(devDir, sysfsRoot) (serial/port_search.h),
    // the serial ports under `devDir` found without opening any of them, and PortList with
    // their paths. On Windows: the registered COM ports, "COM%d" in ascending order; "COM7",
    // "com7" and "\\.\COM7" all open \\.\COM7.
    void Search(const std::string& devDir = "/dev", const std::string& sysfsRoot = "/sys");

    // Receive side. The reader appends behind RxCount under RxLock; the consumer calls
    // WithRx(fn) to look at and consume bytes from the front, under RxLock. fn(buffer, count)
    // returns how many bytes to drop from the front. Never wait inside fn.
    template <class Fn>
    void WithRx(Fn&& fn) {
        std::lock_guard<std::mutex> lock(RxLock);
        const size_t drop = fn(static_cast<const uint8_t*>(RxBuffer), size_t{RxCount});
        ConsumeLocked(drop);
    }
    uint16_t RxCountNow();
    // Blocks until bytes were appended since `seen` (a sequence number, updated here), or
    // `stop` is set, or PortOpen is cleared. Returns false in the last two cases.
    bool WaitForRx(uint64_t& seen, const std::atomic<bool>& stop);
    // Wakes every WaitForRx (after setting a stop flag).
    void WakeRxWaiters();

    // Called on the reader thread for Overflow and Lost; set before Open.
    void SetEventHandler(std::function<void(PortEvent)> handler);

private:
    // The receive buffer: the reader appends, the consumer removes from the front, both
    // under RxLock only.
    std::mutex RxLock;
    uint8_t RxBuffer[kRxBufferSize] = {};
    uint16_t RxCount = 0;

    void ReaderThread();
    void ConsumeLocked(size_t drop);
    void Raise(PortEvent e);

    std::unique_ptr<SerialBackend> backend_;
    std::atomic<bool> portOpen_{false};
    std::atomic<bool> readerDone_{true};
    std::thread reader_;
    std::string path_;
    std::condition_variable rxCv_;
    uint64_t rxSeq_ = 0;  // under RxLock
    bool overflowEpisode_ = false;  // under RxLock: Overflow raised, buffer not emptied since
    std::mutex handlerLock_;
    std::function<void(PortEvent)> handler_;
    std::mutex doneLock_;
    std::condition_variable doneCv_;
};

}  // namespace torvane
