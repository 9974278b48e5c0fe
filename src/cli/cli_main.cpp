// torvane-cli: see cli.h.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "torvane_version.h"

int main(int argc, char** argv) {
    using namespace torvane::cli;
    Options options;
    std::string error;
    switch (ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        case ParseResult::Help: {
            const std::string usage = options.HelpCommand.empty()
                                          ? Usage()
                                          : CommandUsage(*FindCommand(options.HelpCommand));
            std::fputs(usage.c_str(), stdout);
            return 0;
        }
        case ParseResult::Version:
            std::printf("torvane-cli %s\n", torvane::kVersion);
            return 0;
        case ParseResult::UsageError:
            PrintUsageError(error);
            return kExitUsage;
        case ParseResult::Ok:
            break;
    }
    Cli cli(options);
    return cli.Run();
}
