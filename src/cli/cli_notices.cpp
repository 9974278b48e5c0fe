#include "cli/cli_notices.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>

namespace torvane::cli {

namespace {

void Print(std::FILE* to, const std::string& text) {
    // What was printed before keeps its place when both streams go to one terminal or file.
    std::fflush(stdout);
    std::fprintf(to, "%s\n", text.c_str());
    std::fflush(to);
}

std::FILE* StreamFor(NoticeIcon icon) {
    return icon == NoticeIcon::Error || icon == NoticeIcon::Warning ? stderr : stdout;
}

}  // namespace

void CliNotices::Notice(const std::string& text, NoticeIcon icon) {
    Print(StreamFor(icon), text);
}

void CliNotices::Failure(const std::string& text, NoticeIcon /*icon*/) {
    Print(stderr, text);
}

bool CliNotices::Confirm(const std::string& text) {
    std::fflush(stdout);
    if (!isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "%s [OK/Cancel]: Cancel (no terminal to ask on)\n", text.c_str());
        return false;
    }
    std::fprintf(stderr, "%s [OK/Cancel]: ", text.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return answer == "ok" || answer == "o" || answer == "y" || answer == "yes";
}

}  // namespace torvane::cli
