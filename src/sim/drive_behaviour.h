// DriveBehaviour: what the simulated drive does with requests, and how it moves in time.
//
// Time is the drive's own, in seconds, moved on by Advance() (the server scales wall-clock time
// with the tool's time seam, so tests see the 2 s / 3 s / 15 s behaviours quickly). Everything
// is deterministic for a given sequence of calls (the live values' noise comes from a fixed
// seed) except the loop tests, which draw new noise each time, as on a bench (SimOptions says
// where from; TestNoise() tells what a test drew).
//
// Behaviour and figures:
//   - Enable (0x0201) refuses with nibble 7 while Match Marks is not 1, with 6 while a fault
//     is active or matching / calibration runs. The first enable after power-up or reset
//     initialises the drive for 2 s (0x2200 byte 3 goes to 1); motion waits for it (nibble 6).
//   - Run (0x0300) and the loop tests need the motor enabled (nibble 9). Speed mode: the speed
//     follows its set-point (rpm) with a first-order lag of 0.2 s. Position mode: the motor
//     moves to the target (pulses; absolute, or relative to the position at Run) at the
//     position speed (rpm). Current mode: the set-point current drives the shaft against
//     friction, up to the Maximum Speed, with the plant's inertia and friction. Stop decelerates with the same lag, emergency stop
//     halts at once. Disabled, the shaft coasts down (0.5 s).
//   - Live values: phase current from the load (0.2 A holding, friction, acceleration), bus
//     voltage 48 V minus 0.05 V/A with 0.05 V noise, temperature 25 C ambient rising while
//     running (time constant 600 s) and cooling when idle.
//   - Set-points beyond the application limits (current rating, Maximum Speed) get nibble 10;
//     a work mode above 2 or a change of mode while enabled get 5 and 6.
//   - Faults raised with RaiseFault trip the motor (disabled); 0x1202 clears them.
//   - Encoder calibration (0x120A, motor disabled) takes 3 s: 0x2200 byte 1 is 0, then 1 (or
//     stays 0 with fault bit 13 when it fails, or stays 0 and keeps running when it never ends).
//   - The speed set-point is taken in rpm (0x2305, 0x2300) and reported by a 0x2305 read in
//     counts per second (rpm x CountsPerRev / 60); 0x2300 reports the set-points as written.
//   - Motor matching (0x0101, motor disabled) takes 15 s: Match Marks 0, then 1 (or 2 when it
//     fails, or stays 0 when it never ends); byte 2 (test state) goes to 1 on success.
//   - Loop tests (0x0501, 0x0601, 0x0701; stopped with 0x0500, 0x0600, 0x0700): status 1 while
//     running, 3 after 1 s with 512 records (4096 or 8192 bytes) in the capture area, from the
//     step test model (step_test_model.h) on the options' plant.
//   - 0x0401 stores the parameter blocks, 0x0400 restores the factory parameters (both need
//     the motor disabled). Reset (0x5001) restarts the drive: it is silent for 0.3 s, then
//     comes up disabled, with the stored parameters, cleared set-points and faults, and not
//     initialised. Matching and calibration results are kept by the drive itself.
// Not thread-safe: the owner serialises every call.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/plant_model.h"
#include "sim/register_model.h"
#include "sim/sim_options.h"

namespace torvane::sim {

namespace timing {
constexpr double kInitialisation = 2.0;  // s, after the first enable
constexpr double kCalibration = 3.0;
constexpr double kMatching = 15.0;
constexpr double kLoopTest = 1.0;
constexpr double kReboot = 0.3;  // silent after a reset
constexpr double kSpeedLag = 0.2;
constexpr double kCoastDown = 0.5;
constexpr double kThermal = 600.0;
}  // namespace timing

constexpr double kAmbientTemperature = 25.0;
constexpr uint16_t kStopPositionTest = 0x0700;
constexpr uint16_t kEncoderCalibrationFault = 0x2000;  // fault bit 13

class DriveBehaviour {
public:
    explicit DriveBehaviour(const SimOptions& options = {});

    // Moves the drive's clock on by `seconds` (drive time) and lets everything happen that
    // falls due meanwhile.
    void Advance(double seconds);
    double Now() const { return now_; }

