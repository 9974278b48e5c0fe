// SimDriveStarter: starts the in-process simulated drive (torvane::sim::SimulatedDrive) behind
// the port item "Simulated drive" for a DriveSession. UI thread only (the session's thread).
#pragma once

#include <memory>
#include <string>

#include "session/simulated_drive_starter.h"
#include "sim/sim_options.h"

namespace torvane::sim {
class SimulatedDrive;
}

class SimDriveStarter : public torvane::SimulatedDriveStarter {
public:
    explicit SimDriveStarter(torvane::sim::SimOptions options = {});
    ~SimDriveStarter() override;  // stops a running drive

    std::string Start(std::string& error) override;
    void Stop() override;

    // The drive started last; null while none runs.
    torvane::sim::SimulatedDrive* Drive() const { return drive_.get(); }

private:
    torvane::sim::SimOptions options_;
    std::unique_ptr<torvane::sim::SimulatedDrive> drive_;
};
