// torvane-cli: the scriptable face of the same core as the console.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "protocol/drive_link.h"
#include "protocol/fault_texts.h"
#include "protocol/register_map.h"
#include "protocol/register_text.h"
#include "serial/serial_port.h"
#include "torvane_version.h"

namespace {

using namespace torvane;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitPort = 3;

const char kUsage[] =
    "usage: torvane-cli [--port PATH] [--baud N] [--parity none|odd|even] [--stop-bits 1|1.5|2]\n"
    "                   [--keep-going] COMMAND...\n"
    "       torvane-cli --help | --version\n"
    "commands (several may follow one another; they run in order over one connection):\n"
    "  ports                 list the serial ports found, one a line\n"
    "  read ADDR COUNT       read COUNT bytes of register ADDR; print them and the decoded fields\n"
    "  write ADDR [BYTE...]  write the bytes to register ADDR (no bytes: a bare command)\n"
    "  status                model, motor state, faults and live values\n"
    "  capture REG [FILE]    read back a test's capture (REG 0x2408, 0x2505 or 0x2611) into FILE,\n"
    "                        or as hex to standard output\n"
    "ADDR, REG and BYTE are hexadecimal (0x optional), COUNT is decimal. Default line: 115200 8N1.\n"
    "TORVANE_TRACE=1 writes every frame sent and received to standard error.\n";

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

bool IsCommandName(const std::string& s) {
    return s == "ports" || s == "read" || s == "write" || s == "status" || s == "capture";
}

// Hexadecimal with or without 0x, at most `max`.
bool ParseHex(const std::string& text, unsigned long max, unsigned long& out) {
    std::string t = text;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
    if (t.empty() || t.size() > 8 || t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    out = std::stoul(t, nullptr, 16);
    return out <= max;
}

bool ParseDecimal(const std::string& text, unsigned long max, unsigned long& out) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::stoul(text);
    return out <= max;
}

// Parses the command line; on a usage error fills `error` and returns false.
bool Parse(int argc, char** argv, Options& o, std::string& error) {
    std::vector<std::string> a(argv + 1, argv + argc);
    size_t i = 0;
    auto value = [&](const std::string& opt) -> std::optional<std::string> {
        if (i + 1 >= a.size()) {
            error = opt + " needs a value";
            return std::nullopt;
        }
        return a[++i];
    };
    for (; i < a.size() && !IsCommandName(a[i]); ++i) {
        const std::string& opt = a[i];
        if (opt == "--port") {
            auto v = value(opt);
            if (!v) return false;
            o.Port = *v;
        } else if (opt == "--baud") {
            auto v = value(opt);
            unsigned long baud = 0;
            if (!v || !ParseDecimal(*v, 4000000, baud) || baud == 0) {
                if (error.empty()) error = "bad baud rate: " + (v ? *v : "");
                return false;
            }
            o.Line.BaudRate = static_cast<uint32_t>(baud);
        } else if (opt == "--parity") {
            auto v = value(opt);
            if (!v) return false;
            if (*v == "none") o.Line.ParityMode = Parity::None;
            else if (*v == "odd") o.Line.ParityMode = Parity::Odd;
            else if (*v == "even") o.Line.ParityMode = Parity::Even;
            else return error = "bad parity: " + *v, false;
        } else if (opt == "--stop-bits") {
            auto v = value(opt);
            if (!v) return false;
            if (*v == "1") o.Line.Stop = StopBits::One;
            else if (*v == "1.5") o.Line.Stop = StopBits::OneAndHalf;
            else if (*v == "2") o.Line.Stop = StopBits::Two;
            else return error = "bad stop bits: " + *v, false;
        } else if (opt == "--keep-going") {
            o.KeepGoing = true;
        } else if (opt == "--help" || opt == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (opt == "--version") {
            std::printf("torvane-cli %s\n", kVersion);
            std::exit(0);
        } else {
            return error = "unknown option: " + opt, false;
        }
    }
    if (i == a.size()) return error = "no command given", false;
    while (i < a.size()) {
        Command c;
        c.Name = a[i++];
        if (!IsCommandName(c.Name)) return error = "unknown command: " + c.Name, false;
        unsigned long v = 0;
        if (c.Name == "read") {
            if (i + 1 >= a.size() || !ParseHex(a[i], 0xFFFF, v))
                return error = "read needs ADDR (hex) and COUNT", false;
            c.Address = static_cast<RegisterAddress>(v);
            if (!ParseDecimal(a[i + 1], kMaxFrameSize - kFrameOverhead, v))
                return error = "COUNT must be 0 to 246: " + a[i + 1], false;
            c.Count = static_cast<uint8_t>(v);
            i += 2;
        } else if (c.Name == "write") {
            if (i >= a.size() || !ParseHex(a[i], 0xFFFF, v))
                return error = "write needs ADDR (hex)", false;
            c.Address = static_cast<RegisterAddress>(v);
            for (++i; i < a.size() && !IsCommandName(a[i]); ++i) {
                if (!ParseHex(a[i], 0xFF, v)) return error = "bad byte: " + a[i], false;
                c.Bytes.push_back(static_cast<uint8_t>(v));
            }
            if (c.Bytes.size() > kMaxFrameSize - kFrameOverhead)
                return error = "at most 246 data bytes fit in a frame", false;
            c.Count = static_cast<uint8_t>(c.Bytes.size());
        } else if (c.Name == "capture") {
            if (i >= a.size() || !ParseHex(a[i], 0xFFFF, v) ||
                (v != reg::kCurrentTestLength && v != reg::kSpeedTestLength &&
                 v != reg::kPositionTestLength))
                return error = "capture needs REG 0x2408, 0x2505 or 0x2611", false;
            c.Address = static_cast<RegisterAddress>(v);
            if (++i < a.size() && !IsCommandName(a[i])) c.File = a[i++];
        }
        o.Commands.push_back(std::move(c));
    }
    return true;
}

class Cli {
public:
    explicit Cli(const Options& o) : options_(o), link_(port_, state_, motion_) {
        port_.Settings = o.Line;
        link_.SetPortEventHandler([](PortEvent e) {
            std::fputs(e == PortEvent::Overflow ? "Serial data overflow\n" : "Serial port lost\n", stderr);
        });
    }
    ~Cli() {
        port_.ClearPortOpen();
        link_.StopExtractor();
        port_.Close();
    }

    int Run() {
        bool failed = false;
        for (const Command& c : options_.Commands) {
            if (c.Name != "ports" && !port_.PortOpen()) {
                if (const int e = OpenPort()) return e;
            }
            const DriveError e = Execute(c);
            if (e != kSuccess) {
                if (const char* text = DriveErrorText(e)) std::fprintf(stderr, "%s\n", text);
                failed = true;
                if (!options_.KeepGoing) break;
            }
        }
        return failed ? kExitFailed : 0;
    }

private:
    int OpenPort() {
        if (!options_.Port) {
            std::fprintf(stderr, "torvane-cli: this command needs --port PATH\n%s", kUsage);
            return kExitUsage;
        }
        std::string reason;
        if (!port_.Open(*options_.Port, &reason)) {
            std::fprintf(stderr, "torvane-cli: cannot open %s: %s\n", options_.Port->c_str(), reason.c_str());
            return kExitPort;
        }
        link_.StartExtractor();
        return 0;
    }

    // A local failure that is not the drive's (a file that cannot be written).
    static constexpr DriveError kLocalFailure = 1;

    DriveError Execute(const Command& c) {
        if (c.Name == "ports") {
            port_.Search();
            for (const std::string& p : port_.PortList) std::printf("%s\n", p.c_str());
            return kSuccess;
        }
        if (c.Name == "read") {
            state_.AutoUpdate = 1;  // decode the live fields of a status read too
            if (const DriveError e = link_.ReadRegister(c.Address, c.Count)) return e;
            const auto& data = link_.LastReplyData();
            std::printf("%s\n", HexBytes(data.data(), data.size()).c_str());
            for (const NamedField& f : DescribeRegister(c.Address, data.size(), state_, motion_))
                std::printf("%s: %s\n", f.Name.c_str(), f.Value.c_str());
            return kSuccess;
        }
        if (c.Name == "write") {
            std::copy(c.Bytes.begin(), c.Bytes.end(), link_.Payload());
            return link_.WriteRegister(c.Address, c.Count);
        }
        if (c.Name == "status") return Status();
        return Capture(c);
    }

    DriveError Status() {
        if (const DriveError e = link_.ReadRegister(reg::kIdentification, size::kIdentification)) return e;
        state_.AutoUpdate = 1;
        if (const DriveError e = link_.ReadRegister(reg::kLiveStatus, LongStatusSize(state_))) return e;
        std::printf("Model: %s\n", state_.ModelString.c_str());
        std::printf("Motor State: %s\n", state_.MotorState ? kMotorEnabledText : kMotorDisabledText);
        if (state_.StatusFaultWord == 0) {
            std::printf("Fault Code: %s\n", kNoFaultText);
        } else {
            std::printf("Fault Code: 0x%04X\n", state_.StatusFaultWord);
            for (const std::string& t : DecodeFaultWord(state_.StatusFaultWord)) std::printf("  %s\n", t.c_str());
        }
        std::printf("Motor Temperature: %d\n", state_.MotorTemperature);
        std::printf("Busbar Voltage: %s\n", FormatG(state_.BusVoltage).c_str());
        std::printf("Phase Current Amplitude: %s\n", FormatG(state_.PhaseCurrent).c_str());
        std::printf("Current Speed: %d\n", state_.LiveSpeed);
        std::printf("Motor Position: %d\n", state_.LivePosition);
        return kSuccess;
    }

    DriveError Capture(const Command& c) {
        if (const DriveError e = link_.ReadBackCapture(c.Address)) return e;
        const size_t n = link_.Capture.CaptureOffset;
        const uint8_t* bytes = state_.CaptureBuffer.data();
        if (c.File.empty()) {
            for (size_t at = 0; at < n; at += 16)
                std::printf("%s\n", HexBytes(bytes + at, std::min<size_t>(16, n - at)).c_str());
            return kSuccess;
        }
        std::ofstream out(c.File, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(n));
        out.close();
        if (!out) {
            std::fprintf(stderr, "torvane-cli: cannot write %s: %s\n", c.File.c_str(), std::strerror(errno));
            return kLocalFailure;
        }
        std::printf("%zu bytes written to %s\n", n, c.File.c_str());
        return kSuccess;
    }

    const Options& options_;
    SerialPort port_;
    DriveState state_;
    MotionFields motion_;
    DriveLink link_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!Parse(argc, argv, options, error)) {
        if (!error.empty()) std::fprintf(stderr, "torvane-cli: %s\n", error.c_str());
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    Cli cli(options);
    return cli.Run();
}
