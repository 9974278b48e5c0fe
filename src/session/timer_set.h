// TimerSet: ConsoleTimers without a clock. It only remembers which timers run; whoever owns it
// ticks them (the command-line tool follows one progress timer at a time in a loop, see
// motion_follow.h). Also the recording timers of the tests.
//
// Threads: one thread at a time.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "session/console_timers.h"

namespace torvane {

class TimerSet : public ConsoleTimers {
public:
    void StartTimer(TimerId id) override;
    void StopTimer(TimerId id) override;
    bool IsActive(TimerId id) const override;
    void ClearAutoUpdateCheck() override;

    // Every call in order: "start 10", "stop 1", "autoupdate off".
    const std::vector<std::string>& Log() const { return log_; }
    void ClearLog() { log_.clear(); }

private:
    std::set<TimerId> active_;
    std::vector<std::string> log_;
};

}  // namespace torvane
