#include "sim/simulated_drive.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "serial/timing.h"
#include "sim/request_cutter.h"

namespace torvane::sim {

namespace {

// Pieces of a paced reply: small enough that each byte reaches the tool close to its time on
// a real line, large enough not to wake up once a byte.
constexpr size_t kPacedChunk = 16;
constexpr auto kHangUpRetry = std::chrono::milliseconds(50);

void Seal(std::vector<uint8_t>& frame) {
    const size_t body = frame.size() - 2;
    const uint16_t crc = Crc16(frame.data(), body);
    frame[body] = static_cast<uint8_t>(crc & 0xFF);
    frame[body + 1] = static_cast<uint8_t>(crc >> 8);
}

std::vector<uint8_t> Reply(uint8_t function, RegisterAddress address, uint8_t count,
                           const uint8_t* data, size_t n) {
    std::vector<uint8_t> f(n + kFrameOverhead);
    if (n > 0) std::memcpy(f.data() + kDataOffset, data, n);
    BuildFrame(f.data(), function, address, count, static_cast<uint8_t>(n));
    return f;
}

std::vector<uint8_t> ErrorReply(uint8_t function, RegisterAddress address, uint8_t nib) {
    return Reply(static_cast<uint8_t>(nib << 4 | (function & 0x07)), address, 0, nullptr, 0);
}

}  // namespace

SimulatedDrive::SimulatedDrive(SimOptions options)
    : behaviour_(options),
      options_(std::move(options)),
      silent_(options_.Silent),
      clock_(Clock::now()),
      lineFree_(Clock::now()) {}

SimulatedDrive::~SimulatedDrive() {
    Stop();
}

bool SimulatedDrive::Start(std::string* error) {
    if (thread_.joinable()) return true;
    int master = -1, slave = -1;
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        if (error) *error = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    // openpty does not apply the termios to every kernel's slave; make sure the line is raw,
    // or the slave would echo the tool's requests back into the drive.
    tcsetattr(slave, TCSANOW, &raw);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error) *error = std::string("pipe: ") + std::strerror(errno);
        close(master);
        close(slave);
        return false;
    }
    // The tool locks the port with TIOCEXCL. On a real device that ends with its last close;
    // a pty lives on while its master is open, so the drive lifts the lock itself whenever
    // the tool closes the slave, or nobody but root could open it again.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch >= 0 && inotify_add_watch(watch, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        close(watch);
        closeWatch_ = -1;
    } else {
        closeWatch_ = watch;
    }
    master_ = master;
    slaveKeep_ = slave;
    wake_[0] = wake[0];
    wake_[1] = wake[1];
    rx_.clear();
    output_.clear();
    {
        std::lock_guard<std::mutex> lock(lock_);
        stop_ = false;
        slavePath_ = name;
    }
    lineFree_ = Clock::now();
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void SimulatedDrive::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(lock_);
        stop_ = true;
    }
    WakeServer();
    thread_.join();
    CloseFds();
}

void SimulatedDrive::HangUp() {
    Stop();
}

bool SimulatedDrive::Running() const {
    return thread_.joinable();
}

