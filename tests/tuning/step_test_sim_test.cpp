// Step tests on the simulated drive over a pseudo-terminal: the page's checks stage the test,
// raw transactions start it as the console will, and the capture read back decodes, plots,
// saves and yields figures. Shows that the drive's records and the tool's layouts agree, and
// that better gains give better figures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "protocol/drive_link.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "serial/serial_port.h"
#include "sim/simulated_drive.h"
#include "tuning/step_test_analysis.h"
#include "tuning/step_test_check.h"
#include "tuning/test_data_file.h"

namespace torvane {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class StepTestSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTimeScale(0.02);  // the drive's 1 s test takes 20 ms, a 500 ms poll 10 ms
        sim::SimOptions options;
        options.Pacing = false;
        drive = std::make_unique<sim::SimulatedDrive>(options);
        ASSERT_TRUE(drive->Start());
        std::string reason;
        ASSERT_TRUE(port.Open(drive->SlavePath(), &reason)) << reason;
        link.StartExtractor();
        // What the page's checks need, as the opener reads it from the drive.
        for (const auto& [address, count] :
             {std::pair{reg::kMotorGroup, size::kMotorGroup},
              std::pair{reg::kApplicationGroup, size::kApplicationGroup},
              std::pair{reg::kMatchingGroup, size::kMatchingGroup},
              std::pair{reg::kCurrentLoopGains, size::kLoopGains},
              std::pair{reg::kSpeedLoopGains, size::kLoopGains},
              std::pair{reg::kPositionLoopGains, size::kLoopGains}}) {
            ASSERT_EQ(link.ReadRegister(address, count), kSuccess);
        }
        ASSERT_EQ(Control(control::kEnable), kSuccess);
        for (int i = 0; i < 200 && state.Params.Matching.HallDirection != 1; ++i) {
            std::this_thread::sleep_for(Period(50));
            ASSERT_EQ(link.ReadRegister(reg::kMatchingGroup, size::kMatchingGroup), kSuccess);
        }
        ASSERT_EQ(state.Params.Matching.HallDirection, 1) << "the drive did not initialise";
    }
    void TearDown() override {
        port.ClearPortOpen();
        EXPECT_TRUE(link.StopExtractor());
        EXPECT_TRUE(port.Close());
        drive.reset();
        SetTimeScale(1.0);
    }
    DriveError Control(uint16_t word) {
        return link.WriteRegister(reg::kControlWord, PackControlWord(link.Payload(), word));
    }

    // The start request and the progress ticks as the console runs them: gains, parameters,
    // start word, a status read every 500 ms until 3, then the read-back.
    void Run(const StepTestCheck& check) {
        ASSERT_TRUE(check.Passed()) << check.Refused->Text;
        StoreStepTestCheck(check, state);
        struct Registers {
            RegisterAddress gains, params, status;
            uint16_t start;
            const uint8_t* statusField;
        };
        const Registers kRegisters[] = {
            {reg::kCurrentLoopGains, reg::kCurrentTestParams, reg::kCurrentTestStatus,
             control::kStartCurrentTest, &state.CurrentTestStatus},
            {reg::kSpeedLoopGains, reg::kSpeedTestParams, reg::kSpeedTestStatus,
             control::kStartSpeedTest, &state.SpeedTestStatus},
            {reg::kPositionLoopGains, reg::kPositionTestParams, reg::kPositionTestStatus,
             control::kStartPositionTest, &state.PositionTestStatus},
        };
        const Registers& r = kRegisters[static_cast<size_t>(check.Test)];
        const LoopGains g = LoopGainsOf(state.Params.Loop, check.Test);
        ASSERT_EQ(link.WriteRegister(r.gains, PackLoopGains(link.Payload(), g.P, g.I, g.D)),
                  kSuccess);
        uint8_t count = 0;
        switch (check.Test) {
            case LoopTest::Current:
                count = PackCurrentTest(link.Payload(), state.CurrentTestType,
                                        state.CurrentTestAmplitude, state.CurrentTestFrequency);
                break;
            case LoopTest::Speed:
                count = PackSpeedTest(link.Payload(), state.SpeedTestSetSpeed);
                break;
            case LoopTest::Position:
                count = PackPositionTest(link.Payload(), state.PositionTestAcceleration,
                                         state.PositionTestMaxSpeed, state.PositionTestTarget);
                break;
        }
        ASSERT_EQ(link.WriteRegister(r.params, count), kSuccess);
        ASSERT_EQ(Control(r.start), kSuccess);
        // The status field still holds the last test's 3 until the first read.
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(Period(500));
            ASSERT_EQ(link.ReadRegister(r.status, size::kTestStatus), kSuccess);
            if (*r.statusField == 3) break;
        }
        ASSERT_EQ(*r.statusField, 3);
        ASSERT_EQ(link.ReadBackCapture(TraitsOf(check.Test).CountRegister), kSuccess);
    }

    std::unique_ptr<sim::SimulatedDrive> drive;
    SerialPort port;
    DriveState state;
    MotionFields motion;
    DriveLink link{port, state, motion};
};

