// The console's core over a real line: a simulated drive on a pseudo-terminal, the real
// SerialPort and DriveLink, and recording stand-ins for what the console puts around the core
// (message boxes, timers, the progress boxes, and the two pieces of reply display the commands
// rely on).
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/drive_link.h"
#include "serial/timing.h"
#include "recording.h"
#include "serial/serial_port.h"
#include "session/command_context.h"
#include "session/console_state.h"
#include "session/motion_rules.h"
#include "session/progress_ticks.h"
#include "session/timer_set.h"
#include "sim/simulated_drive.h"

namespace torvane::test {

// The two pieces of the console's reply display that the commands and ticks depend on.
class ConsoleDisplay : public ReplyHandler {
public:
    ConsoleDisplay(ConsoleState& console, DriveState& state) : console_(console), state_(state) {}
    void OnReadReply(RegisterAddress address) override {
        if (address == 0x2200) ShowMatchingOnBox(state_.Params.Matching.MatchMarks, MatchingBox);
    }
    void OnWriteReply(RegisterAddress address) override {
        if (address != 0x6000) return;
        if (auto shown = ShowControlWordReply(console_)) Caption = shown->EnabledButtonCaption;
    }
    ProgressBox* MatchingBox = nullptr;  // the matching box while it is open
    std::string Caption = "Enabled";     // the Enabled button

private:
    ConsoleState& console_;
    DriveState& state_;
};

class SessionRig {
public:
    // Drive time and waits run `timeScale` times as long (0.05: a 5000 ms wait takes 250 ms,
    // initialisation 100 ms, calibration 150 ms, matching 750 ms).
    explicit SessionRig(double timeScale = 0.05, sim::SimOptions options = {});
    ~SessionRig();

    // Opens the line and reads what the handshake would: identification, motor, application
    // and matching groups. False when the line did not come up.
    bool Connect();
    void Disconnect();

    // The requests the drive received since the last Mark(), one line each:
    // "read 2200 7", "write 6000 02 01", "write 5001" (a bare command).
    std::vector<std::string> Frames() const;
    // The same, as the bytes of each whole frame ("5A A5 ...").
    std::vector<std::string> RawFrames() const;
    void Mark();
    // Lets `ms` of drive time pass (scaled).
    static void Wait(int ms) { std::this_thread::sleep_for(Period(ms)); }

    std::unique_ptr<sim::SimulatedDrive> Drive;
    SerialPort Port;
    DriveState State;
    MotionFields Motion;
    DriveLink Link{Port, State, Motion};
    ConsoleState Console;
    RecordingNotices Notices;
    TimerSet Timers;
    ConsoleDisplay Display{Console, State};
    CommandContext Ctx{Port, Link, Console, Notices, Timers};

private:
    size_t mark_ = 0;
};

}  // namespace torvane::test
