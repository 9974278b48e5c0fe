// ConsolePageRequests: the console's side of torvane::PageRequests. The motor page and the loop
// page reach it through CTorvaneDlg::Requests(): each request runs the core request
// (session/progress_requests.h) on the console's session, timers and message boxes, and
// returns 0 or 1 (1 after a DriveError was shown). It also keeps the progress box of each kind
// that a page has registered as open, which the console's timers write into (timer 3 and the
// 0x2200 reply display the matching box, timers 4, 5 and 6 the test box while it shows the
// current, speed or position test).
//
// A page calls SetOpenBox(kind, &box) right before its box's exec() and SetOpenBox(kind,
// nullptr) right after it. The timers tick while the box is open only when nothing holds the
// session's BusyScope then: a page's command must let its scope end before the box's exec().
//
// UI thread only. A request blocks for its writes (up to three, 5000 ms each at most, scaled).
#pragma once

#include <array>
#include <cstdint>

#include "session/command_context.h"
#include "session/page_requests.h"

class CTorvaneDlg;

class ConsolePageRequests : public torvane::PageRequests {
public:
    explicit ConsolePageRequests(CTorvaneDlg& console) : console_(console) {}

    uint8_t StartMotorMatch() override;
    uint8_t CancelMotorMatch() override;
    uint8_t StartCurrentLoopTest() override;
    uint8_t StopCurrentLoopTest() override;
    uint8_t StartSpeedLoopTest() override;
    uint8_t StopSpeedLoopTest() override;
    uint8_t StartPositionLoopTest() override;
    uint8_t StopPositionLoopTest() override;
    void SetOpenBox(torvane::ProgressBoxKind kind, torvane::ProgressBox* box) override;
    void RunWithContext(const std::function<void(torvane::CommandContext&)>& work) override;

    // The box of `kind` that is open now; null when none is.
    torvane::ProgressBox* OpenBox(torvane::ProgressBoxKind kind) const;

private:
    // Runs `request` on the console's context while the session counts as busy.
    uint8_t Run(uint8_t (*request)(torvane::CommandContext&));

    CTorvaneDlg& console_;
    std::array<torvane::ProgressBox*, 4> openBoxes_{};  // by ProgressBoxKind
};