TEST_F(StepTestSimTest, TheDrivesCapturesFollowTheRecordLayouts) {
    // Current loop: 512 records of floats, the set value stepping to the amplitude.
    Run(CheckCurrentTest({{"3", "2", "0"}, 0, "1", ""}, state, true));
    StepTestAnalysis a = AnalyseStepTest(LoopTest::Current, state);
    EXPECT_EQ(state.CurrentTestLength, 4096);
    ASSERT_EQ(a.Records, 512u);
    EXPECT_EQ(a.Plot.UpperSet.Points.size(), 512u);
    EXPECT_EQ(a.Plot.UpperSet.Points.front().Y, 0.0);
    EXPECT_EQ(a.Plot.UpperSet.Points.back().Y, 1.0);
    ASSERT_EQ(a.Figures.Status, FigureStatus::Valid);
    EXPECT_NEAR(a.Figures.FinalValue, 1.0, 0.05);
    EXPECT_TRUE(a.Figures.Ms(a.Figures.RiseTime));

    // Speed loop: 512 records; period indexes ascend, the fourth value is a plausible current.
    Run(CheckSpeedTest({GainTextsOf(LoopGainsOf(state.Params.Loop, LoopTest::Speed)), "1000"},
                       state, true));
    a = AnalyseStepTest(LoopTest::Speed, state);
    EXPECT_EQ(state.SpeedTestLength, 8192);
    ASSERT_EQ(a.Records, 512u);
    for (size_t k = 1; k < a.Records; ++k) {
        ASSERT_GT(a.Plot.UpperSet.Points[k].X, a.Plot.UpperSet.Points[k - 1].X);
        ASSERT_LE(std::abs(a.Plot.LowerActual.Points[k].Y), 20.0);
    }
    EXPECT_EQ(a.Plot.UpperSet.Points.back().Y, 1000.0);
    ASSERT_EQ(a.Figures.Status, FigureStatus::Valid);
    EXPECT_NEAR(a.Figures.FinalValue, 1000.0, 200.0);

    // Position loop: 90 degrees of a 10000-count encoder is 2500 counts; the lower chart shows
    // the speed (0.1 rpm in the record) in rpm, within the test's maximum speed.
    state.OneLoopEncoderValue = 10000;
    state.ReductionRatio = 1;
    Run(CheckPositionTest(
        {{"1.5", "0", "0"}, "1000", "90", std::to_string(state.Params.Application.Acceleration)},
        state, true));
    EXPECT_EQ(state.PositionTestTarget, 2500);
    a = AnalyseStepTest(LoopTest::Position, state);
    ASSERT_EQ(a.Records, 512u);
    const double start = a.Plot.UpperSet.Points.front().Y;
    EXPECT_EQ(a.Plot.UpperSet.Points.back().Y, start + 2500);
    EXPECT_NEAR(a.Plot.UpperActual.Points.back().Y, start + 2500, 50);
    double fastest = 0;
    for (size_t k = 0; k < a.Records; ++k) {
        EXPECT_EQ(a.Plot.UpperDeviation.Points[k].Y,
                  a.Plot.UpperActual.Points[k].Y - a.Plot.UpperSet.Points[k].Y);
        fastest = std::max(fastest, std::abs(a.Plot.LowerActual.Points[k].Y));
    }
    EXPECT_GT(fastest, 100.0);
    EXPECT_LT(fastest, 1300.0);
    // The file holds one line per record.
    const std::string text =
        TestDataText(LoopTest::Position, state.CaptureBuffer, state.PositionTestLength);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 512);
}

TEST_F(StepTestSimTest, BetterSpeedGainsGiveBetterFigures) {
    // The drive's own (soft) gains first, as the page shows them.
    const LoopGains factory = LoopGainsOf(state.Params.Loop, LoopTest::Speed);
    Run(CheckSpeedTest({GainTextsOf(factory), "1000"}, state, true));
    const StepFigures soft = AnalyseStepTest(LoopTest::Speed, state).Figures;
    Run(CheckSpeedTest({{"3", "1.5", "0"}, "1000"}, state, true));
    // The command-line tool's ending: the same figures, and the file in the page's format.
    char folder[] = "/tmp/torvane-steptest-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string out = std::string(folder) + "/speed.txt";
    const StepTestOutcome outcome = FinishStepTest(LoopTest::Speed, state, 0, out);
    const std::string saved = ReadFile(out);
    std::filesystem::remove_all(folder);
    ASSERT_FALSE(outcome.Saved.Error) << *outcome.Saved.Error;
    EXPECT_EQ(outcome.Saved.Path, out);
    EXPECT_EQ(saved, TestDataText(LoopTest::Speed, state.CaptureBuffer, 8192));
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 512);
    const StepFigures tuned = outcome.Analysis.Figures;
    EXPECT_EQ(outcome.FigureLines, FormatStepFigures(tuned));

    for (const StepFigures* f : {&soft, &tuned}) {
        for (const std::string& line : FormatStepFigures(*f)) std::printf("  %s\n", line.c_str());
        std::printf("\n");
        ASSERT_EQ(f->Status, FigureStatus::Valid);
        ASSERT_TRUE(f->RiseTime);
    }
    EXPECT_LT(*tuned.RiseTime, 0.6 * *soft.RiseTime);
    // The soft gains stall short of the set value against the load's friction: not settled,
    // however steady they are. The tuned ones settle, without ringing.
    EXPECT_FALSE(soft.Settled);
    EXPECT_GT(soft.SteadyStateError, 0);
    EXPECT_TRUE(tuned.Settled);
    EXPECT_LE(*tuned.OvershootPercent, 5.0);
    EXPECT_LT(std::abs(tuned.SteadyStateError), 0.5 * std::abs(soft.SteadyStateError));
    EXPECT_LT(tuned.IntegralAbsoluteError, 0.6 * soft.IntegralAbsoluteError);
}

}  // namespace
}  // namespace torvane
