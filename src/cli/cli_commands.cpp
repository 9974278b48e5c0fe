// torvane-cli's register-level commands (ports, read, write, status, capture): their table rows,
// argument parsers and what they run; and the joined table of every group.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "cli/cli.h"
#include "protocol/fault_texts.h"
#include "protocol/register_map.h"
#include "protocol/register_text.h"
#include "session/console_state.h"
#include "session/port_choice.h"
#include "session/status_display.h"

namespace torvane::cli {

namespace {

// Hexadecimal with or without 0x, at most `max`.
bool ParseHex(const std::string& text, unsigned long max, unsigned long& out) {
    std::string t = text;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
    if (t.empty() || t.size() > 8 ||
        t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    out = std::stoul(t, nullptr, 16);
    return out <= max;
}

std::string ParseRead(const std::vector<std::string>& a, size_t& i, Command& c) {
    unsigned long v = 0;
    if (i + 1 >= a.size() || !ParseHex(a[i], 0xFFFF, v)) return "read needs ADDR (hex) and COUNT";
    c.Address = static_cast<RegisterAddress>(v);
    if (!ParseDecimal(a[i + 1], kMaxFrameSize - kFrameOverhead, v))
        return "COUNT must be 0 to 246: " + a[i + 1];
    c.Count = static_cast<uint8_t>(v);
    i += 2;
    return {};
}

std::string ParseWrite(const std::vector<std::string>& a, size_t& i, Command& c) {
    unsigned long v = 0;
    if (i >= a.size() || !ParseHex(a[i], 0xFFFF, v)) return "write needs ADDR (hex)";
    c.Address = static_cast<RegisterAddress>(v);
    for (++i; AtArgument(a, i); ++i) {
        if (!ParseHex(a[i], 0xFF, v)) return "bad byte: " + a[i];
        c.Bytes.push_back(static_cast<uint8_t>(v));
    }
    if (c.Bytes.size() > kMaxFrameSize - kFrameOverhead)
        return "at most 246 data bytes fit in a frame";
    c.Count = static_cast<uint8_t>(c.Bytes.size());
    return {};
}

std::string ParseCapture(const std::vector<std::string>& a, size_t& i, Command& c) {
    unsigned long v = 0;
    if (i >= a.size() || !ParseHex(a[i], 0xFFFF, v) ||
        (v != reg::kCurrentTestLength && v != reg::kSpeedTestLength &&
         v != reg::kPositionTestLength))
        return "capture needs REG 0x2408, 0x2505 or 0x2611";
    c.Address = static_cast<RegisterAddress>(v);
    if (AtArgument(a, ++i)) c.File = a[i++];
    return {};
}

DriveError Ports(Cli& cli, const Command&) {
    // The ports only: the console's "null" and "Simulated drive" items are not ports. Each
    // line starts with what --port takes; a description and a stable name follow, tab-separated.
    DriveSession& session = cli.Session();
    session.SearchItems();
    for (const FoundPort& p : session.Port().FoundPorts) std::printf("%s\n", PortLine(p).c_str());
    return kSuccess;
}

DriveError Read(Cli& cli, const Command& c) {
    DriveSession& session = cli.Session();
    DriveState& state = session.State();
    state.AutoUpdate = 1;  // decode the live fields of a status read too
    if (const DriveError e = session.Read(c.Address, c.Count)) return e;
    const auto& data = session.Link().LastReplyData();
    std::printf("%s\n", HexBytes(data.data(), data.size()).c_str());
    for (const NamedField& f : DescribeRegister(c.Address, data.size(), state, session.Motion()))
        std::printf("%s: %s\n", f.Name.c_str(), f.Value.c_str());
    return kSuccess;
}

DriveError Write(Cli& cli, const Command& c) {
    DriveSession& session = cli.Session();
    std::copy(c.Bytes.begin(), c.Bytes.end(), session.Link().Payload());
    return session.Write(c.Address, c.Count);
}

DriveError Status(Cli& cli, const Command&) {
    DriveSession& session = cli.Session();
    DriveState& state = session.State();
    // The live fields decode only while Auto Update is on, as in the console's live feed.
    state.AutoUpdate = 1;
    if (const DriveError e = session.RunReads(kStatusReads)) return e;
    // The console's rules: the same texts its panes and entries show.
    ConsoleState console;
    std::printf("Model: %s\n", state.ModelString.c_str());
    if (const char* text = MotorStateText(state.MotorState)) {
        std::printf("Motor State: %s\n", text);
    } else {
        std::printf("Motor State: %d\n", state.MotorState);
    }
    if (TakeFaultWord(console, state.StatusFaultWord).ShowNoError) {
        std::printf("Fault Code: %s\n", kNoFaultText);
    } else {
        std::printf("Fault Code: 0x%04X\n", state.StatusFaultWord);
        for (const std::string& t : console.FaultTexts) std::printf("  %s\n", t.c_str());
    }
    const LiveStatusTexts live = LiveStatusTextsOf(state);
    std::printf("Motor Temperature: %s\n", live.MotorTemperature.c_str());
    std::printf("Busbar Voltage: %s\n", live.BusVoltage.c_str());
    std::printf("Phase Current Amplitude: %s\n", live.PhaseCurrent.c_str());
    std::printf("Current Speed: %s\n", live.CurrentSpeed.c_str());
    std::printf("Motor Position: %s\n", live.MotorPosition.c_str());
    return kSuccess;
}

DriveError Capture(Cli& cli, const Command& c) {
    DriveSession& session = cli.Session();
    DriveLink& link = session.Link();
    if (const DriveError e = link.ReadBackCapture(c.Address)) return e;
    const size_t n = link.Capture.CaptureOffset;
    const uint8_t* bytes = session.State().CaptureBuffer.data();
    if (c.File.empty()) {
        for (size_t at = 0; at < n; at += 16)
            std::printf("%s\n", HexBytes(bytes + at, std::min<size_t>(16, n - at)).c_str());
        return kSuccess;
    }
    std::ofstream out(c.File, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(n));
    out.close();
    if (!out) {
        cli.Notices().Failure("torvane-cli: cannot write " + c.File + ": " + std::strerror(errno),
                              NoticeIcon::Error);
        return kLocalFailure;
    }
    std::printf("%zu bytes written to %s\n", n, c.File.c_str());
    return kSuccess;
}

}  // namespace

bool AtArgument(const std::vector<std::string>& a, size_t at) {
    return at < a.size() && FindCommand(a[at]) == nullptr;
}

std::string ParseWordsAndOptions(const std::vector<std::string>& a, size_t& at, Command& c,
                                 const std::vector<OptionSpec>& options) {
    for (; AtArgument(a, at); ++at) {
        const std::string& arg = a[at];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            c.Words.push_back(arg);
            continue;
        }
        const OptionSpec* entry = nullptr;
        for (const OptionSpec& o : options) {
            if (arg == o.Name) entry = &o;
        }
        if (entry == nullptr) return c.Name + ": unknown option " + arg;
        if (!entry->TakesValue) {
            c.Values[arg] = "";
            continue;
        }
        if (at + 1 >= a.size()) return c.Name + ": " + arg + " needs a value";
        c.Values[arg] = a[++at];
    }
    return {};
}

const std::vector<CommandSpec>& CommandTable() {
    static const std::vector<CommandSpec> kTable = [] {
        std::vector<CommandSpec> table;
        for (auto group : {RegisterCommands, MotionCommands, ParamsCommands, StepTestCommands,
                           AutoTuneCommands, RecordCommands}) {
            for (const CommandSpec& entry : group()) table.push_back(entry);
        }
        return table;
    }();
    return kTable;
}

std::vector<CommandSpec> RegisterCommands() {
    return {
        {"ports", "ports", "list the serial ports found, one a line", false, nullptr, Ports},
        {"read", "read ADDR COUNT",
         "read COUNT bytes of register ADDR; print them and the decoded fields", true, ParseRead,
         Read},
        {"write", "write ADDR [BYTE...]",
         "write the bytes to register ADDR (no bytes: a bare command)", true, ParseWrite,
         Write},
        {"status", "status", "model, motor state, faults and live values", true, nullptr,
         Status},
        {"capture", "capture REG [FILE]",
         "read back a test's capture (REG 0x2408, 0x2505 or 0x2611) into FILE,\n"
         "or as hex to standard output",
         true, ParseCapture, Capture},
    };
}

}  // namespace torvane::cli
