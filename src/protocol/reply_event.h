// ReplyEvent: an auto-reset event (mutex + condition variable + flag), signalled by the reply
// dispatcher and consumed by a transaction's wait.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace torvane {

class ReplyEvent {
public:
    void Set() {
        {
            std::lock_guard<std::mutex> lock(m_);
            signalled_ = true;
        }
        cv_.notify_all();
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_);
        signalled_ = false;
    }
    // Makes every wait (current and later) return false at once until Clear().
    void Interrupt() {
        {
            std::lock_guard<std::mutex> lock(m_);
            interrupted_ = true;
        }
        cv_.notify_all();
    }
    void ClearInterrupt() {
        std::lock_guard<std::mutex> lock(m_);
        interrupted_ = false;
    }
    // Waits at most `timeout` for the event; consumes it. False on time-out or interrupt.
    bool Wait(std::chrono::microseconds timeout) {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_for(lock, timeout, [this] { return signalled_ || interrupted_; });
        if (!signalled_) return false;
        signalled_ = false;
        return true;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool signalled_ = false;
    bool interrupted_ = false;
};

}  // namespace torvane
