// torvane-cli's motion commands: mode, enable, disable, stop, estop, run, reset, calibrate,
// clear-faults, can. Each runs the console's own command (torvane::motion, can_settings.h,
// motion_follow.h) over the CLI's session, with the reads the console would have made before
// (the motor state, the work mode, the limits) made first. Refusals and failures go to standard
// error as they happen; what the console's boxes and entries show goes to standard output.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "protocol/fault_texts.h"
#include "protocol/number_text.h"
#include "protocol/register_map.h"
#include "session/can_settings.h"
#include "session/command_context.h"
#include "session/motion_commands.h"
#include "session/motion_follow.h"
#include "session/motion_rules.h"
#include "session/motion_setpoints.h"
#include "session/motion_texts.h"
#include "session/status_display.h"
#include "session/timer_set.h"

namespace torvane::cli {

namespace {

constexpr const char* kWorkModeWords[] = {"current", "speed", "position"};
constexpr const char* kPositionTypeWords[] = {"absolute", "relative"};

// The index of `word` in `words`, -1 when it is none of them.
template <size_t N>
int IndexOf(const char* const (&words)[N], const std::string& word) {
    for (size_t i = 0; i < N; ++i) {
        if (word == words[i]) return static_cast<int>(i);
    }
    return -1;
}

// The console's reply display that the motion commands rely on: a confirmed enable or disable
// sets MotorEnabled (what the Enabled button's caption and the WorkMode list show needs no
// window here).
class ControlWordReplies : public ReplyHandler {
public:
    explicit ControlWordReplies(ConsoleState& console) : console_(console) {}
    void OnReadReply(RegisterAddress) override {}
    void OnWriteReply(RegisterAddress address) override {
        if (address == reg::kControlWord) ShowControlWordReply(console_);
    }

private:
    ConsoleState& console_;
};

// What one motion command works with: the CLI's session, notices and console state, timers
// without a clock (a follow ticks them), and the reply display above for as long as it runs.
class MotionScope {
public:
    explicit MotionScope(Cli& cli)
        : cli_(cli),
          replies_(cli.Console()),
          ctx_{cli.Session().Port(), cli.Session().Link(), cli.Console(), cli.Notices(), timers_} {
        cli_.Session().SetReplyHandler(&replies_);
    }
    ~MotionScope() { cli_.Session().SetReplyHandler(nullptr); }
    MotionScope(const MotionScope&) = delete;
    MotionScope& operator=(const MotionScope&) = delete;

