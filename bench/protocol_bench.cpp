// Protocol figures through the real SerialPort and DriveLink against peers paced at 115200 baud:
// the overhead of a status read over its wire time, the read-back of a full 8192-byte capture
// against its wire time, and the CPU an open, idle port uses. Prints figures, asserts nothing.
//
// Two peers: PacedPeer (bench/paced_peer.h), which answers at the instant the last request byte
// is in and paces every byte exactly, so what it measures is the tool's own overhead; and the
// simulated drive, which also models the drive's processing time (100 us a request) and paces
// in 16-byte pieces: what a user of "Simulated drive" sees.
//
//   protocol_bench [--quick] [--peer=paced|sim|both]
//     --quick: 40 reads, one capture, 1 s idle (CI smoke run); default peer: both
#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "paced_peer.h"
#include "protocol/drive_link.h"
#include "protocol/register_map.h"
#include "serial/serial_port.h"
#include "sim/simulated_drive.h"

namespace {

using torvane::bench::PacedPeer;
using Clock = std::chrono::steady_clock;

constexpr double kBaud = 115200.0;
constexpr double kBitsPerByte = 10.0;

double WireSeconds(double bytes) {
    return bytes * kBitsPerByte / kBaud;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// p in [0, 1]: the smallest sample at or above that share of the samples (nearest rank).
double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t rank = static_cast<size_t>(p * static_cast<double>(v.size()) + 0.999999);
    rank = std::clamp<size_t>(rank, 1, v.size());
    return v[rank - 1];
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// CPU time of every thread of this process (nanoseconds on a CPU, from schedstat), by thread id.
std::map<pid_t, double> ThreadCpuSeconds() {
    std::map<pid_t, double> cpu;
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return cpu;
    while (const dirent* e = readdir(dir)) {
        const pid_t tid = static_cast<pid_t>(std::atoi(e->d_name));
        if (tid <= 0) continue;
        const std::string path = std::string("/proc/self/task/") + e->d_name + "/schedstat";
        if (FILE* f = std::fopen(path.c_str(), "r")) {
            unsigned long long ns = 0;
            if (std::fscanf(f, "%llu", &ns) == 1) cpu[tid] = static_cast<double>(ns) * 1e-9;
            std::fclose(f);
        }
    }
    closedir(dir);
    return cpu;
}

// What a thread is blocked in right now: the reader waits in poll(), the extractor on a futex.
std::string ThreadRole(pid_t tid) {
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    long number = -1;
    if (FILE* f = std::fopen(path.c_str(), "r")) {
        if (std::fscanf(f, "%ld", &number) != 1) number = -1;
        std::fclose(f);
    }
    if (number == SYS_poll || number == SYS_ppoll) return "reader";
    if (number == SYS_futex) return "extractor";
    return "thread " + std::to_string(tid);
}

struct Link {
    torvane::SerialPort Port;
    torvane::DriveState State;
    torvane::MotionFields Motion;
    torvane::DriveLink Drive{Port, State, Motion};

    bool Open(const std::string& path) {
        std::string why;
        if (!Port.Open(path, &why)) {
            std::fprintf(stderr, "open %s failed: %s\n", path.c_str(), why.c_str());
            return false;
        }
        Drive.StartExtractor();
        return true;
    }
    ~Link() {
        Port.ClearPortOpen();
        Drive.StopExtractor();
        Port.Close();
    }
};

void StatusReads(Link& link, PacedPeer* peer, int reads) {
    constexpr uint8_t kCount = torvane::size::kLiveStatusLong;  // 22
    const double wireMs =
        WireSeconds(torvane::kFrameOverhead + (kCount + torvane::kFrameOverhead)) * 1e3;
    std::vector<double> over, toPeer, peerLate, toolLatency;
    int failures = 0;
    // A few unmeasured reads first: thread start-up and first-touch costs are not the figure.
    for (int i = 0; i < 5; ++i) (void)link.Drive.ReadRegister(torvane::reg::kLiveStatus, kCount);
    for (int i = 0; i < reads; ++i) {
        const uint64_t before = peer ? peer->LastExchange().Number : 0;
        const Clock::time_point start = Clock::now();
        const torvane::DriveError e = link.Drive.ReadRegister(torvane::reg::kLiveStatus, kCount);
        const Clock::time_point done = Clock::now();
        if (e != torvane::kSuccess) {
            ++failures;
            continue;
        }
        over.push_back(Ms(done - start) - wireMs);
        if (!peer) continue;
        const PacedPeer::Exchange x = peer->WaitExchangeAfter(before);
        toPeer.push_back(Ms(x.FirstRequestByte - start));
        peerLate.push_back(Ms(x.LastByteWritten - x.LastByteDue));
        toolLatency.push_back(Ms(done - x.LastByteWritten));
    }
    std::printf("status read 22 B: median %+.3f ms, p99 %+.3f ms over wire %.3f ms (%zu reads",
                Percentile(over, 0.5), Percentile(over, 0.99), wireMs, over.size());
    if (failures) std::printf(", %d FAILED", failures);
    std::printf(")\n");
    if (!peer) return;
    // Where the overhead goes: the three parts add up to it for each read.
    std::printf("  request written -> peer sees it:           median %.3f ms, p99 %.3f ms\n",
                Percentile(toPeer, 0.5), Percentile(toPeer, 0.99));
    std::printf("  peer's last reply byte late on its due time: median %.3f ms, p99 %.3f ms\n",
                Percentile(peerLate, 0.5), Percentile(peerLate, 0.99));
    std::printf("  last reply byte written -> read returned:  median %.3f ms, p99 %.3f ms\n",
                Percentile(toolLatency, 0.5), Percentile(toolLatency, 0.99));
}

void CaptureReads(Link& link, PacedPeer* peer, const std::set<pid_t>& peerThreads, int runs) {
    const bool checkData = peer != nullptr;
    constexpr unsigned kBytes = 8192;
    constexpr unsigned kBlocks = kBytes / torvane::size::kCaptureBlock;
    // The length read (9 + 11 bytes) and 64 block reads (9 + 137 bytes each).
    constexpr unsigned kWireBytes =
        (9 + 11) + kBlocks * (torvane::kFrameOverhead + torvane::size::kCaptureBlock +
                              torvane::kFrameOverhead);
    const double wire = WireSeconds(kWireBytes);
    std::vector<double> seconds;
    double cpu = 0, peerCpu = 0;
    std::map<pid_t, double> threadCpu;
    bool dataOk = true;
    for (int r = 0; r < runs; ++r) {
        link.State.CaptureBuffer.fill(0xEE);
        const double cpu0 = ProcessCpuSeconds();
        const uint64_t exchange0 = peer ? peer->LastExchange().Number : 0;
        const std::map<pid_t, double> threads0 = ThreadCpuSeconds();
        const double peerCpu0 = peer ? peer->CpuSeconds() : 0;
        const Clock::time_point start = Clock::now();
        const torvane::DriveError e = link.Drive.ReadBackCapture(torvane::reg::kSpeedTestLength);
        const Clock::time_point done = Clock::now();
        cpu += ProcessCpuSeconds() - cpu0;
        if (peer) {
            // The length read and 64 blocks: wait until the peer has booked the last one.
            (void)peer->WaitExchangeAfter(exchange0 + kBlocks);
            peerCpu += peer->CpuSeconds() - peerCpu0;
        }
        for (const auto& [tid, sec] : ThreadCpuSeconds()) {
            const auto was = threads0.find(tid);
            threadCpu[tid] += sec - (was == threads0.end() ? 0.0 : was->second);
        }
        if (e != torvane::kSuccess) {
            std::printf("capture read failed: 0x%02X\n", e);
            return;
        }
        for (unsigned i = 0; checkData && i < kBytes; ++i)
            if (link.State.CaptureBuffer[i] != static_cast<uint8_t>(i)) dataOk = false;
        seconds.push_back(std::chrono::duration<double>(done - start).count());
    }
    const double median = Percentile(seconds, 0.5);
    std::printf("capture 8192 B:   %.4f s vs wire %.4f s (%u bytes): %+.2f %% (median of %zu;",
                median, wire, kWireBytes, (median / wire - 1) * 100, seconds.size());
    for (double s : seconds) std::printf(" %.4f", s);
    std::printf(" s)%s\n", !checkData ? "" : dataOk ? ", data ok" : ", data MISMATCH");
    double total = 0;
    for (double v : seconds) total += v;
    // The peer runs in this process: its pacing thread is part of the process figure.
    std::printf("  cpu during read-back: process %.1f %% of one core",
                total > 0 ? cpu / total * 100 : 0.0);
    if (peer)
        std::printf(", of which the peer thread %.1f %% and the tool %.1f %%",
                    peerCpu / total * 100, (cpu - peerCpu) / total * 100);
    std::printf("\n");
    std::printf("  tool threads:");
    const pid_t self = static_cast<pid_t>(gettid());
    for (const auto& [tid, sec] : threadCpu) {
        if (peerThreads.count(tid)) continue;
        const std::string role = tid == self ? std::string("transactions") : ThreadRole(tid);
        std::printf(" %s %.1f %%", role.c_str(), sec / total * 100);
    }
    std::printf("\n");
}

void Idle(Link& link, double seconds) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const double cpu0 = ProcessCpuSeconds();
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpu0;
    getrusage(RUSAGE_SELF, &after);
    const long wakeups = (after.ru_nvcsw - before.ru_nvcsw) + (after.ru_nivcsw - before.ru_nivcsw);
    std::printf(
        "idle open port %.1f s: cpu %.3f ms = %.4f %% of one core (%ld context switches, "
        "port %s)\n",
        wall, cpu * 1e3, cpu / wall * 100, wakeups, link.Port.PortOpen() ? "open" : "CLOSED");
}

void Run(const std::string& path, PacedPeer* peer, bool quick) {
    // Threads that exist before the port opens, other than this one, belong to the peer.
    std::set<pid_t> peerThreads;
    for (const auto& [tid, sec] : ThreadCpuSeconds())
        if (tid != static_cast<pid_t>(gettid())) peerThreads.insert(tid);
    Link link;
    if (!link.Open(path)) return;
    StatusReads(link, peer, quick ? 40 : 200);
    CaptureReads(link, peer, peerThreads, quick ? 1 : 3);
    Idle(link, quick ? 1.0 : 5.0);
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    std::string which = "both";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strncmp(argv[i], "--peer=", 7) == 0) {
            which = argv[i] + 7;
        } else {
            std::fprintf(stderr, "usage: %s [--quick] [--peer=paced|sim|both]\n", argv[0]);
            return 2;
        }
    }
    if (which == "paced" || which == "both") {
        PacedPeer peer(static_cast<uint32_t>(kBaud));
        if (!peer.Ok()) {
            std::fprintf(stderr, "no pseudo-terminal\n");
            return 1;
        }
        peer.SetCaptureLength(8192);
        std::printf("== paced peer (%.0f baud, %.2f us a byte, answers at once)\n", kBaud,
                    std::chrono::duration<double, std::micro>(peer.ByteTime()).count());
        Run(peer.SlavePath(), &peer, quick);
    }
    if (which == "sim" || which == "both") {
        torvane::sim::SimOptions options;
        options.Pacing = true;
        options.BaudRate = static_cast<uint32_t>(kBaud);
        torvane::sim::SimulatedDrive drive(options);
        std::string why;
        if (!drive.Start(&why)) {
            std::fprintf(stderr, "simulated drive: %s\n", why.c_str());
            return 1;
        }
        drive.ReportCaptureLength(8192);
        std::printf("== simulated drive (%.0f baud, paced, %lld us processing a request)\n", kBaud,
                    static_cast<long long>(torvane::sim::SimulatedDrive::kProcessingDelay.count()));
        Run(drive.SlavePath(), nullptr, quick);
    }
    return 0;
}
