// SimulatedDriveStarter: how a DriveSession starts the simulated drive behind the port item
// "Simulated drive". Core knows only this interface; the application implements it over
// torvane::sim::SimulatedDrive (and tests over whatever they need).
//
// Threads: called on the session's controlling thread only.
#pragma once

#include <string>

namespace torvane {

class SimulatedDriveStarter {
public:
    virtual ~SimulatedDriveStarter() = default;
    // Starts a fresh simulated drive (stopping one still running) and returns the device path
    // to open; on failure an empty string and the reason in `error`.
    virtual std::string Start(std::string& error) = 0;
    // Stops the drive started last; nothing when none runs. Waits for its serving thread.
    virtual void Stop() = 0;
};

}  // namespace torvane
