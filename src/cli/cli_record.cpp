// torvane-cli record FILE [--seconds S] [--ratio R --encoder N]: the console's Record button
// without the window. The live status is read every 50 ms as Auto Update reads it, and each
// reply becomes a row of the same file the console writes (LiveRecorder). Ctrl-C or the end of
// --seconds ends it normally; a lost port ends it with exit status 1. The file is whole in every
// case.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <thread>

#include "cli/cli.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "session/console_timers.h"
#include "session/live_record.h"
#include "session/status_display.h"

namespace torvane::cli {

namespace {

constexpr const char* kSeconds = "--seconds";
constexpr const char* kRatio = "--ratio";
constexpr const char* kEncoder = "--encoder";

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnRecordInterrupt(int) {
    interrupted = 1;
}

// Ctrl-C ends the recording like the end of --seconds. std::signal, which Windows has too; the
// loop looks at the flag at least every period.
class InterruptScope {
public:
    InterruptScope() : old_(std::signal(SIGINT, OnRecordInterrupt)) { interrupted = 0; }
    ~InterruptScope() { std::signal(SIGINT, old_ == SIG_ERR ? SIG_DFL : old_); }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    void (*old_)(int);
};

std::string ParseRecord(const std::vector<std::string>& args, size_t& at, Command& c) {
    const std::vector<OptionSpec> options = {{kSeconds, true}, {kRatio, true}, {kEncoder, true}};
    if (std::string e = ParseWordsAndOptions(args, at, c, options); !e.empty()) return e;
    if (c.Words.size() != 1) return "usage: record FILE [--seconds S] [--ratio R --encoder N]";
    c.File = c.Words[0];
    for (const char* name : {kSeconds, kRatio, kEncoder}) {
        const auto it = c.Values.find(name);
        if (it != c.Values.end() && !IsDecimal(it->second))
            return std::string("record: ") + name + " needs a number: " + it->second;
    }
    if (const auto it = c.Values.find(kSeconds);
        it != c.Values.end() && EntryValue(it->second) <= 0.0f)
        return "record: --seconds needs a time above 0";
    return {};
}

std::string ValueOr(const Command& c, const char* name, const char* fallback) {
    const auto it = c.Values.find(name);
    return it == c.Values.end() ? fallback : it->second;
}

DriveError RunRecord(Cli& cli, const Command& c) {
    DriveSession& session = cli.Session();
    DriveState& state = session.State();
    // The model decides the length of the long status read and names the drive in the file.
    if (const DriveError e = session.Read(reg::kIdentification, size::kIdentification)) return e;
    state.AutoUpdate = 1;
    ConsoleState console;
    // The output axis as the console figures it from its Reduction Ratio and One-Loop Encoder
    // Value entries (their defaults 1 and 65535.0).
    console.RatioInput = EntryValue(ValueOr(c, kRatio, "1"));
    console.EncoderInput = EntryValue(ValueOr(c, kEncoder, "65535"));

    LiveRecordInfo info;
    info.Model = state.ModelString;
    info.Port = session.Port().Path();
    info.Started = std::time(nullptr);
    info.PeriodMs = TimerPeriod(TimerId::kAutoUpdateTimer);
    LiveRecorder recorder;
    std::string error;
    if (!recorder.Open(c.File, info, &error)) {
        cli.Notices().Notice("record: " + error, NoticeIcon::Error);
        return kLocalFailure;
    }

    using Clock = std::chrono::steady_clock;
    const auto period = Period(info.PeriodMs);
    const auto start = Clock::now();
    const bool timed = c.Values.count(kSeconds) != 0;
    // Beyond a few years is as good as no end, and stays inside the clock's range.
    const double seconds = std::min(1e8, static_cast<double>(EntryValue(ValueOr(c, kSeconds, "0"))));
    const auto end = timed ? start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(seconds))
                           : Clock::time_point::max();
    auto next = start;
    bool lost = false;
    bool writeFailed = false;
    InterruptScope interrupt;
    while (interrupted == 0) {
        auto now = Clock::now();
        if (now >= end) break;
        if (now < next) {
            // A timer's period: never faster; short sleeps keep Ctrl-C prompt.
            std::this_thread::sleep_for(std::min<Clock::duration>(next - now, period));
            continue;
        }
        // Ticks missed while a read was slow are not made up, as a platform timer coalesces
        // them.
        while (next <= now) next += period;
        const DriveError e = session.Read(reg::kLiveStatus, LongStatusSize(state));
        session.ProcessPortEvents();
        if (!session.IsOpen()) {
            lost = true;
            break;
        }
        if (e != kSuccess) {
            recorder.FailedRead();
            continue;
        }
        TakeOutputAxis(console, state.LivePosition);
        if (!recorder.Sample(state, console)) {
            writeFailed = true;
            break;
        }
    }
    const bool closed = recorder.Close();
    std::printf("%llu samples, %llu failed reads, in %s\n",
                static_cast<unsigned long long>(recorder.Samples()),
                static_cast<unsigned long long>(recorder.FailedReads()), c.File.c_str());
    std::fflush(stdout);
    if (writeFailed || !closed) {
        cli.Notices().Notice("record: " + recorder.Error(), NoticeIcon::Error);
        return kLocalFailure;
    }
    // The lost port has been told by the session's listener.
    return lost ? kLocalFailure : kSuccess;
}

}  // namespace

std::vector<CommandSpec> RecordCommands() {
    return {
        {"record", "record FILE [OPTIONS]",
         "record the live values to a CSV file (a row every 50 ms, as Auto\n"
         "Update reads them) until Ctrl-C or --seconds S; --ratio R (1) and\n"
         "--encoder N (65535) for the output axis columns",
         true, ParseRecord, RunRecord},
    };
}

}  // namespace torvane::cli
