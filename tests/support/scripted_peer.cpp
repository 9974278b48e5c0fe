#include "support/scripted_peer.h"

namespace torvane::test {

ScriptedPeer::ScriptedPeer() {
    AnswerReads([](RegisterAddress, uint8_t count) { return Bytes(count, 0); });
    if (pty_.Ok()) thread_ = std::thread([this] { Serve(); });
}

ScriptedPeer::~ScriptedPeer() {
    Stop();
}

void ScriptedPeer::Stop() {
    pty_.Interrupt();
    if (thread_.joinable()) thread_.join();
}

void ScriptedPeer::SetResponder(Responder r) {
    std::lock_guard<std::mutex> lock(m_);
    responder_ = std::move(r);
}

void ScriptedPeer::AnswerReads(std::function<Bytes(RegisterAddress, uint8_t)> data) {
    SetResponder([data](const Bytes& req) -> std::vector<Chunk> {
        const RegisterAddress a = static_cast<RegisterAddress>(req[4] << 8 | req[5]);
        if (req[3] == kFunctionRead) return {{{}, ReplyFrame(a, kFunctionRead, data(a, req[6]))}};
        return {{{}, ReplyFrame(a, kFunctionWrite, {})}};
    });
}

void ScriptedPeer::Send(const Bytes& bytes) {
    pty_.Send(bytes);
}

std::vector<Bytes> ScriptedPeer::Requests() {
    std::lock_guard<std::mutex> lock(m_);
    return requests_;
}

bool ScriptedPeer::WaitRequests(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, timeout, [&] { return requests_.size() >= n; });
}

void ScriptedPeer::HangUp() {
    Stop();
    pty_.HangUp();
}

void ScriptedPeer::Serve() {
    Bytes pending;
    uint8_t buf[512];
    for (;;) {
        const long n = pty_.Receive(buf, sizeof buf);
        if (n <= 0) return;
        pending.insert(pending.end(), buf, buf + n);
        // Requests are well formed (the tool builds them).
        for (Bytes req = TakeFrame(pending); !req.empty(); req = TakeFrame(pending)) {
            Responder r;
            {
                std::lock_guard<std::mutex> lock(m_);
                requests_.push_back(req);
                r = responder_;
            }
            cv_.notify_all();
            if (!r) continue;
            for (const Chunk& c : r(req)) {
                if (c.Delay.count() > 0) std::this_thread::sleep_for(c.Delay);
                Send(c.Data);
            }
        }
    }
}

}  // namespace torvane::test
