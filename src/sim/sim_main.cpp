// torvane-sim: a simulated drive on a pseudo-terminal, for the CLI and for manual runs.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "protocol/frame.h"
#include "serial/timing.h"
#include "sim/plant_presets.h"
#include "sim/simulated_drive.h"
#include "torvane_version.h"

namespace {

// One line for each plant, under the option.
std::string PlantLines() {
    std::string lines;
    for (const torvane::sim::PlantParameters& p : torvane::sim::PlantPresets()) {
        char line[160];
        std::snprintf(line, sizeof line, "                          %-9s%s\n", p.Name,
                      p.Description);
        lines += line;
    }
    return lines;
}

using torvane::sim::CalibrationOutcome;
using torvane::sim::MatchOutcome;
using torvane::sim::SimOptions;

const std::string& UsageText() {
    static const std::string text = std::string(
    "Usage: torvane-sim [options]\n"
    "Runs a simulated servo drive on a pseudo-terminal. Prints the terminal's path on the\n"
    "first line, then serves requests until stopped with Ctrl+C (SIGINT) or SIGTERM.\n"
    "\n"
    "  --link PATH           also make PATH a symbolic link to the terminal (removed at exit)\n"
    "  --model NAME          model string the drive reports (default KVD417)\n"
    "  --plant ") + torvane::sim::PlantNames() + "\n" + std::string(
    "                        the machine behind the loops (default small):\n") +
    PlantLines() + std::string(
    "  --match=ok|fail|never how motor matching ends (default ok, after about 15 s)\n"
    "  --calibration=ok|fail|never\n"
    "                        how encoder calibration ends (default ok, after about 3 s)\n"
    "  --fault WORD          raise these fault bits at start (decimal or 0x hex)\n"
    "  --no-pacing           answer at once instead of at the line's pace\n"
    "  --baud RATE           baud rate the replies are paced at (default 115200)\n"
    "  --silent              answer nothing, like a drive that is switched off\n"
    "  --silence ADDR        never answer requests for register ADDR (hex; may be repeated)\n"
    "  --error ADDR=NIBBLE   answer requests for register ADDR (hex) with result NIBBLE (1-15)\n"
    "                        instead of carrying them out (may be repeated)\n"
    "  --time-scale X        timed behaviours take X times as long (0.1: ten times as fast)\n"
    "  --trace               print every request received to standard error\n"
    "  --help                show this text\n"
    "  --version             show the version\n"
    "\n"
    "Example: torvane-sim --link /tmp/drive   then, in another terminal,\n"
    "         torvane-cli --port /tmp/drive status\n");
    return text;
}

int Usage(const char* message) {
    if (message) std::fprintf(stderr, "torvane-sim: %s\n", message);
    std::fputs(UsageText().c_str(), stderr);
    return 2;
}

bool ParseUnsigned(const std::string& text, unsigned long max, unsigned long& value) {
    if (text.empty() || text[0] == '-') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text.c_str(), &end, 0);
    return errno == 0 && end && *end == '\0' && value <= max;
}

// A register address: hexadecimal, with or without 0x.
bool ParseAddress(std::string text, torvane::RegisterAddress& address) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = text.substr(2);
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    address = static_cast<torvane::RegisterAddress>(std::strtoul(text.c_str(), nullptr, 16));
    return true;
}

