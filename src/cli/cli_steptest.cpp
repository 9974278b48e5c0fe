// torvane-cli's loop step test: steptest current|speed|position. It runs what the loop page's
// Test button and the console run: the page's checks (with the limits read from the drive), the
// console's start request, the test timer's tick every 500 ms with the progress box's rule
// until the box closes, and then the page's test data file and the response figures.
#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <thread>

#include "cli/cli.h"
#include "cli/cli_steptest.h"
#include "protocol/number_text.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "session/command_context.h"
#include "session/motion_texts.h"
#include "session/progress_box.h"
#include "session/progress_requests.h"
#include "session/progress_ticks.h"
#include "session/status_display.h"
#include "session/timer_set.h"
#include "tuning/auto_tune_run.h"
#include "tuning/loop_gain_check.h"
#include "tuning/loop_step_test.h"
#include "tuning/step_test_analysis.h"
#include "tuning/step_test_check.h"

namespace torvane::cli {

namespace {

// What the console's entries hold when it starts: the position test's defaults.
constexpr const char* kDefaultRatio = "1";
constexpr const char* kDefaultEncoder = "65535.0";

// Ctrl-C while a test runs: the cancel of the test box (the stop request), not a dead process.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) {
    interrupted = 1;
}

// "P,I,D": three numbers.
std::optional<GainTexts> SplitGains(const std::string& text) {
    std::array<std::string, 3> parts;
    size_t at = 0;
    for (size_t k = 0; k < 3; ++k) {
        const size_t comma = text.find(',', at);
        if ((k < 2) != (comma != std::string::npos)) return std::nullopt;
        parts[k] = text.substr(at, k < 2 ? comma - at : std::string::npos);
        if (!IsDecimal(parts[k])) return std::nullopt;
        at = comma + 1;
    }
    return GainTexts{parts[0], parts[1], parts[2]};
}

}  // namespace

std::optional<LoopTest> TestOf(const std::string& word) {
    for (LoopTest t : kLoopTests) {
        if (word == TraitsOf(t).Name) return t;
    }
    return std::nullopt;
}

std::string ParseTestCommand(const char* name, const std::vector<std::string>& a, size_t& i,
                             Command& c, const std::vector<OptionSpec>& extra) {
    std::vector<OptionSpec> options = {
        {"--gains", true},  {"--amplitude", true}, {"--speed", true},   {"--max-speed", true},
        {"--target", true}, {"--ratio", true},     {"--encoder", true}, {"--out", true},
    };
    options.insert(options.end(), extra.begin(), extra.end());
    const std::string command = name;
    if (std::string error = ParseWordsAndOptions(a, i, c, options); !error.empty()) return error;
    if (c.Words.size() != 1 || !TestOf(c.Words[0]))
        return command + " needs one of current, speed, position";
    const LoopTest test = *TestOf(c.Words[0]);
    // Each test takes its own fields only, so a mistyped command line never runs a test with
    // a default the user meant to change.
    const std::vector<std::string> own[] = {
        {"--amplitude"},
        {"--speed"},
        {"--max-speed", "--target", "--ratio", "--encoder"},
    };
    for (const auto& [option, value] : c.Values) {
        if (std::any_of(extra.begin(), extra.end(),
                        [&](const OptionSpec& e) { return option == e.Name; }))
            continue;
        if (option == "--out") {
            if (value.empty()) return command + ": --out needs a file name";
            continue;
        }
        if (option == "--gains") {
            if (!SplitGains(value))
                return command + ": --gains needs three numbers P,I,D: " + value;
            continue;
        }
        const auto& mine = own[static_cast<size_t>(test)];
        if (std::find(mine.begin(), mine.end(), option) == mine.end())
            return command + " " + c.Words[0] + " does not take " + option;
        if (!IsDecimal(value)) return command + ": " + option + " needs a number: " + value;
    }
    return {};
}

std::string ValueOr(const Command& c, const char* name, const char* fallback) {
    const auto it = c.Values.find(name);
    return it == c.Values.end() ? fallback : it->second;
}

InterruptScope::InterruptScope() : old_(std::signal(SIGINT, OnInterrupt)) {
    interrupted = 0;
}

InterruptScope::~InterruptScope() {
    std::signal(SIGINT, old_ == SIG_ERR ? SIG_DFL : old_);
}

bool Interrupted() {
    return interrupted != 0;
}

bool SleepUntil(std::chrono::steady_clock::time_point until) {
    while (!interrupted && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::min<std::chrono::microseconds>(
            Period(50), std::chrono::duration_cast<std::chrono::microseconds>(
                            until - std::chrono::steady_clock::now())));
    }
    return !interrupted;
}

namespace {

std::string ParseStepTest(const std::vector<std::string>& a, size_t& i, Command& c) {
    return ParseTestCommand("steptest", a, i, c);
}

// The test box on the terminal: records what the test timer's tick writes into it (the same
// rule the console's box follows) and prints each new text, a failure's on standard error.
class TerminalTestBox : public ProgressBox {
public:
    void SetText(const std::string& text) override {
        std::FILE* out = text == torvane::kTestErrorText ? stderr : stdout;
        std::fprintf(out, "%s\n", text.c_str());
        std::fflush(out);
    }
    void SetState(uint8_t state) override { state_ = state; }
    void Close(int result) override { result_ = result; }

    uint8_t State() const { return state_; }
    std::optional<int> Result() const { return result_; }

private:
    uint8_t state_ = 2;
    std::optional<int> result_;
};

}  // namespace

