#include "cli/cli.h"

#include <cstdio>

namespace torvane::cli {

Cli::Cli(const Options& options) : options_(options) {
    // No event loop here: the events are handled after each command (ProcessPortEvents).
    session_.SetPortEventListener([this](PortEvent e) {
        notices_.Failure(e == PortEvent::Overflow ? kOverflowMessage : "Serial port lost",
                         NoticeIcon::Error);
    });
}

int Cli::Run() {
    bool failed = false;
    for (const Command& c : options_.Commands) {
        const CommandSpec* entry = FindCommand(c.Name);
        if (entry->NeedsPort && !c.NoPort && !opened_) {
            if (const int e = OpenPort()) return e;
        }
        const DriveError e = entry->Run(*this, c);
        // A port event that ended the command is told before the command's failure.
        session_.ProcessPortEvents();
        if (e == kInterrupted) return kExitInterrupted;
        if (e != kSuccess) {
            ShowDriveError(notices_, e);
            failed = true;
            if (!options_.KeepGoing) break;
        }
    }
    // The session's destructor closes the port and joins its workers.
    return failed ? kExitFailed : 0;
}

int Cli::OpenPort() {
    if (!options_.Port) {
        PrintUsageError("this command needs --port PATH");
        return kExitUsage;
    }
    std::string reason;
    if (!session_.Open(*options_.Port, options_.Line, &reason)) {
        std::fprintf(stderr, "torvane-cli: cannot open %s: %s\n", options_.Port->c_str(),
                     reason.c_str());
        return kExitPort;
    }
    opened_ = true;
    return 0;
}

}  // namespace torvane::cli
