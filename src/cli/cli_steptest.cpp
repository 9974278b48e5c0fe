// torvane-cli's the loop step test: steptest current|speed|position.
#include "cli/cli.h"

namespace torvane::cli {

std::vector<CommandSpec> StepTestCommands() {
    return {};
}

}  // namespace torvane::cli