// A link we may replace is one that does not exist yet or is a symbolic link; anything else
// is somebody's file and stays.
bool MakeLink(const std::string& link, const std::string& target, std::string& error) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is not a symbolic link; not replacing it";
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        error = "cannot create " + link + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void RemoveLink(const std::string& link, const std::string& target) {
    char buffer[4096];
    const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n < 0) return;
    buffer[n] = '\0';
    if (target == buffer) unlink(link.c_str());  // only our own link
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string link;
    bool trace = false;
    double timeScale = 1.0;
    std::vector<torvane::RegisterAddress> silenced;
    std::vector<std::pair<torvane::RegisterAddress, uint8_t>> errors;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        const size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(UsageText().c_str(), stdout);
            return 0;
        } else if (arg == "--version" && !hasValue) {
            std::printf("torvane-sim %s\n", torvane::kVersion);
            return 0;
        } else if (arg == "--silence") {
            torvane::RegisterAddress address = 0;
            if (!takeValue() || !ParseAddress(value, address)) {
                return Usage("--silence needs a register address such as 0x2300");
            }
            silenced.push_back(address);
        } else if (arg == "--error") {
            // The value holds '=' itself: "--error=0x0300=9" arrives split at the first '='.
            const std::string assignment = hasValue ? value : (i + 1 < argc ? argv[++i] : "");
            const size_t at = assignment.find('=');
            torvane::RegisterAddress address = 0;
            unsigned long nibble = 0;
            if (at == std::string::npos || !ParseAddress(assignment.substr(0, at), address) ||
                !ParseUnsigned(assignment.substr(at + 1), 15, nibble) || nibble == 0) {
                return Usage("--error needs ADDR=NIBBLE, such as 0x0300=9");
            }
            errors.emplace_back(address, static_cast<uint8_t>(nibble));
        } else if (arg == "--link") {
            if (!takeValue() || value.empty()) return Usage("--link needs a path");
            link = value;
        } else if (arg == "--model") {
            if (!takeValue() || value.empty()) return Usage("--model needs a name");
            if (value.size() > 15) return Usage("--model: at most 15 characters");
            options.Model = value;
        } else if (arg == "--plant") {
            const std::string names = torvane::sim::PlantNames();
            if (!takeValue()) return Usage(("--plant needs " + names).c_str());
            if (torvane::sim::FindPlant(value) == nullptr) {
                return Usage(("--plant needs " + names + ", not " + value).c_str());
            }
            options.Plant = value;
        } else if (arg == "--match") {
            if (!takeValue()) return Usage("--match needs ok, fail or never");
            if (value == "ok") {
                options.Match = MatchOutcome::Ok;
            } else if (value == "fail") {
                options.Match = MatchOutcome::Fail;
            } else if (value == "never") {
                options.Match = MatchOutcome::Never;
            } else {
                return Usage("--match needs ok, fail or never");
            }
        } else if (arg == "--calibration") {
            if (!takeValue()) return Usage("--calibration needs ok, fail or never");
            if (value == "ok") {
                options.Calibration = CalibrationOutcome::Ok;
            } else if (value == "fail") {
                options.Calibration = CalibrationOutcome::Fail;
            } else if (value == "never") {
                options.Calibration = CalibrationOutcome::Never;
            } else {
                return Usage("--calibration needs ok, fail or never");
            }
        } else if (arg == "--fault") {
            unsigned long word = 0;
            if (!takeValue() || !ParseUnsigned(value, 0xFFFF, word)) {
                return Usage("--fault needs a 16-bit word, such as 0x0004");
            }
            options.FaultWord = static_cast<uint16_t>(word);
        } else if (arg == "--baud") {
            unsigned long baud = 0;
            if (!takeValue() || !ParseUnsigned(value, 4000000, baud) || baud == 0) {
                return Usage("--baud needs a rate such as 115200");
            }
            options.BaudRate = static_cast<uint32_t>(baud);
        } else if (arg == "--time-scale") {
            char* end = nullptr;
            if (!takeValue()) return Usage("--time-scale needs a number");
            timeScale = std::strtod(value.c_str(), &end);
            if (!end || *end != '\0' || !(timeScale > 0) || timeScale > 1000) {
                return Usage("--time-scale needs a number above 0");
            }
        } else if (arg == "--no-pacing" && !hasValue) {
            options.Pacing = false;
        } else if (arg == "--silent" && !hasValue) {
            options.Silent = true;
        } else if (arg == "--trace" && !hasValue) {
            trace = true;
        } else {
            return Usage(("unknown option " + std::string(argv[i])).c_str());
        }
    }
    torvane::SetTimeScale(timeScale);

    // Signals are taken by sigwait below; block them before any thread starts so that none of
    // the drive's threads is interrupted by them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    torvane::sim::SimulatedDrive drive(options);
    for (const torvane::RegisterAddress address : silenced) drive.SilenceAddress(address);
    for (const auto& [address, nibble] : errors) drive.AnswerWithResult(nibble, address);
    if (trace) {
        drive.SetRequestObserver([](const torvane::sim::RecordedRequest& r) {
            std::fprintf(stderr, "%s%s%s\n",
                         torvane::HexBytes(r.Bytes.data(), r.Bytes.size()).c_str(),
                         r.CrcOk ? "" : "  (bad CRC)", r.Answered ? "" : "  (not answered)");
        });
    }
    std::string error;
    if (!drive.Start(&error)) {
        std::fprintf(stderr, "torvane-sim: %s\n", error.c_str());
        return 1;
    }
    const std::string path = drive.SlavePath();
    if (!link.empty() && !MakeLink(link, path, error)) {
        std::fprintf(stderr, "torvane-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);

    int received = 0;
    while (sigwait(&signals, &received) != 0) {
    }
    drive.Stop();
    if (!link.empty()) RemoveLink(link, path);
    return 0;
}