    CommandContext& Ctx() { return ctx_; }
    DriveSession& Session() { return cli_.Session(); }

private:
    Cli& cli_;
    ControlWordReplies replies_;
    TimerSet timers_;
    CommandContext ctx_;
};

// The Info box or the Position Correction entry on the terminal: each new text on standard
// output, except the last of a follow that did not complete, which is the failure's message
// and goes to standard error.
class PrintingBox : public ProgressBox {
public:
    void SetText(const std::string& text) override {
        if (text == pending_) return;
        Flush(stdout);
        pending_ = text;
    }
    void Finish(bool completed) { Flush(completed ? stdout : stderr); }

private:
    void Flush(std::FILE* to) {
        if (pending_.empty()) return;
        std::fprintf(to, "%s\n", pending_.c_str());
        std::fflush(to);
        pending_.clear();
    }
    std::string pending_;
};

// A command whose messages the core has shown: success, or a failure already reported.
DriveError Outcome(const CommandResult& result) {
    return result.Succeeded() ? kSuccess : kLocalFailure;
}

// Reads the motor state as the status poll does: MotorEnabled follows it.
DriveError ReadMotorState(Cli& cli) {
    if (const DriveError e = cli.Session().Read(reg::kLiveStatus, size::kLiveStatusShort)) return e;
    TakeMotorState(cli.Console(), cli.Session().State().MotorState);
    return kSuccess;
}

DriveError FollowToTheEnd(FollowResult (*follow)(CommandContext&, ProgressBox*),
                          CommandContext& ctx, PrintingBox& box) {
    const FollowResult result = follow(ctx, &box);
    box.Finish(result.Completed);
    return result.Completed ? kSuccess : kLocalFailure;
}

// --- Argument parsers ---

std::string ParseNoArguments(const std::vector<std::string>& a, size_t& at, Command& c) {
    if (AtArgument(a, at)) return c.Name + " takes no arguments: " + a[at];
    return {};
}

std::string ParseModeWord(const std::vector<std::string>& a, size_t& at, Command& c) {
    if (std::string error = ParseWordsAndOptions(a, at, c, {}); !error.empty()) return error;
    if (c.Words.size() > 1) return c.Name + " takes at most one work mode";
    if (c.Words.size() == 1 && IndexOf(kWorkModeWords, c.Words[0]) < 0) {
        return c.Name + ": the work mode is current, speed or position, not " + c.Words[0];
    }
    return {};
}

std::string ParseRun(const std::vector<std::string>& a, size_t& at, Command& c) {
    const std::vector<OptionSpec> options = {{"--reverse", false},
                                             {"--speed", true},
                                             {"--type", true},
                                             {"--ratio", true},
                                             {"--encoder", true}};
    if (std::string error = ParseWordsAndOptions(a, at, c, options); !error.empty()) return error;
    if (c.Words.size() != 1) return "run needs one VALUE";
    if (!IsDecimal(c.Words[0])) return "run: VALUE must be a number: " + c.Words[0];
    for (const char* name : {"--speed", "--ratio", "--encoder"}) {
        const auto it = c.Values.find(name);
        if (it != c.Values.end() && !IsDecimal(it->second)) {
            return std::string("run: ") + name + " must be a number: " + it->second;
        }
    }
    const auto type = c.Values.find("--type");
    if (type != c.Values.end() && IndexOf(kPositionTypeWords, type->second) < 0) {
        return "run: --type is absolute or relative, not " + type->second;
    }
    return {};
}

std::string ParseCan(const std::vector<std::string>& a, size_t& at, Command& c) {
    if (std::string error = ParseWordsAndOptions(a, at, c, {}); !error.empty()) return error;
    if (c.Words.empty()) return {};
    if (c.Words.size() != 2) return "can needs ADDRESS and 500 or 1000, or nothing";
    if (!IsInteger(c.Words[0])) return "can: ADDRESS must be an integer: " + c.Words[0];
    if (c.Words[1] != "500" && c.Words[1] != "1000") {
        return "can: the baud rate is 500 or 1000, not " + c.Words[1];
    }
    return {};
}

// --- Commands ---

DriveError Mode(Cli& cli, const Command& c) {
    MotionScope scope(cli);
    DriveLink& link = scope.Session().Link();
    if (!c.Words.empty()) return WriteWorkMode(link, IndexOf(kWorkModeWords, c.Words[0]));

    if (const DriveError e = link.ReadRegister(reg::kWorkMode, size::kWorkModeRead)) return e;
    // What the console's work-mode display shows for this read.
    const MotionFields& m = link.Motion();
    switch (m.WorkMode) {
        case 0:
            std::printf("WorkMode: current\nCurrent: %s\n", FormatG(m.CurrentSetpoint).c_str());
            return kSuccess;
        case 1:
            std::printf("WorkMode: speed\nSpeed: %s\n", FormatD(m.SpeedSetpoint).c_str());
            return kSuccess;
        case 2:
            if (m.PositionType <= 1) {
                std::printf("WorkMode: position\nPosition Type: %s\n",
                            kPositionTypeWords[m.PositionType]);
            } else {
                std::printf("WorkMode: position\nPosition Type: %d\n", m.PositionType);
            }
            std::printf("Position: %s\nSpeed: %s\n", FormatD(m.PositionSetpoint).c_str(),
                        FormatD(m.PositionSpeed).c_str());
            return kSuccess;
        default:
            std::printf("WorkMode: %d\n", m.WorkMode);
            cli.Notices().Failure(kInvalidWorkModeText);
            return kLocalFailure;
    }
}

DriveError Enable(Cli& cli, const Command& c) {
    MotionScope scope(cli);
    DriveSession& session = scope.Session();
    // Match Marks as the console last read it (its handshake does).
    if (const DriveError e = session.Read(reg::kMatchingGroup, size::kMatchingGroup)) return e;
    int mode = 0;
    if (c.Words.empty()) {
        // The drive's present mode, as the console's WorkMode list shows it after connecting.
        if (const DriveError e = session.Read(reg::kWorkMode, size::kWorkModeRead)) return e;
        mode = session.Motion().WorkMode;
    } else {
        mode = IndexOf(kWorkModeWords, c.Words[0]);
    }
    const CommandResult result = motion::Enable(scope.Ctx(), mode);
    if (result.Status != CommandStatus::OpenInfoBox) return Outcome(result);
    PrintingBox info;
    info.SetText(kInitialisingText);
    return FollowToTheEnd(FollowInitialisation, scope.Ctx(), info);
}

DriveError Disable(Cli& cli, const Command&) {
    MotionScope scope(cli);
    return Outcome(motion::Disable(scope.Ctx()));
}

DriveError Stop(Cli& cli, const Command&) {
    MotionScope scope(cli);
    if (const DriveError e = ReadMotorState(cli)) return e;
    return Outcome(motion::Stop(scope.Ctx()));
}

DriveError EmergencyStop(Cli& cli, const Command&) {
    MotionScope scope(cli);
    if (const DriveError e = ReadMotorState(cli)) return e;
    return Outcome(motion::EmergencyStop(scope.Ctx()));
}

DriveError Run(Cli& cli, const Command& c) {
    MotionScope scope(cli);
    DriveSession& session = scope.Session();
    if (const DriveError e = ReadMotorState(cli)) return e;
    if (!cli.Console().MotorEnabled) {
        cli.Notices().Failure(kMotorNotEnabledText);
        return kLocalFailure;
    }
    if (const DriveError e = session.Read(reg::kWorkMode, size::kWorkModeRead)) return e;
    if (const DriveError e = session.Read(reg::kApplicationGroup, size::kApplicationGroup)) {
        return e;
    }

    auto option = [&c](const char* name, const char* otherwise) {
        const auto it = c.Values.find(name);
        return it == c.Values.end() ? std::string(otherwise) : it->second;
    };
    const std::string& value = c.Words[0];
    const MotionFields& m = session.Motion();
    MotionEntries entries;
    // A mode the list does not hold leaves it without a selection, as in the console.
    entries.WorkModeIndex = m.WorkMode <= 2 ? m.WorkMode : -1;
    entries.ReductionRatio = option("--ratio", "1");
    entries.EncoderValue = option("--encoder", "65535");
    switch (entries.WorkModeIndex) {
        case 0:
            entries.Current = value;
            break;
        case 1:
            entries.Speed = value;
            break;
        case 2: {
            entries.Angle = value;
            entries.Speed = option("--speed", "0");
            const auto type = c.Values.find("--type");
            entries.PositionTypeIndex = type != c.Values.end()
                                            ? IndexOf(kPositionTypeWords, type->second)
                                            : (m.PositionType <= 1 ? m.PositionType : -1);
            entries.Position = FormatD(UpdateAnglePulses(entries.Angle, entries.EncoderValue,
                                                         entries.ReductionRatio, cli.Console(),
                                                         session.State(), session.Motion()));
            break;
        }
        default:
            break;
    }
    const bool reverse = c.Values.count("--reverse") != 0;
    return Outcome(reverse ? motion::Inversion(scope.Ctx(), entries)
                           : motion::Run(scope.Ctx(), entries));
}

DriveError Reset(Cli& cli, const Command&) {
    MotionScope scope(cli);
    const CommandResult result = motion::Reset(scope.Ctx());
    if (result.Status != CommandStatus::OpenInfoBox) return Outcome(result);
    PrintingBox info;
    info.SetText(kInitialisingText);
    return FollowToTheEnd(FollowReset, scope.Ctx(), info);
}

DriveError Calibrate(Cli& cli, const Command&) {
    MotionScope scope(cli);
    DriveSession& session = scope.Session();
    // The model decides the length of Correct's status read.
    if (const DriveError e = session.Read(reg::kIdentification, size::kIdentification)) return e;
    if (const DriveError e = ReadMotorState(cli)) return e;
    PrintingBox entry;
    const CommandResult result = motion::Correct(scope.Ctx(), entry);
    if (!result.Succeeded()) return Outcome(result);
    return FollowToTheEnd(FollowCalibration, scope.Ctx(), entry);
}

DriveError ClearFaults(Cli& cli, const Command&) {
    MotionScope scope(cli);
    const CommandResult result = motion::EliminateMalfunction(scope.Ctx());
    if (result.Succeeded()) std::printf("%s\n", kFaultsClearedText);
    return Outcome(result);
}

DriveError Can(Cli& cli, const Command& c) {
    MotionScope scope(cli);
    if (!c.Words.empty()) {
        return Outcome(WriteCanSettings(scope.Ctx(), c.Words[0], c.Words[1] == "500" ? 0 : 1));
    }
    DriveSession& session = scope.Session();
    if (const DriveError e = session.Read(reg::kCanSettings, size::kCanSettings)) return e;
    const DriveState& state = session.State();
    std::printf("CAN Address: %s\n", CanAddressText(state.CanAddressCode).c_str());
    if (const std::optional<int> item = CanBaudItem(state.CanBaudCode)) {
        std::printf("CAN Baud Rate: %s\n", *item == 0 ? "500" : "1000");
    } else {
        // The console shows the message and counts the read as done.
        std::fflush(stdout);
        cli.Notices().Failure(kWrongCanBaudText);
    }
    return kSuccess;
}

}  // namespace

std::vector<CommandSpec> MotionCommands() {
    return {
        {"mode", "mode [MODE]",
         "MODE current, speed or position: write the drive's work mode;\n"
         "without it: print the work mode and its set-point",
         true, ParseModeWord, Mode},
        {"enable", "enable [MODE]",
         "enable the motor in MODE (or the drive's present mode), as the Enabled\n"
         "button; follows the drive's initialisation to its end",
         true, ParseModeWord, Enable},
        {"disable", "disable", "disable the motor", true, ParseNoArguments, Disable},
        {"stop", "stop", "stop the motor", true, ParseNoArguments, Stop},
        {"estop", "estop", "emergency stop", true, ParseNoArguments, EmergencyStop},
        {"run", "run VALUE [OPTIONS]",
         "send VALUE as the set-point of the drive's work mode (A, rpm, or\n"
         "an angle in degrees in position mode) and run it, as the Run button;\n"
         "--reverse: as Inversion; position mode: --speed RPM (0),\n"
         "--type absolute|relative (the drive's), --ratio R (1), --encoder N\n"
         "(65535); --ratio is checked by Run in every mode",
         true, ParseRun, Run},
        {"reset", "reset", "reset the drive and wait the 2.5 s of its restart", true,
         ParseNoArguments, Reset},
        {"calibrate", "calibrate",
         "calibrate the position encoder (motor disabled) and follow it to its end", true,
         ParseNoArguments, Calibrate},
        {"clear-faults", "clear-faults", "clear the drive's faults", true, ParseNoArguments,
         ClearFaults},
        {"can", "can [ADDRESS BAUD]",
         "print the CAN address and baud rate; with ADDRESS and BAUD (500 or\n"
         "1000 kbit/s), write them",
         true, ParseCan, Can},
    };
}

}  // namespace torvane::cli
