// Windows serial backend: an overlapped COM port handle; the reader waits on a pending one-byte
// read and on a wake-up event, so it sleeps until a byte arrives, Wake() is called or the
// device goes away.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "serial/com_port_name.h"
#include "serial/serial_port.h"
#include "serial/win_text.h"

namespace torvane {

namespace {

std::string OpenFailure(const std::string& path, DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return path + ": no such port";
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return path + ": in use by another program";
        default:
            return path + ": " + SystemErrorText(error);
    }
}

class WinSerialBackend final : public SerialBackend {
public:
    WinSerialBackend()
        : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          readDone_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          writeDone_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~WinSerialBackend() override {
        Close();
        for (HANDLE h : {wake_, readDone_, writeDone_}) {
            if (h != nullptr) CloseHandle(h);
        }
    }

    bool Open(const std::string& path, const LineSettings& s, std::string& reason) override {
        if (port_ != INVALID_HANDLE_VALUE) {
            reason = "the port is already open";
            return false;
        }
        if (path.empty()) {
            reason = "no port selected";
            return false;
        }
        if (s.Stop == StopBits::OneAndHalf) {
            reason = "1.5 stop bits are not available with 8 data bits";
            return false;
        }
        const std::string device = ComDevicePath(path);
        // Serial drivers refuse a second open by themselves; the lock keeps the rule where a
        // driver shares its ports (wine's, some virtual port drivers).
        SetLastError(ERROR_SUCCESS);
        HANDLE lock = CreateMutexW(nullptr, FALSE, WideFromUtf8(PortLockName(device)).c_str());
        const DWORD lockError = GetLastError();
        if ((lock != nullptr && lockError == ERROR_ALREADY_EXISTS) ||
            (lock == nullptr && lockError == ERROR_ACCESS_DENIED)) {
            if (lock != nullptr) CloseHandle(lock);
            reason = device + ": in use by another program";
            return false;
        }
        const HANDLE h = CreateFileW(WideFromUtf8(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            reason = OpenFailure(device, GetLastError());
            if (lock != nullptr) CloseHandle(lock);
            return false;
        }
        if (!Configure(h, device, s, reason)) {
            CloseHandle(h);
            if (lock != nullptr) CloseHandle(lock);
            return false;
        }
        port_ = h;
        lock_ = lock;
        stashCount_ = 0;
        readPending_ = false;
        ResetEvent(wake_);  // a Wake() meant for an earlier connection
        return true;
    }

    void Close() override {
        if (port_ == INVALID_HANDLE_VALUE) return;
        if (readPending_) {
            // The kernel writes into readOv_ and firstByte_ until the read has ended.
            CancelIoEx(port_, &readOv_);
            DWORD n = 0;
            GetOverlappedResult(port_, &readOv_, &n, TRUE);
            readPending_ = false;
        }
        CloseHandle(port_);
        port_ = INVALID_HANDLE_VALUE;
        if (lock_ != nullptr) CloseHandle(lock_);
        lock_ = nullptr;
        stashCount_ = 0;
    }

    WaitResult WaitReadable() override {
        if (stashCount_ > 0) return WaitResult::Readable;
        int fruitless = 0;  // reads that ended without a byte, in a row
        for (;;) {
            if (!readPending_) {
                // A read of one byte with no time-out set completes when a byte arrives.
                std::memset(&readOv_, 0, sizeof readOv_);
                readOv_.hEvent = readDone_;
                ResetEvent(readDone_);
                DWORD n = 0;
                if (ReadFile(port_, &firstByte_, 1, &n, &readOv_)) {
                    if (n == 1) return TakeFirstByte();
                    if (!Retry(fruitless, ERROR_SUCCESS)) return WaitResult::HungUp;
                    continue;
                }
                const DWORD error = GetLastError();
                if (error != ERROR_IO_PENDING) {
                    if (!Retry(fruitless, error)) return WaitResult::HungUp;
                    continue;
                }
                readPending_ = true;
            }
            const HANDLE handles[2] = {readDone_, wake_};
            const DWORD w = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (w == WAIT_OBJECT_0 + 1) return WaitResult::Woken;  // the read stays pending
            if (w != WAIT_OBJECT_0) return WaitResult::Error;
            readPending_ = false;
            DWORD n = 0;
            const BOOL done = GetOverlappedResult(port_, &readOv_, &n, FALSE);
            const DWORD error = done ? ERROR_SUCCESS : GetLastError();
            if (done && n == 1) return TakeFirstByte();
            if (!Retry(fruitless, error)) return WaitResult::HungUp;
        }
    }

    void Wake() override {
        if (wake_ != nullptr) SetEvent(wake_);
    }

    size_t QueuedBytes() override { return stashCount_; }

    long Read(uint8_t* dst, size_t max) override {
        const size_t n = std::min(max, stashCount_);
        std::memcpy(dst, stash_, n);
        std::memmove(stash_, stash_ + n, stashCount_ - n);
        stashCount_ -= n;
        return static_cast<long>(n);
    }

    size_t Write(const uint8_t* bytes, size_t count, int timeoutMs) override {
        if (port_ == INVALID_HANDLE_VALUE || count == 0) return 0;
        DWORD errors = 0;
        ClearCommError(port_, &errors, nullptr);  // a line error must not stall the write
        OVERLAPPED ov{};
        ov.hEvent = writeDone_;
        ResetEvent(writeDone_);
        DWORD n = 0;
        if (WriteFile(port_, bytes, static_cast<DWORD>(count), &n, &ov)) return n;
        if (GetLastError() != ERROR_IO_PENDING) return 0;
        if (WaitForSingleObject(writeDone_, static_cast<DWORD>(std::max(timeoutMs, 0))) !=
            WAIT_OBJECT_0)
            CancelIoEx(port_, &ov);
        // Wait for the end of the write (cancelled or not) before `ov` goes out of scope; a
        // cancelled write reports what it had sent.
        GetOverlappedResult(port_, &ov, &n, TRUE);
        return n;
    }

private:
    static bool Configure(HANDLE h, const std::string& device, const LineSettings& s,
                          std::string& reason) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(h, &dcb)) {
            reason = device + ": not a serial port (" + SystemErrorText(GetLastError()) + ")";
            return false;
        }
        SetupComm(h, kRxBufferSize, kRxBufferSize);
        // No time-outs: a read ends when it has its bytes. The reader asks only for bytes that
        // are queued, or for one byte when it waits; writes are bounded by Write's own wait.
        COMMTIMEOUTS timeouts{};
        SetCommTimeouts(h, &timeouts);

