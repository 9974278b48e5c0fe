// ScriptedPeer: the far end of a pseudo-terminal that answers each request frame the way a
// test scripts it (answer, stay silent, split, add noise, answer late, send raw bytes). The
// tool side opens SlavePath() through the real SerialPort.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/frame.h"

namespace torvane::test {

using Bytes = std::vector<uint8_t>;

// One piece of what the peer sends: wait `Delay`, then write `Data`.
struct Chunk {
    std::chrono::milliseconds Delay{0};
    Bytes Data;
};

// A reply frame: function byte = (nibble << 4) | function, CRC appended.
Bytes ReplyFrame(RegisterAddress address, uint8_t function, const Bytes& data, uint8_t nibble = 0,
                 uint8_t count = 0xFF /* 0xFF: data size */);

class ScriptedPeer {
public:
    // Decides what to send for one request frame (complete, as received).
    using Responder = std::function<std::vector<Chunk>(const Bytes& request)>;

    ScriptedPeer();
    ~ScriptedPeer();
    const std::string& SlavePath() const { return slavePath_; }
    // The master side, e.g. to read back the line settings the tool applied.
    int MasterFd() const { return master_; }

    void SetResponder(Responder r);
    // Replies to reads with `data` for `address`, and acknowledges writes (the default).
    void AnswerReads(std::function<Bytes(RegisterAddress, uint8_t count)> data);
    // Sends raw bytes now, unprompted.
    void Send(const Bytes& bytes);
    // Every request frame received so far.
    std::vector<Bytes> Requests();
    // Waits until at least `n` requests arrived (true) or `timeout` passed (false).
    bool WaitRequests(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Closes the master side, as an unplugged adapter would.
    void HangUp();

private:
    void Serve();

    int master_ = -1;
    int slaveKeep_ = -1;  // keeps the pty alive until the tool opens it
    std::string slavePath_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    int wake_[2] = {-1, -1};
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Bytes> requests_;
    Responder responder_;
    std::mutex writeLock_;
};

}  // namespace torvane::test
