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
        case ParseResult::Help:
            std::fputs(Usage().c_str(), stdout);
            return 0;
        case ParseResult::Version:
            std::printf("torvane-cli %s\n", torvane::kVersion);
            return 0;
        case ParseResult::UsageError:
            if (!error.empty()) std::fprintf(stderr, "torvane-cli: %s\n", error.c_str());
            std::fputs(Usage().c_str(), stderr);
            return kExitUsage;
        case ParseResult::Ok:
            break;
    }
    Cli cli(options);
    return cli.Run();
}