DriveError PrepareStepTest(Cli& cli, const Command& c, bool readDriveGains,
                           PreparedTest& prepared) {
    const LoopTest test = *TestOf(c.Words[0]);
    prepared.Loop = test;
    DriveSession& session = cli.Session();
    DriveState& state = session.State();

    // What the page's checks compare with, as the console holds it: the motor and application
    // limits, Match Marks and the motor state.
    static constexpr HandshakeRead kReads[] = {
        {reg::kMotorGroup, size::kMotorGroup},
        {reg::kApplicationGroup, size::kApplicationGroup},
        {reg::kMatchingGroup, size::kMatchingGroup},
        {reg::kLiveStatus, size::kLiveStatusShort},
    };
    if (const DriveError e = session.RunReads(kReads)) return e;
    TakeMotorState(cli.Console(), state.MotorState);

    const auto given = c.Values.find("--gains");
    if (readDriveGains || given == c.Values.end()) {
        // The drive's present gains, as the page shows them.
        if (const DriveError e = session.Read(GainRegister(test), size::kLoopGains)) return e;
        prepared.Drive = LoopGainsOf(state.Params.Loop, test);
    }
    const GainTexts gains =
        given != c.Values.end() ? *SplitGains(given->second) : GainTextsOf(*prepared.Drive);

    StepTestCheck check;
    switch (test) {
        case LoopTest::Current:
            check = CheckCurrentTest({gains, 0, ValueOr(c, "--amplitude", "1"), ""}, state,
                                     cli.Console().MotorEnabled);
            break;
        case LoopTest::Speed:
            check = CheckSpeedTest({gains, ValueOr(c, "--speed", "1000")}, state,
                                   cli.Console().MotorEnabled);
            break;
        case LoopTest::Position:
            // The console's One-Loop Encoder Value and Reduction Ratio entries, read as the
            // Loop Parameters command reads them.
            state.OneLoopEncoderValue =
                static_cast<float>(LeadingDouble(ValueOr(c, "--encoder", kDefaultEncoder)));
            state.ReductionRatio =
                static_cast<float>(LeadingDouble(ValueOr(c, "--ratio", kDefaultRatio)));
            check = CheckPositionTest(
                {gains, ValueOr(c, "--max-speed", "1000"), ValueOr(c, "--target", "10000"),
                 FormatD(state.Params.Application.Acceleration)},
                state, cli.Console().MotorEnabled);
            break;
    }
    StoreStepTestCheck(check, state);
    if (!check.Passed()) {
        cli.Notices().Failure(check.Refused->Text, check.Refused->Icon);
        return kLocalFailure;
    }
    prepared.Gains = *check.Gains;
    return kSuccess;
}

namespace {

DriveError StepTest(Cli& cli, const Command& c) {
    PreparedTest prepared;
    if (const DriveError e = PrepareStepTest(cli, c, false, prepared)) return e;
    const LoopTest test = prepared.Loop;
    DriveSession& session = cli.Session();
    DriveState& state = session.State();
    std::printf("Gains: %s\n", GainsText(prepared.Gains).c_str());

    TimerSet timers;
    CommandContext ctx{session.Port(), session.Link(), cli.Console(), cli.Notices(), timers};
    if (StartLoopTest(test, ctx) != 0) return kLocalFailure;  // its DriveError is shown

    TerminalTestBox box;
    box.SetState(2);
    box.SetText(kTestingText);
    const TimerId timer = TestTimer(test);
    InterruptScope interrupt;
    const auto deadline = std::chrono::steady_clock::now() + Period(kTestLimitMs);
    // The test timer's ticks, as the console's timer runs them while its box is open: until
    // the box closes, or the timer stops with the box left open (a failed status read).
    while (!box.Result() && timers.IsActive(timer)) {
        const bool slept =
            SleepUntil(std::chrono::steady_clock::now() + Period(TimerPeriod(timer)));
        if (!slept || std::chrono::steady_clock::now() > deadline) {
            cli.Notices().Failure(!slept ? "Test cancelled" : kTestTimedOutText);
            StopLoopTest(test, ctx);
            return kLocalFailure;
        }
        session.ProcessPortEvents();
        if (!session.IsOpen()) return kDeviceNoResponse;
        TickLoopTest(ctx, timer, &box);
    }
    if (box.Result() != 1) {
        // The box shows "Test error, please close……" and the DriveError was shown.
        return kLocalFailure;
    }

    const StepTestOutcome outcome =
        FinishStepTest(test, state, std::time(nullptr), ValueOr(c, "--out", ""));
    std::printf("Records: %zu\n", outcome.Analysis.Records);
    for (const std::string& line : outcome.FigureLines) std::printf("%s\n", line.c_str());
    if (outcome.Saved.Error) {
        cli.Notices().Failure(*outcome.Saved.Error, NoticeIcon::Error);
        return kLocalFailure;
    }
    std::printf("Test data appended to %s\n", outcome.Saved.Path.c_str());
    return kSuccess;
}

}  // namespace

std::vector<CommandSpec> StepTestCommands() {
    return {
        {"steptest", "steptest LOOP [...]",
         "the loop page's step test of LOOP (current, speed or position);\n"
         "prints the response figures and appends the data to the page's file\n"
         "  --gains P,I,D      the loop's gains (default: the drive's present gains)\n"
         "  --amplitude A      current test (default 1)\n"
         "  --speed RPM        speed test (default 1000)\n"
         "  --max-speed RPM    position test (default 1000), with --target DEG\n"
         "                     (10000), --ratio R (1) and --encoder N (65535.0)\n"
         "  --out FILE         the data file (default: the page's name, here)\n"
         "Ctrl-C cancels a running test (its stop word is sent)",
         true, ParseStepTest, StepTest},
    };
}

}  // namespace torvane::cli