        dcb.BaudRate = s.BaudRate;
        dcb.ByteSize = 8;
        dcb.Parity = s.ParityMode == Parity::Odd    ? ODDPARITY
                     : s.ParityMode == Parity::Even ? EVENPARITY
                                                    : NOPARITY;
        dcb.StopBits = s.Stop == StopBits::Two ? TWOSTOPBITS : ONESTOPBIT;
        dcb.fBinary = TRUE;  // the only mode Windows has
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fAbortOnError = FALSE;
        // SetCommState refuses equal XON and XOFF characters even with flow control off.
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        if (!SetCommState(h, &dcb)) {
            reason = device + ": the line settings cannot be applied (" +
                     SystemErrorText(GetLastError()) + ")";
            return false;
        }
        DCB applied{};
        applied.DCBlength = sizeof applied;
        if (GetCommState(h, &applied) && applied.BaudRate != s.BaudRate) {
            reason = "baud rate " + std::to_string(s.BaudRate) + " cannot be set on " + device +
                     " (the driver runs it at " + std::to_string(applied.BaudRate) + ")";
            return false;
        }
        // DTR_CONTROL_DISABLE has dropped the lines already; ports without modem lines refuse.
        EscapeCommFunction(h, CLRDTR);
        EscapeCommFunction(h, CLRRTS);
        PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
        DWORD errors = 0;
        ClearCommError(h, &errors, nullptr);
        return true;
    }

    // After the first byte, takes what else is queued now in one read (it completes at once:
    // the bytes are there).
    WaitResult TakeFirstByte() {
        stash_[0] = firstByte_;
        stashCount_ = 1;
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(port_, &errors, &status) || status.cbInQue == 0)
            return WaitResult::Readable;
        const DWORD want =
            static_cast<DWORD>(std::min<size_t>(status.cbInQue, kRxBufferSize - stashCount_));
        std::memset(&readOv_, 0, sizeof readOv_);
        readOv_.hEvent = readDone_;
        ResetEvent(readDone_);
        DWORD n = 0;
        if (!ReadFile(port_, stash_ + stashCount_, want, &n, &readOv_)) {
            if (GetLastError() != ERROR_IO_PENDING) return WaitResult::Readable;
            if (WaitForSingleObject(readDone_, 1000) != WAIT_OBJECT_0) CancelIoEx(port_, &readOv_);
            if (!GetOverlappedResult(port_, &readOv_, &n, TRUE)) n = 0;
        }
        stashCount_ += n;
        return WaitResult::Readable;
    }

    // A read that ended without a byte: go on waiting while the port still answers a status
    // query, a few times in a row at most (no spinning on a port that keeps failing). An
    // unplugged adapter fails its pending read and then its status query, or keeps failing.
    bool Retry(int& fruitless, DWORD error) {
        if (error != ERROR_SUCCESS && error != ERROR_OPERATION_ABORTED) return false;
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(port_, &errors, &status)) return false;
        return ++fruitless <= 3;
    }

    HANDLE port_ = INVALID_HANDLE_VALUE;
    HANDLE lock_ = nullptr;
    HANDLE wake_;       // auto-reset: set by Wake()
    HANDLE readDone_;   // manual-reset: the reader's overlapped reads
    HANDLE writeDone_;  // manual-reset: Write's overlapped write
    OVERLAPPED readOv_{};
    bool readPending_ = false;
    uint8_t firstByte_ = 0;
    uint8_t stash_[kRxBufferSize] = {};
    size_t stashCount_ = 0;
};

}  // namespace

std::unique_ptr<SerialBackend> MakePlatformSerialBackend() {
    return std::make_unique<WinSerialBackend>();
}

}  // namespace torvane
