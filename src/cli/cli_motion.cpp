// torvane-cli's motion commands: mode, enable, disable, stop, estop, run, reset, calibrate, clear-faults, can.
#include "cli/cli.h"

namespace torvane::cli {

std::vector<CommandSpec> MotionCommands() {
    return {};
}

}  // namespace torvane::cli
