// What torvane-cli's steptest and autotune share (cli_steptest.cpp): the loop word and the
// test options, the page's checks against the drive's limits, and Ctrl-C.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "tuning/loop_gain_check.h"
#include "tuning/loop_test_kind.h"

namespace torvane::cli {

// "current", "speed", "position".
std::optional<LoopTest> TestOf(const std::string& word);

// Reads `command`'s words and options: one loop word, the step test's options (--gains,
// --amplitude, --speed, --max-speed, --target, --ratio, --encoder, --out), each test taking its
// own fields only, and `extra` besides (checked by the caller). Returns "" or the usage error,
// which starts with `name`.
std::string ParseTestCommand(const char* name, const std::vector<std::string>& args, size_t& at,
                             Command& command, const std::vector<OptionSpec>& extra = {});

std::string ValueOr(const Command& c, const char* name, const char* fallback);

struct PreparedTest {
    LoopTest Loop = LoopTest::Speed;
    LoopGains Gains;                 // the test's gains (--gains, or the drive's)
    std::optional<LoopGains> Drive;  // the drive's present gains, when they were read
};

// What the loop page's Test button checks, with the limits the console holds read from the
// drive: the motor and application groups, Match Marks, the motor state; then the drive's
// present gains (always with `readDriveGains`, else only without --gains), the test's check
// and its values stored in DriveState. A refusal is reported; kLocalFailure then, or the
// failed read's DriveError.
DriveError PrepareStepTest(Cli& cli, const Command& command, bool readDriveGains,
                           PreparedTest& prepared);

// Ctrl-C while the scope lives sets Interrupted() instead of ending the process. std::signal,
// which Windows has too.
class InterruptScope {
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    void (*old_)(int);
};
bool Interrupted();

// Sleeps until `until`, looking at Ctrl-C every few milliseconds; false when interrupted.
bool SleepUntil(std::chrono::steady_clock::time_point until);

}  // namespace torvane::cli
