// torvane-cli: the scriptable face of the same core as the console. Commands run in order over
// one connection, opened through a DriveSession before the first command that needs the port.
//
// Adding a command: write its argument parser and its run function in the file of its group
// (cli_commands.cpp for the register-level commands, cli_motion.cpp, cli_params.cpp,
// cli_steptest.cpp, cli_autotune.cpp) and add a row to that group's table; CommandTable()
// joins the groups, and the usage text, the command's own help ("help COMMAND",
// "COMMAND --help"), the option parser and the run loop take it from there.
//
// Streams: what a command shows goes to standard output, errors to standard error (see
// cli_notices.h). A usage error is one line and a pointer to the help, exit status 2.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_notices.h"
#include "protocol/drive_error.h"
#include "protocol/frame.h"
#include "serial/serial_port.h"
#include "session/console_state.h"
#include "session/drive_session.h"

namespace torvane::cli {

constexpr int kExitFailed = 1;  // a transaction (or a local step) failed
constexpr int kExitUsage = 2;   // the command line is wrong
constexpr int kExitPort = 3;    // the port cannot be opened
constexpr int kExitInterrupted = 130;  // Ctrl-C ended a command (128 + SIGINT, as shells give)

// The line after a usage error.
constexpr const char* kTryHelp = "Try 'torvane-cli --help'";

// One command of the command line with its checked arguments.
struct Command {
    std::string Name;
    RegisterAddress Address = 0;
    uint8_t Count = 0;
    std::vector<uint8_t> Bytes;
    std::string File;
    // For commands with words and options of their own (see ParseWordsAndOptions).
    std::vector<std::string> Words;
    std::map<std::string, std::string> Values;  // "--name" -> value ("" for a flag)
    // Set by a parser when this use of a command needs no port (`params show FILE`).
    bool NoPort = false;
};

struct Options {
    std::optional<std::string> Port;
    LineSettings Line;
    bool KeepGoing = false;
    std::vector<Command> Commands;
    // Set with ParseResult::Help for "help COMMAND" and "COMMAND --help": the command whose
    // usage to print. Empty: the whole usage.
    std::string HelpCommand;
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
    // Runs it; a DriveError (shown by the run loop), or kLocalFailure for a failure of its own
    // (already reported).
    DriveError (*Run)(Cli& cli, const Command& command);
};

// A failure that is not the drive's (a file that cannot be written); reported by the command.
constexpr DriveError kLocalFailure = 1;
// Ctrl-C ended the command (reported by it): exit status kExitInterrupted, and no command
// after it runs, --keep-going or not.
constexpr DriveError kInterrupted = 2;

// The command groups, each in its own file; CommandTable() joins them in this order.
std::vector<CommandSpec> RegisterCommands();  // ports, read, write, status, capture
std::vector<CommandSpec> MotionCommands();    // cli_motion.cpp
std::vector<CommandSpec> ParamsCommands();    // cli_params.cpp
std::vector<CommandSpec> StepTestCommands();  // cli_steptest.cpp
std::vector<CommandSpec> AutoTuneCommands();  // cli_autotune.cpp
std::vector<CommandSpec> RecordCommands();    // cli_record.cpp
const std::vector<CommandSpec>& CommandTable();
const CommandSpec* FindCommand(const std::string& name);
// The usage text, commands listed from the table.
std::string Usage();
// One command's usage: its synopsis and help from the table.
std::string CommandUsage(const CommandSpec& entry);
// A usage error on standard error: "torvane-cli: ERROR" and kTryHelp.
void PrintUsageError(const std::string& error);

// True when args[at] exists and is not a command name (an argument of the current command).
bool AtArgument(const std::vector<std::string>& args, size_t at);

// What a command accepts besides its words: "--name" options, each taking a value or not.
struct OptionSpec {
    const char* Name;  // with the dashes
    bool TakesValue;
};
// Reads the current command's arguments up to the next command name: "--name [value]" into
// command.Values (checked against `options`), anything else into command.Words. Returns "" or
// the usage error. Word counts are the caller's to check.
std::string ParseWordsAndOptions(const std::vector<std::string>& args, size_t& at,
                                 Command& command, const std::vector<OptionSpec>& options);

// Argument words: unsigned decimal digits up to `max`; [+-]digits[.digits] or [+-].digits with
// an optional exponent (a number as an entry holds it); [+-]digits.
bool ParseDecimal(const std::string& text, unsigned long max, unsigned long& out);
bool IsDecimal(const std::string& text);
bool IsInteger(const std::string& text);

enum class ParseResult { Ok, Help, Version, UsageError };
// Parses the arguments after the program name; on a usage error fills `error`. "--help", "-h"
// and "help" give Help; "help COMMAND" and "COMMAND --help" (or -h, among the command's
// arguments) give Help with options.HelpCommand set; "help" with a word that is no command is a
// usage error.
ParseResult ParseCommandLine(const std::vector<std::string>& args, Options& options,
                             std::string& error);

class Cli {
public:
    explicit Cli(const Options& options);

    // Runs the commands; returns the exit status.
    int Run();

    // What the commands work with: the connection, where messages go, and the console's own
    // state fields (the commands follow the console's rules over them).
    DriveSession& Session() { return session_; }
    CliNotices& Notices() { return notices_; }
    ConsoleState& Console() { return console_; }

private:
    int OpenPort();

    const Options& options_;
    CliNotices notices_;
    DriveSession session_;
    ConsoleState console_;
    bool opened_ = false;  // a port is opened once; a lost port is not reopened mid-run
};

}  // namespace torvane::cli
