// torvane-cli: the scriptable face of the same core as the console. Commands run in order over
// one connection, opened through a DriveSession before the first command that needs the port.
//
// Adding a command: write its argument parser and its Cli member (cli_commands.cpp), and add a
// row to CommandTable() with its synopsis and help; the usage text, the option parser and the
// run loop take it from there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_notices.h"
#include "protocol/drive_error.h"
#include "protocol/frame.h"
#include "serial/serial_port.h"
#include "session/drive_session.h"

namespace torvane::cli {

constexpr int kExitFailed = 1;  // a transaction (or a local step) failed
constexpr int kExitUsage = 2;   // the command line is wrong
constexpr int kExitPort = 3;    // the port cannot be opened

// One command of the command line with its checked arguments.
struct Command {
    std::string Name;
    RegisterAddress Address = 0;
    uint8_t Count = 0;
    std::vector<uint8_t> Bytes;
    std::string File;
};

struct Options {
    std::optional<std::string> Port;
    LineSettings Line;
    bool KeepGoing = false;
    std::vector<Command> Commands;
};

class Cli;

struct CommandSpec {
    const char* Name;
    const char* Synopsis;  // name and arguments, as the usage lists them
    const char* Help;      // lines after the first are indented under it
    bool NeedsPort;
    // Reads the command's arguments from args[at...] (stopping before the next command name)
    // into `command` and advances `at`; returns "" or the usage error.
    std::string (*Parse)(const std::vector<std::string>& args, size_t& at, Command& command);
    // Runs it; a DriveError, or kLocalFailure for a failure of its own (already reported).
    DriveError (Cli::*Run)(const Command& command);
};

// A failure that is not the drive's (a file that cannot be written); reported by the command.
constexpr DriveError kLocalFailure = 1;

const std::vector<CommandSpec>& CommandTable();
const CommandSpec* FindCommand(const std::string& name);
// The usage text, commands listed from the table.
std::string Usage();

enum class ParseResult { Ok, Help, UsageError };
// Parses the arguments after the program name; on a usage error fills `error`.
ParseResult ParseCommandLine(const std::vector<std::string>& args, Options& options,
                             std::string& error);

class Cli {
public:
    explicit Cli(const Options& options);

    // Runs the commands; returns the exit status.
    int Run();

    // The commands (rows of CommandTable()).
    DriveError Ports(const Command& command);
    DriveError Read(const Command& command);
    DriveError Write(const Command& command);
    DriveError Status(const Command& command);
    DriveError Capture(const Command& command);

private:
    int OpenPort();

    const Options& options_;
    CliNotices notices_;
    DriveSession session_;
    bool opened_ = false;  // a port is opened once; a lost port is not reopened mid-run
};

}  // namespace torvane::cli
