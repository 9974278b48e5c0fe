#include "support/cli_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace torvane::test {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

fs::path TestFolder(const std::string& prefix) {
    const fs::path dir =
        fs::temp_directory_path() /
        (prefix + "-" + std::to_string(getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    return dir;
}

std::string OutputTo(const fs::path& dir) {
    return " >" + (dir / "out").string() + " 2>" + (dir / "err").string();
}

Result Collect(int waitStatus, const fs::path& dir) {
    return {WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1, Slurp(dir / "out"),
            Slurp(dir / "err")};
}

::testing::AssertionResult IsUsageError(const Result& r) {
    static const std::string kTry = "Try 'torvane-cli --help'\n";
    const std::string head = "torvane-cli: ";
    const bool shape = r.err.size() > head.size() + kTry.size() &&
                       r.err.compare(0, head.size(), head) == 0 &&
                       r.err.compare(r.err.size() - kTry.size(), kTry.size(), kTry) == 0 &&
                       r.err.find('\n') == r.err.size() - kTry.size() - 1;
    if (r.status == 2 && r.out.empty() && shape) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "exit " << r.status << "\nout: " << r.out
                                         << "\nerr: " << r.err;
}

Result RunCommand(const std::string& command, const fs::path& dir) {
    return Collect(std::system((command + OutputTo(dir) + " </dev/null").c_str()), dir);
}

}  // namespace torvane::test