void SimulatedDrive::CloseFds() {
    for (int* fd : {&master_, &slaveKeep_, &wake_[0], &wake_[1], &closeWatch_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

std::string SimulatedDrive::SlavePath() const {
    std::lock_guard<std::mutex> lock(lock_);
    return slavePath_;
}

void SimulatedDrive::WakeServer() {
    if (wake_[1] >= 0) (void)!write(wake_[1], "w", 1);
}

void SimulatedDrive::SetPacing(bool on) {
    std::lock_guard<std::mutex> lock(lock_);
    options_.Pacing = on;
}

void SimulatedDrive::SetBaudRate(uint32_t baud) {
    std::lock_guard<std::mutex> lock(lock_);
    options_.BaudRate = std::max<uint32_t>(baud, 1);
}

void SimulatedDrive::SetSilent(bool silent) {
    std::lock_guard<std::mutex> lock(lock_);
    silent_ = silent;
}

void SimulatedDrive::SilenceNext(int requests) {
    Misbehaviour rule;
    rule.Silent = true;
    rule.Count = requests;
    AddMisbehaviour(rule);
}

void SimulatedDrive::SilenceAddress(RegisterAddress address) {
    Misbehaviour rule;
    rule.Silent = true;
    rule.Address = address;
    AddMisbehaviour(rule);
}

void SimulatedDrive::AnswerLate(std::chrono::microseconds delay, int requests) {
    Misbehaviour rule;
    rule.Delay = delay;
    rule.Count = requests;
    AddMisbehaviour(rule);
}

void SimulatedDrive::AnswerWithResult(uint8_t nibble, std::optional<RegisterAddress> address,
                                      int requests) {
    Misbehaviour rule;
    rule.ResultNibble = nibble & 0x0F;
    rule.Address = address;
    rule.Count = requests;
    AddMisbehaviour(rule);
}

void SimulatedDrive::AddMisbehaviour(const Misbehaviour& rule) {
    if (rule.Count == 0) return;
    std::lock_guard<std::mutex> lock(lock_);
    rules_.push_back(rule);
}

void SimulatedDrive::ClearMisbehaviour() {
    std::lock_guard<std::mutex> lock(lock_);
    rules_.clear();
    silent_ = false;
}

void SimulatedDrive::ReportCaptureLength(uint16_t bytes) {
    std::lock_guard<std::mutex> lock(lock_);
    behaviour_.SetReportedCaptureLength(bytes);
}

void SimulatedDrive::HoldLoopTests(bool held) {
    std::lock_guard<std::mutex> lock(lock_);
    AdvanceClockLocked(Clock::now());
    behaviour_.HoldLoopTests(held);
}

void SimulatedDrive::RaiseFault(uint16_t word) {
    std::lock_guard<std::mutex> lock(lock_);
    AdvanceClockLocked(Clock::now());
    behaviour_.RaiseFault(word);
}

void SimulatedDrive::SetMatchOutcome(MatchOutcome outcome) {
    std::lock_guard<std::mutex> lock(lock_);
    behaviour_.SetMatchOutcome(outcome);
}

void SimulatedDrive::SetCalibrationOutcome(CalibrationOutcome outcome) {
    std::lock_guard<std::mutex> lock(lock_);
    behaviour_.SetCalibrationOutcome(outcome);
}

void SimulatedDrive::SetModel(const std::string& model) {
    std::lock_guard<std::mutex> lock(lock_);
    behaviour_.SetModel(model);
}

std::vector<RecordedRequest> SimulatedDrive::Requests() const {
    std::lock_guard<std::mutex> lock(lock_);
    return requests_;
}

size_t SimulatedDrive::RequestCount() const {
    std::lock_guard<std::mutex> lock(lock_);
    return requests_.size();
}

bool SimulatedDrive::WaitForRequests(size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(lock_);
    return requestCv_.wait_for(lock, timeout, [&] { return requests_.size() >= n; });
}

void SimulatedDrive::ClearRequests() {
    std::lock_guard<std::mutex> lock(lock_);
    requests_.clear();
}

void SimulatedDrive::SetRequestObserver(std::function<void(const RecordedRequest&)> observer) {
    std::lock_guard<std::mutex> lock(lock_);
    observer_ = std::move(observer);
}

void SimulatedDrive::AdvanceClockLocked(Clock::time_point now) {
    if (now <= clock_) return;
    const double seconds = std::chrono::duration<double>(now - clock_).count();
    behaviour_.Advance(seconds / TimeScale());
    clock_ = now;
}

void SimulatedDrive::Serve() {
    bool blocked = false;  // the line did not take all due output
    bool hungUp = false;   // nobody on the slave side; look again later
    Clock::time_point retryAt{};
    Clock::time_point lastRx = Clock::now();
    uint8_t buffer[512];
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (stop_) break;
        }
        std::optional<Clock::time_point> deadline;
        auto sooner = [&deadline](Clock::time_point t) {
            if (!deadline || t < *deadline) deadline = t;
        };
        if (!output_.empty() && !blocked) sooner(output_.front().Due);
        if (!rx_.empty()) sooner(lastRx + kFrameGap);
        if (hungUp) sooner(retryAt);

        pollfd fds[3] = {{wake_[0], POLLIN, 0}, {master_, 0, 0}, {closeWatch_, POLLIN, 0}};
        if (!hungUp) fds[1].events = static_cast<short>(POLLIN | (blocked ? POLLOUT : 0));
        timespec ts{};
        timespec* timeout = nullptr;
        if (deadline) {
            const auto wait = std::max(Clock::duration::zero(), *deadline - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            ts.tv_sec = static_cast<time_t>(ns / 1000000000);
            ts.tv_nsec = static_cast<long>(ns % 1000000000);
            timeout = &ts;
        }
        const int ready = ppoll(fds, closeWatch_ >= 0 ? 3 : 2, timeout, nullptr);
        if (ready < 0 && errno != EINTR) break;
        if (closeWatch_ >= 0 && (fds[2].revents & POLLIN)) {
            alignas(inotify_event) char events[1024];
            while (read(closeWatch_, events, sizeof events) > 0) {
            }
            ioctl(slaveKeep_, TIOCNXCL);
        }
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        Clock::time_point now = Clock::now();
        if (hungUp && now >= retryAt) hungUp = false;
        if (fds[1].revents & POLLIN) {
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n > 0) {
                // What waited longer than the gap belongs to no frame of the new bytes.
                if (now - lastRx >= kFrameGap) DropStale();
                rx_.insert(rx_.end(), buffer, buffer + n);
                lastRx = now;
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                hungUp = true;
                retryAt = now + kHangUpRetry;
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            hungUp = true;
            retryAt = now + kHangUpRetry;
        }
        if (fds[1].revents & POLLOUT) blocked = false;

        for (;;) {
            const RequestCut cut = CutRequest(rx_.data(), rx_.size());
            if (cut.FrameSize != 0) {
                HandleFrame(rx_.data() + cut.Skip, cut.FrameSize, now);
                rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(cut.Skip + cut.FrameSize));
                continue;
            }
            rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(cut.Skip));
            break;
        }
        if (!rx_.empty() && now - lastRx >= kFrameGap) DropStale();
        if (!blocked) blocked = !FlushOutput(Clock::now());
    }
}

