// A scratch folder and an unpaced simulated drive on a pseudo-terminal, for tests that run
// torvane-cli against the drive as a user would. Header only: its users link torvane_sim.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
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

// For the loop tests of torvane-cli (TORVANE_CLI): the drive's time runs 20 times faster, so
// its 1 s test takes 50 ms, and its motor can be enabled at once.
class CliLoopTestOnSimulatedDrive : public CliOnSimulatedDrive {
protected:
    using CliOnSimulatedDrive::CliOnSimulatedDrive;

    void SetUp() override {
        SetTimeScale(0.05);
        CliOnSimulatedDrive::SetUp();
    }
    void TearDown() override {
        CliOnSimulatedDrive::TearDown();
        SetTimeScale(1.0);
    }

    void EnableMotor() {
        drive->WithBehaviour([](sim::DriveBehaviour& b) {
            const uint8_t enable[] = {0x02, 0x01};
            b.Write(reg::kControlWord, enable, 2);
            b.Advance(3.0);
            return 0;
        });
    }

    std::string Command(const std::string& args) const {
        return std::string(TORVANE_CLI) + " --port " + drive->SlavePath() + " " + args;
    }
    // Runs in `dir`, so the page's file names land there.
    Result Run(const std::string& args) {
        return RunCommand("cd " + dir.string() + " && " + Command(args), dir);
    }
};

// Gains as the drive's gain register holds them: each a big-endian float.
inline std::vector<uint8_t> FloatsBE(std::initializer_list<float> values) {
    std::vector<uint8_t> out;
    for (float v : values) {
        uint8_t b[4];
        PutFloatBE(b, v);
        out.insert(out.end(), b, b + 4);
    }
    return out;
}

}  // namespace torvane::test
