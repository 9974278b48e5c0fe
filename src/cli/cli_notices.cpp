#include "cli/cli_notices.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>

namespace torvane::cli {

void CliNotices::Notice(const std::string& text, NoticeIcon /*icon*/) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

bool CliNotices::Confirm(const std::string& text) {
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