void SimulatedDrive::DropStale() {
    // A header whose frame never completed is noise: drop it, answer any whole frame behind
    // it, and keep a fresh incomplete one.
    const auto now = Clock::now();
    while (!rx_.empty()) {
        rx_.erase(rx_.begin());
        const RequestCut cut = CutRequest(rx_.data(), rx_.size());
        if (cut.FrameSize != 0) {
            HandleFrame(rx_.data() + cut.Skip, cut.FrameSize, now);
            rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(cut.Skip + cut.FrameSize));
            continue;
        }
        rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(cut.Skip));
    }
}

void SimulatedDrive::HandleFrame(const uint8_t* frame, size_t size, Clock::time_point arrival) {
    RecordedRequest record;
    record.Bytes.assign(frame, frame + size);
    record.Function = frame[3];
    record.Address = static_cast<RegisterAddress>(frame[4] << 8 | frame[5]);
    record.Count = frame[6];
    const uint16_t crc = Crc16(frame, size - 2);
    record.CrcOk = frame[size - 2] == (crc & 0xFF) && frame[size - 1] == (crc >> 8);

    Misbehaviour rule;
    std::vector<uint8_t> reply;
    std::function<void(const RecordedRequest&)> observer;
    bool pacing = false;
    uint32_t baud = 0;
    {
        std::lock_guard<std::mutex> lock(lock_);
        AdvanceClockLocked(arrival);
        for (auto it = rules_.begin(); it != rules_.end(); ++it) {
            if (it->Address && *it->Address != record.Address) continue;
            rule = *it;
            if (it->Count > 0 && --it->Count == 0) rules_.erase(it);
            break;
        }
        const bool swallow = silent_ || rule.Silent || behaviour_.Rebooting();
        if (!swallow) {
            reply = rule.ResultNibble != 0
                        ? ErrorReply(record.Function, record.Address, rule.ResultNibble)
                        : Answer(frame, size);
            if (rule.SetBit3) {
                reply[3] |= 0x08;
                Seal(reply);
            }
        }
        record.Answered = !swallow;
        requests_.push_back(record);
        requestCv_.notify_all();
        observer = observer_;
        pacing = options_.Pacing;
        baud = options_.BaudRate;
    }
    if (!reply.empty()) {
        // The request's last byte reaches a real drive only after its time on the wire.
        const auto byteTime =
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(10.0 / baud));
        Clock::time_point t = arrival + rule.Delay;
        if (pacing) t += byteTime * static_cast<long>(size) + kProcessingDelay;
        t = std::max(t, lineFree_);
        auto emit = [&](const uint8_t* bytes, size_t n) {
            if (!pacing) {
                output_.push_back({t, std::vector<uint8_t>(bytes, bytes + n)});
                return;
            }
            for (size_t done = 0; done < n;) {
                const size_t chunk = std::min(kPacedChunk, n - done);
                t += byteTime * static_cast<long>(chunk);
                output_.push_back({t, std::vector<uint8_t>(bytes + done, bytes + done + chunk)});
                done += chunk;
            }
        };
        if (!rule.Noise.empty()) emit(rule.Noise.data(), rule.Noise.size());
        if (rule.OversizedLength != 0) {
            const uint8_t header[3] = {kHeader1, kHeader2, rule.OversizedLength};
            emit(header, sizeof header);
        }
        const size_t piece = rule.PieceSize == 0 ? reply.size() : rule.PieceSize;
        for (size_t done = 0; done < reply.size(); done += piece) {
            emit(reply.data() + done, std::min(piece, reply.size() - done));
            if (done + piece < reply.size()) t += rule.PiecePause;
        }
        lineFree_ = t;
    }
    if (observer) observer(record);
}

