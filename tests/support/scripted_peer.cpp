#include "support/scripted_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

namespace torvane::test {

ScriptedPeer::ScriptedPeer() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) return;
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    slaveKeep_ = slave;
    slavePath_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
    AnswerReads([](RegisterAddress, uint8_t count) { return Bytes(count, 0); });
    thread_ = std::thread([this] { Serve(); });
}

ScriptedPeer::~ScriptedPeer() {
    stop_ = true;
    if (wake_[1] >= 0) (void)!write(wake_[1], "x", 1);
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) close(master_);
    if (slaveKeep_ >= 0) close(slaveKeep_);
    if (wake_[0] >= 0) close(wake_[0]);
    if (wake_[1] >= 0) close(wake_[1]);
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
    std::lock_guard<std::mutex> lock(writeLock_);
    size_t done = 0;
    while (done < bytes.size() && master_ >= 0) {
        const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 100);
        } else {
            break;
        }
    }
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
    stop_ = true;
    if (wake_[1] >= 0) (void)!write(wake_[1], "x", 1);
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(writeLock_);
    if (master_ >= 0) close(master_);
    master_ = -1;
    // The tool's side sees the hang-up only when no other slave descriptor is open.
    if (slaveKeep_ >= 0) close(slaveKeep_);
    slaveKeep_ = -1;
}

void ScriptedPeer::Serve() {
    Bytes pending;
    uint8_t buf[512];
    while (!stop_) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents & POLLIN) return;
        if (!(fds[0].revents & POLLIN)) {
            // No tool on the slave side yet (POLLHUP): wait a little and look again.
            if (fds[0].revents & POLLHUP) usleep(1000);
            continue;
        }
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) continue;
        pending.insert(pending.end(), buf, buf + n);
        // Requests are well formed (the tool builds them): header, length, rest.
        for (;;) {
            size_t i = 0;
            while (i + 1 < pending.size() && !(pending[i] == kHeader1 && pending[i + 1] == kHeader2)) ++i;
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(i));
            if (pending.size() < 3 || pending.size() < size_t{pending[2]} + 5) break;
            const Bytes req(pending.begin(), pending.begin() + pending[2] + 5);
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(req.size()));
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
