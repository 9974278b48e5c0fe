// torvane-cli's parameter-set commands: params show|save|diff|download|store|defaults|get|set.
#include "cli/cli.h"

namespace torvane::cli {

std::vector<CommandSpec> ParamsCommands() {
    return {};
}

}  // namespace torvane::cli
