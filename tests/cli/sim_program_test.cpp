// torvane-sim's choice of plant as a user makes it: listed in --help, a name that is no plant
// refused with the names there are.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/cli_run.h"

namespace torvane {
namespace {

TEST(SimProgram, ThePlantIsChosenByName) {
    const std::filesystem::path dir = test::TestFolder("torvane-sim-plant");
    const test::Result help = test::RunCommand(std::string(TORVANE_SIM) + " --help", dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--plant small|inertia|belt\n"), std::string::npos) << help.out;
    for (const char* name : {"small ", "inertia ", "belt "}) {
        EXPECT_NE(help.out.find(name), std::string::npos) << name;
    }
    for (const char* args : {" --plant lathe", " --plant", " --plant="}) {
        const test::Result r = test::RunCommand(std::string(TORVANE_SIM) + args, dir);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("--plant needs small|inertia|belt"), std::string::npos) << r.err;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace torvane
