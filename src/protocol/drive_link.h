// DriveLink: the transaction engine. One request frame, one awaited reply.
//
// Threads: every transaction (ReadRegister, WriteRegister, WriteRegisterQuick,
// ReadBackCapture) runs on the one controlling thread (the UI thread), one at a time, and
// blocks it until the reply has been processed or the wait has run out. The FrameExtractor
// thread, started with StartExtractor() after the port has opened, cuts replies out of the
// port's receive buffer and dispatches them into DriveState and MotionFields; those are read
// by the controlling thread only after a transaction returned. The reply handler's
// OnReadReply / OnWriteReply run on the controlling thread, inside the transaction.
//
// Waits (scaled by the time seam): 5000 ms, 1000 ms for WriteRegisterQuick. A port that goes
// away ends the outstanding wait at once with 0xF0; a transaction on a port that is not open
// returns 0xF0 at once.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "protocol/drive_error.h"
#include "protocol/drive_state.h"
#include "protocol/frame.h"
#include "protocol/reply_dispatcher.h"
#include "protocol/reply_event.h"
#include "serial/serial_port.h"

namespace torvane {

// The display work done after a reply (the console implements it), on the controlling thread
// inside the transaction. A successful reply gets OnReadReply / OnWriteReply; an error reply
// (non-zero result nibble) gets OnErrorReply and no display work.
class ReplyHandler {
public:
    virtual ~ReplyHandler() = default;
    virtual void OnReadReply(RegisterAddress address) = 0;
    virtual void OnWriteReply(RegisterAddress address) = 0;
    virtual void OnErrorReply(RegisterAddress /*address*/, bool /*read*/) {}
};

class DriveLink {
public:
    DriveLink(SerialPort& port, DriveState& state, MotionFields& motion);
    ~DriveLink();  // stops the extractor
    DriveLink(const DriveLink&) = delete;
    DriveLink& operator=(const DriveLink&) = delete;

    void SetReplyHandler(ReplyHandler* handler) { handler_ = handler; }
    // Called on the reader thread for port events; for a lost port before the outstanding
    // wait ends, so the failed transaction returns after the handler has run.
    void SetPortEventHandler(std::function<void(PortEvent)> handler);

    // Starts the FrameExtractor thread; call right after the port opened.
    void StartExtractor();
    // Waits at most 1000 ms for the extractor to end (after PortOpen was cleared, or asks it
    // to stop). Returns false when it did not end in time.
    bool StopExtractor();
    bool ExtractorRunning() const { return extractor_.joinable(); }

    // The payload area of TxFrame (offset 7): pack routines write here before WriteRegister.
    uint8_t* Payload() { return TxFrame.data() + kDataOffset; }

    DriveError ReadRegister(RegisterAddress address, uint8_t count);
    DriveError WriteRegister(RegisterAddress address, uint8_t count);
    // Write with the payload already at offset 7 of `frame`; waits 1000 ms; ignores the
    // drive's result and calls no handler. Returns 1 when no reply came, else 0.
    uint8_t WriteRegisterQuick(RegisterAddress address, uint8_t count,
                               std::array<uint8_t, kTxFrameSize>& frame);
    // Reads a test's captured waveform (count register 0x2408, 0x2505 or 0x2611) into
    // DriveState::CaptureBuffer, 128 bytes a block. A count above 8192 is read as 8192.
    DriveError ReadBackCapture(RegisterAddress countRegister);

    CaptureCursor Capture;

    // Data bytes of the last reply that answered a transaction (what the drive sent, as sent).
    // Read on the controlling thread after the transaction returned.
    const std::vector<uint8_t>& LastReplyData() const { return lastReplyData_; }

    DriveState& State() { return state_; }
    MotionFields& Motion() { return motion_; }

private:
    enum class Outcome { Reply, NoReply };
    Outcome Exchange(const uint8_t* frame, size_t size, RegisterAddress address,
                     std::chrono::microseconds wait);
    DriveError Finish(RegisterAddress address, bool read);
    void ExtractorLoop();
    void OnFrame(const uint8_t* frame, size_t size);

    // Frame buffers: TxFrame belongs to the controlling thread, RxFrame and RxFrameLength to
    // the extractor thread.
    std::array<uint8_t, kTxFrameSize> TxFrame{};
    std::array<uint8_t, 1024> RxFrame{};  // copy of the frame being dispatched
    uint8_t RxFrameLength = 0;

    SerialPort& port_;
    DriveState& state_;
    MotionFields& motion_;
    ReplyDispatcher dispatcher_;
    ReplyEvent replyEvent_;
    ReplyHandler* handler_ = nullptr;
    std::mutex pendingLock_;
    std::optional<RegisterAddress> pending_;  // under pendingLock_
    std::vector<uint8_t> lastReplyData_;      // under pendingLock_ while a request is pending
    std::thread extractor_;
    std::atomic<bool> stopExtractor_{false};
    std::atomic<bool> extractorDone_{true};
    std::mutex doneLock_;
    std::condition_variable doneCv_;
    std::mutex eventHandlerLock_;
    std::function<void(PortEvent)> eventHandler_;
    bool trace_ = false;
};

// Writes one frame to standard error when TORVANE_TRACE=1: time stamp, direction, bytes.
void TraceFrame(const char* direction, const uint8_t* bytes, size_t count);
bool TraceEnabled();

}  // namespace torvane
