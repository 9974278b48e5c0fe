#include "app/console_page_requests.h"

#include "app/torvane_dlg.h"
#include "session/progress_requests.h"

uint8_t ConsolePageRequests::Run(uint8_t (*request)(torvane::CommandContext&)) {
    // Busy: a tick that falls due inside the message box of a failed write waits for its next
    // period instead of nesting a transaction into this one.
    torvane::DriveSession::BusyScope busy(console_.Session());
    torvane::CommandContext ctx = console_.Context();
    return request(ctx);
}

uint8_t ConsolePageRequests::StartMotorMatch() {
    return Run(torvane::StartMotorMatch);
}
uint8_t ConsolePageRequests::CancelMotorMatch() {
    return Run(torvane::CancelMotorMatch);
}
uint8_t ConsolePageRequests::StartCurrentLoopTest() {
    return Run(torvane::StartCurrentLoopTest);
}
uint8_t ConsolePageRequests::StopCurrentLoopTest() {
    return Run(torvane::StopCurrentLoopTest);
}
uint8_t ConsolePageRequests::StartSpeedLoopTest() {
    return Run(torvane::StartSpeedLoopTest);
}
uint8_t ConsolePageRequests::StopSpeedLoopTest() {
    return Run(torvane::StopSpeedLoopTest);
}
uint8_t ConsolePageRequests::StartPositionLoopTest() {
    return Run(torvane::StartPositionLoopTest);
}
uint8_t ConsolePageRequests::StopPositionLoopTest() {
    return Run(torvane::StopPositionLoopTest);
}

void ConsolePageRequests::RunWithContext(
    const std::function<void(torvane::CommandContext&)>& work) {
    torvane::DriveSession::BusyScope busy(console_.Session());
    torvane::CommandContext ctx = console_.Context();
    work(ctx);
}

void ConsolePageRequests::SetOpenBox(torvane::ProgressBoxKind kind, torvane::ProgressBox* box) {
    openBoxes_.at(static_cast<size_t>(kind)) = box;
}

torvane::ProgressBox* ConsolePageRequests::OpenBox(torvane::ProgressBoxKind kind) const {
    return openBoxes_.at(static_cast<size_t>(kind));
}
