// A scratch folder and an unpaced simulated drive on a pseudo-terminal, for tests that run
// torvane-cli against the drive as a user would. Header only: its users link torvane_sim.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "sim/simulated_drive.h"
#include "support/cli_run.h"

namespace torvane::test {

class CliOnSimulatedDrive : public ::testing::Test {
protected:
    explicit CliOnSimulatedDrive(std::string folderPrefix) : prefix_(std::move(folderPrefix)) {}

    void SetUp() override {
        dir = TestFolder(prefix_);
        sim::SimOptions options;
        options.Pacing = false;
        drive = std::make_unique<sim::SimulatedDrive>(options);
        std::string error;
        ASSERT_TRUE(drive->Start(&error)) << error;
    }
    void TearDown() override {
        // The serving thread ends first: request observers read `drive` from it.
        if (drive) drive->Stop();
        drive.reset();
        std::filesystem::remove_all(dir);
    }

    std::filesystem::path dir;
    std::unique_ptr<sim::SimulatedDrive> drive;

private:
    std::string prefix_;
};

}  // namespace torvane::test