std::vector<uint8_t> SimulatedDrive::Answer(const uint8_t* frame, size_t size) {
    const uint8_t function = frame[3];
    const RegisterAddress address = static_cast<RegisterAddress>(frame[4] << 8 | frame[5]);
    const uint8_t count = frame[6];
    const size_t dataBytes = size - kFrameOverhead;
    const uint16_t crc = Crc16(frame, size - 2);
    if (frame[size - 2] != (crc & 0xFF) || frame[size - 1] != (crc >> 8)) {
        return ErrorReply(function, address, nibble::kCrc);
    }
    if (function == kFunctionRead) {
        if (dataBytes != 0) return ErrorReply(function, address, nibble::kCommandValue);
        uint8_t data[256];
        const uint8_t result = behaviour_.Read(address, count, data);
        if (result != nibble::kOk) return ErrorReply(function, address, result);
        return Reply(kFunctionRead, address, count, data, count);
    }
    if (function == kFunctionWrite) {
        if (count != dataBytes) return ErrorReply(function, address, nibble::kCommandValue);
        const uint8_t result = behaviour_.Write(address, frame + kDataOffset, dataBytes);
        if (result != nibble::kOk) return ErrorReply(function, address, result);
        return Reply(kFunctionWrite, address, count, nullptr, 0);
    }
    return ErrorReply(function, address, nibble::kFunction);
}

bool SimulatedDrive::FlushOutput(Clock::time_point now) {
    while (!output_.empty() && output_.front().Due <= now) {
        std::vector<uint8_t>& bytes = output_.front().Bytes;
        const ssize_t n = write(master_, bytes.data(), bytes.size());
        if (n == static_cast<ssize_t>(bytes.size())) {
            output_.pop_front();
        } else if (n > 0) {
            bytes.erase(bytes.begin(), bytes.begin() + n);
            return false;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return false;
        } else {
            output_.clear();  // nobody to hear it
            return true;
        }
    }
    return true;
}

}  // namespace torvane::sim
