#include "app/sim_drive_starter.h"

#include "sim/simulated_drive.h"

SimDriveStarter::SimDriveStarter(torvane::sim::SimOptions options) : options_(std::move(options)) {}

SimDriveStarter::~SimDriveStarter() {
    Stop();
}

std::string SimDriveStarter::Start(std::string& error) {
    // Every open gets a fresh drive, as a drive switched on again would be.
    Stop();
    auto drive = std::make_unique<torvane::sim::SimulatedDrive>(options_);
    std::string why;
    if (!drive->Start(&why)) {
        error = "the simulated drive did not start: " + why;
        return {};
    }
    drive_ = std::move(drive);
    return drive_->SlavePath();
}

void SimDriveStarter::Stop() {
    if (drive_ == nullptr) return;
    drive_->Stop();
    drive_.reset();
}
