// What the loop page's tests share: the simulated drive behind a real DriveSession, the
// requests and test timers of the console run by their core functions on Qt timers, and the
// frames the drive received, decoded.
#pragma once

#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "protocol/register_map.h"
#include "serial/timing.h"
#include "session/command_context.h"
#include "session/console_timers.h"
#include "session/drive_session.h"
#include "session/page_requests.h"
#include "session/progress_requests.h"
#include "session/progress_ticks.h"
#include "sim/simulated_drive.h"
#include "ui/prompt_notice_sink.h"

namespace looprig {

// One request as the drive received it.
struct Frame {
    uint8_t Function = 0;  // 1 read, 2 write
    uint16_t Address = 0;
    uint8_t Count = 0;
    std::vector<uint8_t> Data;  // a write's data bytes
};

inline std::vector<Frame> FramesOf(const torvane::sim::SimulatedDrive& drive) {
    std::vector<Frame> out;
    for (const auto& r : drive.Requests()) {
        Frame f{r.Function, r.Address, r.Count, {}};
        if (r.Function == 2 && r.Bytes.size() >= 7u + r.Count)
            f.Data.assign(r.Bytes.begin() + 7, r.Bytes.begin() + 7 + r.Count);
        out.push_back(f);
    }
    return out;
}

inline std::vector<uint8_t> FloatsBE(std::initializer_list<float> values) {
    std::vector<uint8_t> out;
    for (float v : values) {
        uint8_t b[4];
        torvane::PutFloatBE(b, v);
        out.insert(out.end(), b, b + 4);
    }
    return out;
}

inline std::vector<uint8_t> WordBE(uint16_t word) {
    return {static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
}

// The console's side of the page's requests, as the console runs it: the core requests on the
// session, the test timers 4 to 6 on Qt timers ticking TickLoopTest into the open test box,
// messages through the prompts. Only the loop test timers are timers here.
class CoreConsole : public torvane::PageRequests, public torvane::ConsoleTimers {
public:
    explicit CoreConsole(torvane::DriveSession& session) : session_(session) {
        for (int k = 0; k < 3; ++k) {
            const auto id = static_cast<torvane::TimerId>(4 + k);
            timers_[k] = std::make_unique<QTimer>();
            QObject::connect(timers_[k].get(), &QTimer::timeout, [this, id] {
                if (!session_.IsOpen()) return;
                torvane::CommandContext ctx = Ctx();
                torvane::TickLoopTest(ctx, id, box_);
            });
        }
    }
    ~CoreConsole() override {
        for (auto& t : timers_) t->stop();
    }

    torvane::CommandContext Ctx() {
        return {session_.Port(), session_.Link(), console_, notices_, *this};
    }

    uint8_t StartMotorMatch() override { return 1; }
    uint8_t CancelMotorMatch() override { return 0; }
    uint8_t StartCurrentLoopTest() override {
        auto c = Ctx();
        return torvane::StartCurrentLoopTest(c);
    }
    uint8_t StopCurrentLoopTest() override {
        auto c = Ctx();
        return torvane::StopCurrentLoopTest(c);
    }
    uint8_t StartSpeedLoopTest() override {
        auto c = Ctx();
        return torvane::StartSpeedLoopTest(c);
    }
    uint8_t StopSpeedLoopTest() override {
        auto c = Ctx();
        return torvane::StopSpeedLoopTest(c);
    }
    uint8_t StartPositionLoopTest() override {
        auto c = Ctx();
        return torvane::StartPositionLoopTest(c);
    }
    uint8_t StopPositionLoopTest() override {
        auto c = Ctx();
        return torvane::StopPositionLoopTest(c);
    }
    void SetOpenBox(torvane::ProgressBoxKind kind, torvane::ProgressBox* box) override {
        if (kind != torvane::ProgressBoxKind::Matching) box_ = box;
    }
    void RunWithContext(const std::function<void(torvane::CommandContext&)>& work) override {
        auto c = Ctx();
        work(c);
    }

    void StartTimer(torvane::TimerId id) override {
        if (QTimer* t = TimerOf(id)) t->start(torvane::PeriodMs(torvane::TimerPeriod(id)));
    }
    void StopTimer(torvane::TimerId id) override {
        if (QTimer* t = TimerOf(id)) t->stop();
    }
    bool IsActive(torvane::TimerId id) const override {
        const int k = static_cast<int>(id) - 4;
        return k >= 0 && k < 3 && timers_[k]->isActive();
    }
    void ClearAutoUpdateCheck() override {}
    void StopAll() {
        for (auto& t : timers_) t->stop();
    }

private:
    QTimer* TimerOf(torvane::TimerId id) {
        const int k = static_cast<int>(id) - 4;
        return k >= 0 && k < 3 ? timers_[k].get() : nullptr;
    }

    torvane::DriveSession& session_;
    torvane::ConsoleState console_;
    PromptNoticeSink notices_;
    std::array<std::unique_ptr<QTimer>, 3> timers_;
    torvane::ProgressBox* box_ = nullptr;
};

// A simulated drive (answering at once) behind an open session, with the blocks the opener
// reads before it shows the page, and the motor enabled and initialised.
struct DriveRig {
    DriveRig() : drive(Options()) {
        std::string error;
        if (!drive.Start(&error)) qFatal("simulated drive: %s", error.c_str());
        if (!session.Open(drive.SlavePath(), torvane::LineSettings{}, &error))
            qFatal("open: %s", error.c_str());
        drive.WithBehaviour([](torvane::sim::DriveBehaviour& b) {
            const uint8_t enable[] = {0x02, 0x01};
            b.Write(torvane::reg::kControlWord, enable, sizeof enable);
            b.Advance(3.0);  // past the initialisation after the first enable
            return 0;
        });
        namespace reg = torvane::reg;
        namespace size = torvane::size;
        for (auto [address, count] : {std::pair{reg::kMotorGroup, size::kMotorGroup},
                                      std::pair{reg::kMatchingGroup, size::kMatchingGroup},
                                      std::pair{reg::kCurrentLoopGains, size::kLoopGains},
                                      std::pair{reg::kSpeedLoopGains, size::kLoopGains},
                                      std::pair{reg::kPositionLoopGains, size::kLoopGains},
                                      std::pair{reg::kApplicationGroup, size::kApplicationGroup}}) {
            if (session.Read(address, count) != 0) qFatal("read %04X failed", address);
        }
        drive.ClearRequests();
    }
    ~DriveRig() {
        requests.StopAll();
        session.Close();
    }
    static torvane::sim::SimOptions Options() {
        torvane::sim::SimOptions o;
        o.Pacing = false;
        return o;
    }

    torvane::sim::SimulatedDrive drive;  // outlives the session
    torvane::DriveSession session;
    torvane::DriveState& state = session.State();
    CoreConsole requests{session};
};

}  // namespace looprig
