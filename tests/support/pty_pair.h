// PtyPair: a pseudo-terminal standing for a serial line. The tool opens SlavePath() through the
// real SerialPort as if it were a port; the test (or a peer it runs) is the far end on the
// master side.
//
// The slave side is raw and kept open by the pair, so the line stays up while the tool opens and
// closes it (and the master never sees a hang-up in between); the master is non-blocking.
//
// Threads: one thread may Receive while others Send (Send serialises its writers). Interrupt
// may be called from any thread. HangUp and the destructor must not overlap a Send or Receive:
// end the serving thread first.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace torvane::test {

// Writes all `count` bytes to `fd` (non-blocking), waiting up to `wait` at a time for room.
// False when the descriptor fails or stays full for longer than `wait`.
bool WriteAll(int fd, const uint8_t* bytes, size_t count,
              std::chrono::milliseconds wait = std::chrono::seconds(1));

class PtyPair {
public:
    PtyPair();  // Ok() is false when no pseudo-terminal could be had
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }
    // The master side, e.g. to read back the line settings the tool applied (TCGETS2).
    int MasterFd() const { return master_; }

    // Sends bytes to the tool's side; false when the line is gone or stays full for a second.
    bool Send(const uint8_t* bytes, size_t count);
    bool Send(const std::vector<uint8_t>& bytes) { return Send(bytes.data(), bytes.size()); }

    // Blocks until the tool has written something and reads up to `size` bytes of it into
    // `buffer`. Returns the number read (> 0), 0 once Interrupt() was called, -1 when the master
    // side has failed or was hung up.
    long Receive(uint8_t* buffer, size_t size);
    // Makes every Receive, now and later, return 0 (a serving thread's way out).
    void Interrupt();

    // Closes the master and the kept slave, as an unplugged adapter would: the tool's side sees
    // a hang-up once it is the last user of the slave.
    void HangUp();

    // Makes the slave reachable as `folder`/`name` (a symbolic link), as a port search of that
    // folder would find an adapter. Returns the link's path, or "" when it cannot be made.
    std::string LinkAs(const std::string& folder, const std::string& name) const;

private:
    int master_ = -1;
    int slaveKeep_ = -1;
    int wake_[2] = {-1, -1};
    std::string slavePath_;
    std::mutex sendLock_;
};

}  // namespace torvane::test
