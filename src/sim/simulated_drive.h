// SimulatedDrive: a servo drive behind a pseudo-terminal. It owns the master side; the tool
// opens SlavePath() like any serial port. It answers every request frame of the register map
// (DriveBehaviour says how), paces its replies at the line's baud rate, records every request,
// and misbehaves on request for tests.
//
// Threads: one serving thread, started by Start(). Every public method may be called from any
// other thread at any time; they are serialised with the serving thread by one lock. Methods
// that wait say so.
//
// Time: the drive's behaviour runs on the tool's time seam (torvane::TimeScale(): a 15 s motor
// matching takes 15 s x scale of wall-clock time). The line is physical and is not scaled:
// pacing (10 bits a byte at BaudRate) and the misbehaviour delays are wall-clock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/frame.h"
#include "sim/drive_behaviour.h"
#include "sim/sim_options.h"

namespace torvane::sim {

// One request frame as the drive received it.
struct RecordedRequest {
    std::vector<uint8_t> Bytes;  // the whole frame, header to CRC
    uint8_t Function = 0;
    RegisterAddress Address = 0;
    uint8_t Count = 0;
    bool CrcOk = false;
    bool Answered = false;  // false when a silence rule, Silent or a restart swallowed it
};

// A way of answering badly. A rule applies to the requests it matches (all, or those for one
// address), `Count` times or until cleared; the first rule that matches a request is used and
// its effects combine.
struct Misbehaviour {
    std::optional<RegisterAddress> Address{};  // only requests for this address; all when empty
    int Count = -1;                            // matching requests it applies to; -1: no limit
    bool Silent = false;                       // no reply at all (the request is not executed)
    std::chrono::microseconds Delay{0};        // answer this much later than usual
    uint8_t ResultNibble = 0;                  // answer with this result nibble, not executed
    size_t PieceSize = 0;                      // send the reply in pieces of this many bytes...
    std::chrono::microseconds PiecePause{0};   // ...with this pause after each piece
    std::vector<uint8_t> Noise{};              // bytes sent before the reply
    uint8_t OversizedLength = 0;               // non-zero: 5A A5 <this byte> before the reply
    bool SetBit3 = false;                      // bit 3 of the reply's function byte (tool drops it)
};

class SimulatedDrive {
public:
    explicit SimulatedDrive(SimOptions options = {});
    ~SimulatedDrive();  // stops
    SimulatedDrive(const SimulatedDrive&) = delete;
    SimulatedDrive& operator=(const SimulatedDrive&) = delete;

    // Opens a pseudo-terminal (raw mode) and starts the serving thread; idempotent. After
    // HangUp() or Stop(), starts afresh on a new pseudo-terminal (a new SlavePath) with the
    // drive's state kept. On failure returns false with the system's reason in `error`.
    bool Start(std::string* error = nullptr);
    // Ends the serving thread and closes the pseudo-terminal. Waits for the thread.
    void Stop();
    bool Running() const;
    std::string SlavePath() const;  // the path a SerialPort opens; empty before Start
    // Closes the master as an unplugged adapter would: the tool's side sees a hang-up. Waits
    // for the serving thread to end.
    void HangUp();

    // Line.
    void SetPacing(bool on);
    void SetBaudRate(uint32_t baud);
    // Time the drive takes to answer a request once its last byte is in (pacing only).
    static constexpr std::chrono::microseconds kProcessingDelay{100};
    // Time an incomplete frame may stay without further bytes before its header counts as
    // noise, so a truncated request does not block the line.
    static constexpr std::chrono::milliseconds kFrameGap{100};

    // Misbehaviour.
    void SetSilent(bool silent);                   // answer nothing (always)
    void SilenceNext(int requests);                // swallow the next N requests
    void SilenceAddress(RegisterAddress address);  // swallow every request for one address
    void AnswerLate(std::chrono::microseconds delay, int requests = -1);
    void AnswerWithResult(uint8_t nibble, std::optional<RegisterAddress> address = {},
                          int requests = -1);
    void AddMisbehaviour(const Misbehaviour& rule);
    void ClearMisbehaviour();  // removes every rule and the Silent switch
    // The byte count the length registers (0x2408, 0x2505, 0x2611) report; 0: the real one.
    void ReportCaptureLength(uint16_t bytes);
    // Running loop tests do not end while held (DriveBehaviour::HoldLoopTests).
    void HoldLoopTests(bool held);

    // Drive.
    void RaiseFault(uint16_t word);  // adds fault bits and trips the motor
    void SetMatchOutcome(MatchOutcome outcome);
    void SetCalibrationOutcome(CalibrationOutcome outcome);
    void SetModel(const std::string& model);
    // Runs fn(DriveBehaviour&) under the lock, with the drive's clock brought up to now.
    template <class Fn>
    auto WithBehaviour(Fn&& fn) {
        std::lock_guard<std::mutex> lock(lock_);
        AdvanceClockLocked(std::chrono::steady_clock::now());
        return fn(behaviour_);
    }

    // Request log: every frame received, in order.
    std::vector<RecordedRequest> Requests() const;
    size_t RequestCount() const;
    // Blocks until at least `n` requests were received (true) or `timeout` passed (false).
    bool WaitForRequests(size_t n,
                         std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    void ClearRequests();
    // Called on the serving thread after each request was handled (outside the lock).
    void SetRequestObserver(std::function<void(const RecordedRequest&)> observer);

private:
    using Clock = std::chrono::steady_clock;
    struct Output {
        Clock::time_point Due;
        std::vector<uint8_t> Bytes;
    };

    void Serve();
    void CloseFds();
    void DropStale();
    void HandleFrame(const uint8_t* frame, size_t size, Clock::time_point arrival);
    std::vector<uint8_t> Answer(const uint8_t* frame, size_t size);
    void Schedule(const std::vector<uint8_t>& reply, const Misbehaviour& rule,
                  Clock::time_point arrival, size_t requestSize);
    void AdvanceClockLocked(Clock::time_point now);
    bool FlushOutput(Clock::time_point now);  // false: the line would block
    void WakeServer();

    mutable std::mutex lock_;
    mutable std::condition_variable requestCv_;
    DriveBehaviour behaviour_;
    SimOptions options_;
    bool silent_ = false;
    std::vector<Misbehaviour> rules_;
    std::vector<RecordedRequest> requests_;
    std::function<void(const RecordedRequest&)> observer_;
    Clock::time_point clock_;    // wall-clock time the drive's clock was last advanced to
    std::deque<Output> output_;  // under lock_
    Clock::time_point lineFree_;

    std::thread thread_;
    bool stop_ = false;  // under lock_
    int master_ = -1;
    int slaveKeep_ = -1;  // keeps the pty from hanging up between the tool's opens
    int wake_[2] = {-1, -1};
    int closeWatch_ = -1;      // inotify: the tool closed the slave
    std::string slavePath_;    // under lock_
    std::vector<uint8_t> rx_;  // serving thread only
};

}  // namespace torvane::sim
