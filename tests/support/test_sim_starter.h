// TestSimStarter: a DriveSession's simulated-drive starter for Qt-free tests. It starts a real
// torvane::sim::SimulatedDrive (without pacing, so tests run fast) and counts its calls; it
// can be told to fail, or to hand out another path. Test thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "session/simulated_drive_starter.h"
#include "sim/simulated_drive.h"

namespace torvane::test {

class TestSimStarter : public SimulatedDriveStarter {
public:
    std::string Start(std::string& error) override {
        ++Starts;
        Stop();
        --Stops;  // a restart is not a stop the session asked for
        if (FailWith) {
            error = *FailWith;
            return {};
        }
        sim::SimOptions options;
        options.Pacing = false;
        drive_ = std::make_unique<sim::SimulatedDrive>(options);
        if (!drive_->Start(&error)) return {};
        return PathOverride ? *PathOverride : drive_->SlavePath();
    }
    void Stop() override {
        ++Stops;
        if (drive_ == nullptr) return;
        drive_->Stop();
        drive_.reset();
    }
    sim::SimulatedDrive* Drive() const { return drive_.get(); }

    int Starts = 0;
    int Stops = 0;
    std::optional<std::string> FailWith;      // Start fails with this reason
    std::optional<std::string> PathOverride;  // Start hands out this path instead

private:
    std::unique_ptr<sim::SimulatedDrive> drive_;
};

}  // namespace torvane::test
