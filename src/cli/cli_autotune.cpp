// torvane-cli's automatic loop tuning: autotune current|speed|position. The checks of steptest
// (the loop page's Test button), then the same run as the page's Auto-tune button
// (tuning/auto_tune_run.h), ticked every 20 ms here instead of on the page's timer: one line per
// test, then the start and tuned gains with their figures, and the run's message.
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/cli.h"
#include "cli/cli_steptest.h"
#include "protocol/frame.h"
#include "protocol/number_text.h"
#include "serial/timing.h"
#include "session/command_context.h"
#include "session/timer_set.h"
#include "tuning/auto_tune_run.h"
#include "tuning/test_data_file.h"

namespace torvane::cli {

namespace {

constexpr const char* kMaxOvershoot = "--max-overshoot";
constexpr const char* kMaxTests = "--max-tests";
constexpr const char* kRestore = "--restore";
constexpr unsigned long kTestsCeiling = 1000;

std::string ParseAutoTune(const std::vector<std::string>& a, size_t& i, Command& c) {
    static const std::vector<OptionSpec> kExtra = {
        {kMaxOvershoot, true}, {kMaxTests, true}, {kRestore, false}};
    if (std::string e = ParseTestCommand("autotune", a, i, c, kExtra); !e.empty()) return e;
    if (const auto it = c.Values.find(kMaxOvershoot); it != c.Values.end()) {
        const double v = IsDecimal(it->second) ? LeadingDouble(it->second) : -1;
        if (!(v >= 0 && v <= 100))
            return "autotune: --max-overshoot needs a percentage from 0 to 100: " + it->second;
    }
    if (const auto it = c.Values.find(kMaxTests); it != c.Values.end()) {
        unsigned long n = 0;
        if (!ParseDecimal(it->second, kTestsCeiling, n) || n == 0)
            return "autotune: --max-tests needs a whole number from 1 to 1000: " + it->second;
    }
    return {};
}

DriveError AutoTune(Cli& cli, const Command& c) {
    PreparedTest prepared;
    if (const DriveError e = PrepareStepTest(cli, c, true, prepared)) return e;
    DriveSession& session = cli.Session();
    DriveState& state = session.State();

    AutoTuneSetup setup;
    setup.Loop = prepared.Loop;
    setup.Start = prepared.Gains;
    setup.Original = *prepared.Drive;
    setup.Restore = c.Values.count(kRestore) != 0;
    if (const auto it = c.Values.find(kMaxOvershoot); it != c.Values.end())
        setup.Options.MaxOvershootPercent = LeadingDouble(it->second);
    if (const auto it = c.Values.find(kMaxTests); it != c.Values.end())
        setup.Options.MaxTests = std::stoi(it->second);
    std::printf("Auto-tune of the %s loop from %s: at most %d tests, overshoot at most %s %%\n",
                TraitsOf(setup.Loop).Name, GainsText(setup.Start).c_str(),
                setup.Options.MaxTests, FormatG(setup.Options.MaxOvershootPercent).c_str());
    std::fflush(stdout);

    const std::string out = ValueOr(c, "--out", "");
    bool saveFailed = false;
    AutoTuneRun run(setup, [&](const TunedTest& test, const StepTestAnalysis&) {
        std::printf("%s\n", TunedTestLine(test).c_str());
        std::fflush(stdout);
        if (out.empty() || saveFailed) return;
        // Told once; the tuning goes on, and the command fails at its end.
        if (const auto error = AppendTestData(out, setup.Loop, state.CaptureBuffer,
                                              CaptureLength(state, setup.Loop))) {
            cli.Notices().Failure(*error, NoticeIcon::Error);
            saveFailed = true;
        }
    });

    TimerSet timers;
    CommandContext ctx{session.Port(), session.Link(), cli.Console(), cli.Notices(), timers};
    InterruptScope interrupt;
    while (!run.Done()) {
        if (!SleepUntil(std::chrono::steady_clock::now() + Period(kAutoTunePollMs))) {
            run.Cancel(ctx);
            break;
        }
        session.ProcessPortEvents();
        run.Tick(ctx);
    }
    // A lost port is told before the run's message.
    session.ProcessPortEvents();
    if (run.Succeeded()) {
        for (const std::string& line : StartAndTunedLines(run.Tuner().Result()))
            std::printf("%s\n", line.c_str());
    }
    run.Report(cli.Notices());
    if (run.End() == TuneRunEnd::Cancelled) return kInterrupted;
    if (!run.Succeeded() || saveFailed) return kLocalFailure;
    if (!out.empty()) std::printf("Test data appended to %s\n", out.c_str());
    return kSuccess;
}

}  // namespace

std::vector<CommandSpec> AutoTuneCommands() {
    return {
        {"autotune", "autotune LOOP [...]",
         "tunes LOOP (current, speed or position) by step tests, from the\n"
         "drive's gains (or --gains), with steptest's checks and test options;\n"
         "prints each test, then the start and tuned gains with their figures.\n"
         "The drive keeps the tuned gains in its gain register, not stored\n"
         "  --max-overshoot PCT  the overshoot allowed (default 5)\n"
         "  --max-tests N        the most tests, repeats included (default 30)\n"
         "  --restore            write the original gains back at the end\n"
         "  --out FILE           append every test's data to FILE (the page's format)\n"
         "Ctrl-C: the running test's stop word, the original gains back, exit 130",
         true, ParseAutoTune, AutoTune},
    };
}

}  // namespace torvane::cli