    // A read of `count` bytes of `address` (a block or a capture block). Returns the result
    // nibble; on 0, `out` (room for 128 bytes) holds the `count` bytes.
    uint8_t Read(RegisterAddress address, uint8_t count, uint8_t* out);
    // A write of `n` data bytes (0 for a bare command). Returns the result nibble.
    uint8_t Write(RegisterAddress address, const uint8_t* data, size_t n);

    // True while the drive restarts after a reset: it answers nothing.
    bool Rebooting() const { return now_ < rebootUntil_; }

    // Raises fault bits (they add to those present) and trips the motor.
    void RaiseFault(uint16_t word);
    uint16_t Faults() const { return faults_; }
    void SetMatchOutcome(MatchOutcome outcome) { match_ = outcome; }
    // Takes effect at the next start of a calibration (never) or at its end (fail).
    void SetCalibrationOutcome(CalibrationOutcome outcome) { calibration_ = outcome; }
    bool Calibrating() const { return calibrating_; }
    void SetModel(const std::string& model) { regs_.Model = model; }
    // A non-zero value replaces the byte counts that 0x2408, 0x2505 and 0x2611 report.
    void SetReportedCaptureLength(uint16_t bytes) { reportedLength_ = bytes; }
    // While held, the loop tests that run do not end (status 1 stays); released, those whose
    // second is over end at the next step of the clock. A test of any length, for tests.
    void HoldLoopTests(bool held) { testsHeld_ = held; }
    const PlantParameters& Plant() const { return plant_; }
    // The noise the last start of loop test `index` (0 current, 1 speed, 2 position) drew:
    // RunCurrentStepTest ... with it give that test's records.
    PlantNoise TestNoise(int index) const { return testNoise_[index]; }

    bool Enabled() const { return enabled_; }
    bool Initialising() const { return initDoneAt_.has_value(); }
    bool Running() const { return running_; }
    double SpeedRpm() const { return speed_; }
    double Position() const { return position_; }
    double Temperature() const { return temperature_; }
    const DriveParameters& StoredParameters() const { return stored_; }
    // The registers as a read would see them now (live status refreshed).
    const RegisterModel& Registers();
    // Holds the live status block (0x1200) at `live`, as a drive at rest on a quiet supply
    // would read, so a test can know every value a read reports; empty: the drive's own
    // values again.
    void HoldLive(std::optional<LiveStatus> live) { heldLive_ = live; }

private:
    void Restart();
    void Step(double dt);
    void Events();
    void RefreshLive();
    uint8_t Command(uint16_t word);
    uint8_t StartTest(int index);
    bool AnyTestRunning() const;
    double MaxSpeedRpm() const;
    double CountsPerSecond(double rpm) const;
    double LoadCurrent() const;

    const PlantParameters& plant_;
    bool testNoiseOn_;
    std::mt19937_64 seeds_;
    std::array<PlantNoise, 3> testNoise_{};
    RegisterModel regs_;
    DriveParameters stored_;
    MatchingGroup storedMatching_;
    MatchOutcome match_;
    CalibrationOutcome calibration_;
    double now_ = 0;
    double rebootUntil_ = 0;
    uint16_t faults_ = 0;
    uint16_t reportedLength_ = 0;
    bool testsHeld_ = false;

    bool enabled_ = false;
    bool running_ = false;
    uint8_t runMode_ = 1;
    double positionTarget_ = 0;
    std::optional<double> initDoneAt_;
    bool calibrating_ = false;
    std::optional<double> calibrationDoneAt_;  // empty while a calibration that never ends runs
    bool matching_ = false;
    std::optional<double> matchDoneAt_;
    std::array<std::optional<double>, 3> testDoneAt_{};
    std::array<std::vector<uint8_t>, 3> testData_{};

    double speed_ = 0;     // rpm
    double position_ = 0;  // counts
    double accel_ = 0;     // rpm/s, last step
    double torqueCurrent_ = 0;
    double temperature_ = kAmbientTemperature;
    std::mt19937 noise_{417};
    std::optional<LiveStatus> heldLive_;
};

}  // namespace torvane::sim
