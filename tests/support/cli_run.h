// Running a program as a user does, through the shell, with its output kept in files of a
// per-test folder. POSIX only.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace torvane::test {

struct Result {
    int status;  // the exit status; -1 when the program did not exit normally
    std::string out, err;
};

// The whole file (empty when it cannot be read).
std::string Slurp(const std::filesystem::path& path);

// A fresh folder under the temporary directory, named after `prefix`, this process and the
// running test.
std::filesystem::path TestFolder(const std::string& prefix);

// The redirections that send a command's output and errors into dir/out and dir/err.
std::string OutputTo(const std::filesystem::path& dir);

// The status from a wait status, and the output and errors from dir/out and dir/err.
Result Collect(int waitStatus, const std::filesystem::path& dir);

// A usage error as torvane-cli reports one: exit status 2, nothing on standard output, and on
// standard error its one line "torvane-cli: ..." followed by "Try 'torvane-cli --help'".
::testing::AssertionResult IsUsageError(const Result& r);

// Runs `command` through the shell with its output and errors into `dir` and standard input
// from /dev/null.
Result RunCommand(const std::string& command, const std::filesystem::path& dir);

}  // namespace torvane::test
