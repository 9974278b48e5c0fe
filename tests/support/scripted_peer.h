// ScriptedPeer: the far end of a pseudo-terminal that answers each request frame the way a
// test scripts it (answer, stay silent, split, add noise, answer late, send raw bytes). The
// tool side opens SlavePath() through the real SerialPort.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/frame.h"
#include "support/frame_builder.h"
#include "support/pty_pair.h"

namespace torvane::test {

// One piece of what the peer sends: wait `Delay`, then write `Data`.
struct Chunk {
    std::chrono::milliseconds Delay{0};
    Bytes Data;
};

class ScriptedPeer {
public:
    // Decides what to send for one request frame (complete, as received).
    using Responder = std::function<std::vector<Chunk>(const Bytes& request)>;

    ScriptedPeer();
    ~ScriptedPeer();
    const std::string& SlavePath() const { return pty_.SlavePath(); }
    // The master side, e.g. to read back the line settings the tool applied.
    int MasterFd() const { return pty_.MasterFd(); }

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
    void Stop();

    PtyPair pty_;
    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Bytes> requests_;
    Responder responder_;
};

}  // namespace torvane::test
