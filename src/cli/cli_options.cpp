// torvane-cli's command line: the options before the first command, then the commands with
// their arguments, checked by each command's parser from the table.
#include <cstdio>
#include <string>

#include "cli/cli.h"

namespace torvane::cli {

bool ParseDecimal(const std::string& text, unsigned long max, unsigned long& out) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::stoul(text);
    return out <= max;
}

bool IsDecimal(const std::string& text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool digits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, digits = true;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, digits = true;
    }
    if (!digits) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        bool exponent = false;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, exponent = true;
        if (!exponent) return false;
    }
    return i == text.size();
}

bool IsInteger(const std::string& text) {
    size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

const CommandSpec* FindCommand(const std::string& name) {
    for (const CommandSpec& entry : CommandTable()) {
        if (name == entry.Name) return &entry;
    }
    return nullptr;
}

std::string Usage() {
    std::string text =
        "usage: torvane-cli [--port PATH] [--baud N] [--parity none|odd|even] [--stop-bits "
        "1|1.5|2]\n"
        "                   [--keep-going] COMMAND...\n"
        "       torvane-cli --help | --version | help [COMMAND] | COMMAND --help\n"
        "commands (several may follow one another; they run in order over one connection):\n";
    for (const CommandSpec& entry : CommandTable()) {
        char head[64];
        std::snprintf(head, sizeof head, "  %-21s ", entry.Synopsis);
        text += head;
        // Continuation lines of the help sit under its first line.
        for (const char* c = entry.Help; *c != '\0'; ++c) {
            text += *c;
            if (*c == '\n') text += std::string(24, ' ');
        }
        text += '\n';
    }
    text +=
        "ADDR, REG and BYTE are hexadecimal (0x optional), COUNT is decimal. Default line: 115200 "
        "8N1.\n"
        "TORVANE_TRACE=1 writes every frame sent and received to standard error.\n";
    return text;
}

std::string CommandUsage(const CommandSpec& entry) {
    std::string text = "usage: torvane-cli ";
    if (entry.NeedsPort) text += "--port PATH ";
    text += entry.Synopsis;
    text += "\n  ";
    for (const char* c = entry.Help; *c != '\0'; ++c) {
        text += *c;
        if (*c == '\n') text += "  ";
    }
    text += "\nThe line options and the other commands: torvane-cli --help\n";
    return text;
}

void PrintUsageError(const std::string& error) {
    std::fprintf(stderr, "torvane-cli: %s\n%s\n", error.c_str(), kTryHelp);
}

ParseResult ParseCommandLine(const std::vector<std::string>& a, Options& o, std::string& error) {
    size_t i = 0;
    auto value = [&](const std::string& opt) -> const std::string* {
        if (i + 1 >= a.size()) {
            error = opt + " needs a value";
            return nullptr;
        }
        return &a[++i];
    };
    for (; i < a.size() && FindCommand(a[i]) == nullptr; ++i) {
        const std::string& opt = a[i];
        if (opt == "--port") {
            const std::string* v = value(opt);
            if (v == nullptr) return ParseResult::UsageError;
            o.Port = *v;
        } else if (opt == "--baud") {
            const std::string* v = value(opt);
            unsigned long baud = 0;
            if (v == nullptr) return ParseResult::UsageError;
            if (!ParseDecimal(*v, 4000000, baud) || baud == 0) {
                error = "bad baud rate: " + *v;
                return ParseResult::UsageError;
            }
            o.Line.BaudRate = static_cast<uint32_t>(baud);
        } else if (opt == "--parity") {
            const std::string* v = value(opt);
            if (v == nullptr) return ParseResult::UsageError;
            if (*v == "none") {
                o.Line.ParityMode = Parity::None;
            } else if (*v == "odd") {
                o.Line.ParityMode = Parity::Odd;
            } else if (*v == "even") {
                o.Line.ParityMode = Parity::Even;
            } else {
                error = "bad parity: " + *v;
                return ParseResult::UsageError;
            }
        } else if (opt == "--stop-bits") {
            const std::string* v = value(opt);
            if (v == nullptr) return ParseResult::UsageError;
            if (*v == "1") {
                o.Line.Stop = StopBits::One;
            } else if (*v == "1.5") {
                o.Line.Stop = StopBits::OneAndHalf;
            } else if (*v == "2") {
                o.Line.Stop = StopBits::Two;
            } else {
                error = "bad stop bits: " + *v;
                return ParseResult::UsageError;
            }
        } else if (opt == "--keep-going") {
            o.KeepGoing = true;
        } else if (opt == "--help" || opt == "-h") {
            return ParseResult::Help;
        } else if (opt == "--version") {
            return ParseResult::Version;
        } else if (opt == "help") {
            if (i + 1 < a.size()) {
                if (FindCommand(a[i + 1]) == nullptr) {
                    error = "unknown command: " + a[i + 1];
                    return ParseResult::UsageError;
                }
                if (i + 2 < a.size()) {
                    error = "help takes one COMMAND";
                    return ParseResult::UsageError;
                }
                o.HelpCommand = a[i + 1];
            }
            return ParseResult::Help;
        } else {
            error = (opt.rfind('-', 0) == 0 ? "unknown option: " : "unknown command: ") + opt;
            return ParseResult::UsageError;
        }
    }
    if (i == a.size()) {
        error = "no command given";
        return ParseResult::UsageError;
    }
    while (i < a.size()) {
        const CommandSpec* entry = FindCommand(a[i]);
        if (entry == nullptr) {
            error = "unknown command: " + a[i];
            return ParseResult::UsageError;
        }
        // Asking for a command's help runs nothing, whatever else its arguments hold.
        for (size_t k = i + 1; AtArgument(a, k); ++k) {
            if (a[k] == "--help" || a[k] == "-h") {
                o.HelpCommand = a[i];
                return ParseResult::Help;
            }
        }
        Command c;
        c.Name = a[i++];
        if (entry->Parse != nullptr) {
            error = entry->Parse(a, i, c);
            if (!error.empty()) return ParseResult::UsageError;
        }
        o.Commands.push_back(std::move(c));
    }
    return ParseResult::Ok;
}

}  // namespace torvane::cli
