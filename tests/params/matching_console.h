// Stand-ins for the console behind the motor page's requests.
//
// ScriptedRequests records what the page asks and starts nothing. MatchingConsole does what the
// console does for matching, over the simulated drive: StartMotorMatch and CancelMotorMatch
// are the core requests, its timer 3 is a QTimer at the scaled 10000 ms that runs the core's
// matching tick into the open box, and every 0x2200 read reply shows the matching state on the
// open box as the console's reply display does.
#pragma once

#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "params/recording_sink.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "session/command_context.h"
#include "session/drive_session.h"
#include "session/page_requests.h"
#include "session/progress_requests.h"
#include "session/progress_ticks.h"
#include "session/timer_set.h"
#include "sim/simulated_drive.h"

namespace pagetest {

class ScriptedRequests : public torvane::PageRequests {
public:
    uint8_t StartMotorMatch() override {
        log.push_back("start");
        return startResult;
    }
    uint8_t CancelMotorMatch() override {
        log.push_back("cancel");
        return 0;
    }
    uint8_t StartCurrentLoopTest() override { return 0; }
    uint8_t StopCurrentLoopTest() override { return 0; }
    uint8_t StartSpeedLoopTest() override { return 0; }
    uint8_t StopSpeedLoopTest() override { return 0; }
    uint8_t StartPositionLoopTest() override { return 0; }
    uint8_t StopPositionLoopTest() override { return 0; }
    void SetOpenBox(torvane::ProgressBoxKind, torvane::ProgressBox* box) override {
        log.push_back(box != nullptr ? "box open" : "box closed");
        openBox = box;
    }
    void RunWithContext(const std::function<void(torvane::CommandContext&)>&) override {
        log.push_back("run with context");
    }

    std::vector<std::string> log;
    uint8_t startResult = 0;
    torvane::ProgressBox* openBox = nullptr;
};

class MatchingConsole : public torvane::PageRequests, public torvane::ReplyHandler {
public:
    explicit MatchingConsole(torvane::sim::SimulatedDrive& drive) {
        std::string reason;
        if (!session.Open(drive.SlavePath(), torvane::LineSettings{}, &reason))
            qFatal("cannot open the simulated drive: %s", reason.c_str());
        session.SetReplyHandler(this);
        matchTimer.setInterval(
            torvane::PeriodMs(torvane::TimerPeriod(torvane::TimerId::kMatchTimer)));
        QObject::connect(&matchTimer, &QTimer::timeout, [this] { Tick(); });
    }
    ~MatchingConsole() override { session.SetReplyHandler(nullptr); }

    uint8_t StartMotorMatch() override {
        const uint8_t r = torvane::StartMotorMatch(ctx);
        if (timers.IsActive(torvane::TimerId::kMatchTimer)) matchTimer.start();
        return r;
    }
    uint8_t CancelMotorMatch() override {
        ++cancels;
        return torvane::CancelMotorMatch(ctx);
    }
    uint8_t StartCurrentLoopTest() override { return 0; }
    uint8_t StopCurrentLoopTest() override { return 0; }
    uint8_t StartSpeedLoopTest() override { return 0; }
    uint8_t StopSpeedLoopTest() override { return 0; }
    uint8_t StartPositionLoopTest() override { return 0; }
    uint8_t StopPositionLoopTest() override { return 0; }
    void SetOpenBox(torvane::ProgressBoxKind kind, torvane::ProgressBox* box) override {
        if (kind == torvane::ProgressBoxKind::Matching) openBox = box;
    }
    void RunWithContext(const std::function<void(torvane::CommandContext&)>& work) override {
        work(ctx);
    }

    void OnReadReply(torvane::RegisterAddress address) override {
        if (address == torvane::reg::kMatchingGroup) {
            torvane::ShowMatchingOnBox(session.State().Params.Matching.MatchMarks, openBox);
        }
    }
    void OnWriteReply(torvane::RegisterAddress) override {}

    // Timer 3 ticks, counted; the timer stops itself as the console's does.
    void Tick() {
        ++ticks;
        torvane::TickMatching(ctx, openBox);
        if (!timers.IsActive(torvane::TimerId::kMatchTimer)) matchTimer.stop();
    }

    torvane::DriveSession session;
    torvane::ConsoleState console;
    torvane::test::RecordingSink notices;
    torvane::TimerSet timers;
    torvane::CommandContext ctx{session.Port(), session.Link(), console, notices, timers};
    torvane::ProgressBox* openBox = nullptr;
    QTimer matchTimer;
    int ticks = 0;
    int cancels = 0;
};

}  // namespace pagetest
