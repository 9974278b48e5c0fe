// --version of every program: the program's name and the project's version, exit status 0.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "torvane_version.h"

namespace torvane {
namespace {

struct Outcome {
    int Status = -1;
    std::string Out;
};

Outcome RunProgram(const std::string& command) {
    Outcome r;
    FILE* pipe = popen((command + " 2>/dev/null </dev/null").c_str(), "r");
    if (pipe == nullptr) return r;
    std::array<char, 256> buffer{};
    while (fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr)
        r.Out += buffer.data();
    const int raw = pclose(pipe);
    r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

TEST(Version, EveryProgramPrintsTheProjectVersion) {
    const struct {
        const char* name;
        std::string command;
    } programs[] = {
        {"torvane-cli", TORVANE_CLI},
        {"torvane-sim", TORVANE_SIM},
#ifdef TORVANE_CONSOLE
        {"torvane", "QT_QPA_PLATFORM=offscreen " TORVANE_CONSOLE},
#endif
    };
    for (const auto& p : programs) {
        const Outcome r = RunProgram(p.command + " --version");
        EXPECT_EQ(r.Status, 0) << p.name;
        EXPECT_EQ(r.Out, std::string(p.name) + " " + kVersion + "\n") << p.name;
    }
}

}  // namespace
}  // namespace torvane
