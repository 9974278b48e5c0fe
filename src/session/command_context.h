// CommandContext: what a console command or progress tick works with, handed over explicitly so
// that the console and the command-line tool run the same functions. Every member must outlive
// the call.
#pragma once

#include "protocol/drive_link.h"
#include "serial/serial_port.h"
#include "session/console_state.h"
#include "session/console_timers.h"
#include "session/notice_sink.h"

namespace torvane {

struct CommandContext {
    const SerialPort& Port;  // "is a port open" (PortOpen)
    DriveLink& Link;         // transactions; State() and Motion() are the drive's mirrors
    ConsoleState& Console;   // MotorEnabled, ProgressCount, LastControlWord, the entry inputs
    NoticeSink& Notices;     // messages, in order
    ConsoleTimers& Timers;

    DriveState& State() { return Link.State(); }
    MotionFields& Motion() { return Link.Motion(); }
};

}  // namespace torvane
