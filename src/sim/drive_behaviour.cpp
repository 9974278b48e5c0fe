#include "sim/drive_behaviour.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "protocol/register_map.h"
#include "sim/plant_presets.h"
#include "sim/step_test_model.h"

namespace torvane::sim {

namespace {

constexpr double kMaxStep = 0.005;          // s, integration step while anything moves
constexpr double kPositionGain = 10.0;      // 1/s, live position approach
constexpr double kPositionLag = 0.05;       // s, speed lag in position mode
constexpr double kHoldingCurrent = 0.2;     // A, an enabled motor at rest
constexpr double kVoltageDrop = 0.05;       // V per A of phase current
constexpr double kVoltageNoise = 0.05;      // V, standard deviation
constexpr double kCurrentNoise = 0.01;      // A

double Lag(double dt, double tau) {
    return 1.0 - std::exp(-dt / tau);
}

int32_t SaturateI32(double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<int32_t>(std::clamp(std::round(v), -2147483648.0, 2147483647.0));
}

// An electrical angle the matching "measures": deterministic, depends on the motor.
uint16_t MeasuredAngle(const MotorGroup& m) {
    return static_cast<uint16_t>((m.PolePairs * 37u + m.EncoderLines % 360u + 53u) % 360u);
}

const PlantParameters& PlantOf(const SimOptions& options) {
    const PlantParameters* plant = FindPlant(options.Plant);
    return plant != nullptr ? *plant : DefaultPlant();
}

uint64_t FirstSeed(const SimOptions& options) {
    if (options.NoiseSeed) return *options.NoiseSeed;
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) ^ device();
}

}  // namespace

DriveBehaviour::DriveBehaviour(const SimOptions& options)
    : plant_(PlantOf(options)),
      testNoiseOn_(options.Noise),
      seeds_(FirstSeed(options)),
      stored_(FactoryParameters()),
      storedMatching_(FactoryMatching()),
      match_(options.Match),
      calibration_(options.Calibration) {
    regs_.Model = options.Model;
    Restart();
    faults_ = options.FaultWord;
}

void DriveBehaviour::Restart() {
    const std::string model = regs_.Model;
    regs_ = RegisterModel();
    regs_.Model = model;
    regs_.Params = stored_;
    regs_.UpdateLimits();
    regs_.Matching = storedMatching_;
    regs_.Matching.HallDirection = 0;  // initialisation is redone after every restart
    faults_ = 0;
    enabled_ = false;
    running_ = false;
    initDoneAt_.reset();
    calibrating_ = false;
    calibrationDoneAt_.reset();
    matching_ = false;
    matchDoneAt_.reset();
    testDoneAt_ = {};
    for (auto& d : testData_) d.clear();
    speed_ = 0;
    accel_ = 0;
    torqueCurrent_ = 0;
    position_ = regs_.Params.Application.InitialPosition;
}

void DriveBehaviour::Advance(double seconds) {
    if (!(seconds > 0)) return;
    // Nothing moves and nothing is due: only the temperature changes, exactly.
    const bool still = !running_ && speed_ == 0;
    const bool due = initDoneAt_ || calibrationDoneAt_ || matchDoneAt_ || AnyTestRunning();
    if (still && !due) {
        temperature_ += (kAmbientTemperature - temperature_) * Lag(seconds, timing::kThermal);
        now_ += seconds;
        return;
    }
    while (seconds > 0) {
        const double dt = std::min(seconds, kMaxStep);
        Step(dt);
        now_ += dt;
        seconds -= dt;
        Events();
    }
}

double DriveBehaviour::MaxSpeedRpm() const {
    const int32_t max = regs_.Params.Application.MaximumSpeed;
    return max > 0 ? std::min<double>(max, RegisterModel::kDriveSpeedLimitRpm)
                   : RegisterModel::kDriveSpeedLimitRpm;
}

double DriveBehaviour::CountsPerSecond(double rpm) const {
    return rpm / 60.0 * regs_.CountsPerRev();
}

void DriveBehaviour::Step(double dt) {
    const double before = speed_;
    const double maxRpm = MaxSpeedRpm();
    torqueCurrent_ = 0;
    if (!enabled_) {
        speed_ -= speed_ * Lag(dt, timing::kCoastDown);
    } else if (running_ && runMode_ == 0) {
        const double peak = RegisterModel::kPeakCurrent;
        const float set = regs_.Motion.CurrentSetpoint;
        const double current = std::isfinite(set) ? std::clamp<double>(set, -peak, peak) : 0.0;
        torqueCurrent_ = current;
        double torque = current;
        if (speed_ != 0) {
            torque -= std::copysign(plant_.FrictionCurrent(), speed_);
        } else if (std::abs(torque) <= plant_.FrictionCurrent()) {
            torque = 0;
        } else {
            torque -= std::copysign(plant_.FrictionCurrent(), torque);
        }
        const double next =
            speed_ + (plant_.AccelerationPerAmp() * torque - speed_ / plant_.ViscousTime()) * dt;
        speed_ = (speed_ != 0 && next * speed_ < 0) ? 0.0 : std::clamp(next, -maxRpm, maxRpm);
    } else if (running_ && runMode_ == 1) {
        const double target = std::clamp<double>(regs_.Motion.SpeedSetpoint, -maxRpm, maxRpm);
        speed_ += (target - speed_) * Lag(dt, timing::kSpeedLag);
    } else if (running_ && runMode_ == 2) {
        const double error = positionTarget_ - position_;
        const double limit = std::min<double>(std::abs(regs_.Motion.PositionSpeed), maxRpm);
        const double wanted =
            std::copysign(std::min(CountsPerSecond(limit), std::abs(error) * kPositionGain), error);
        const double wantedRpm = wanted * 60.0 / regs_.CountsPerRev();
        speed_ += (wantedRpm - speed_) * Lag(dt, kPositionLag);
        if (std::abs(error) < 0.5 && std::abs(speed_) < 1.0) {
            position_ = positionTarget_;
            speed_ = 0;
            running_ = false;  // in position
        }
    } else {
        speed_ -= speed_ * Lag(dt, timing::kSpeedLag);
    }
    if (std::abs(speed_) < 0.01 && !(running_ && runMode_ == 0)) speed_ = 0;
    accel_ = (speed_ - before) / dt;
    position_ += CountsPerSecond(speed_) * dt;
    if (!std::isfinite(position_)) position_ = 0;
    position_ = std::clamp(position_, -2147483648.0, 2147483647.0);

    const double current = LoadCurrent();
    const double rated = std::max<double>(1.0, regs_.Params.Motor.RatedRotorSpeed);
    const double rise = 30.0 * std::min(2.0, std::abs(speed_) / rated) + 2.0 * current * current;
    temperature_ += (kAmbientTemperature + rise - temperature_) * Lag(dt, timing::kThermal);
}

double DriveBehaviour::LoadCurrent() const {
    if (!enabled_) return 0;
    if (running_ && runMode_ == 0) return std::abs(torqueCurrent_);
    double current = kHoldingCurrent + std::abs(accel_) / plant_.AccelerationPerAmp() +
                     plant_.ViscousCurrent(std::abs(speed_));
    if (speed_ != 0) current += plant_.FrictionCurrent();
    return std::min<double>(current, RegisterModel::kPeakCurrent);
}

void DriveBehaviour::Events() {
    if (initDoneAt_ && now_ >= *initDoneAt_) {
        initDoneAt_.reset();
        regs_.Matching.HallDirection = 1;
    }
    if (calibrationDoneAt_ && now_ >= *calibrationDoneAt_) {
        calibrationDoneAt_.reset();
        calibrating_ = false;
        const bool ok = calibration_ != CalibrationOutcome::Fail;
        regs_.Matching.GraviationSequence = ok ? 1 : 0;
        storedMatching_.GraviationSequence = ok ? 1 : 0;
        if (!ok) RaiseFault(kEncoderCalibrationFault);
    }
    if (matchDoneAt_ && now_ >= *matchDoneAt_) {
        matchDoneAt_.reset();
        matching_ = false;
        MatchingGroup& m = regs_.Matching;
        if (match_ == MatchOutcome::Fail) {
            m.MatchMarks = 2;
            m.HallLineSequence = 0;
        } else {
            m.MatchMarks = 1;
            m.HallLineSequence = 1;
            m.EncoderDirection = 0;
            m.InitialElectricalAngle = MeasuredAngle(regs_.Params.Motor);
        }
        const uint8_t init = storedMatching_.HallDirection;
        storedMatching_ = m;
        storedMatching_.HallDirection = init;
    }
    for (int i = 0; i < 3 && !testsHeld_; ++i) {
        if (!testDoneAt_[i] || now_ < *testDoneAt_[i]) continue;
        testDoneAt_[i].reset();
        std::fill(regs_.Capture.begin(), regs_.Capture.end(), 0);
        std::copy(testData_[i].begin(), testData_[i].end(), regs_.Capture.begin());
        regs_.TestLength[i] = static_cast<uint16_t>(testData_[i].size());
        regs_.TestStatus[i] = 3;
        if (i == 2) {
            // The position test really moved the shaft.
            position_ =
                std::clamp(position_ + regs_.Tests.PositionTarget, -2147483648.0, 2147483647.0);
        }
        testData_[i].clear();
    }
}

void DriveBehaviour::RefreshLive() {
    LiveStatus& live = regs_.Live;
    if (heldLive_) {
        live = *heldLive_;
        return;
    }
    std::normal_distribution<double> unit(0.0, 1.0);
    live.Temperature = static_cast<uint8_t>(std::clamp(std::lround(temperature_), 0L, 255L));
    live.MotorState = enabled_ ? (running_ ? 2 : 1) : 0;
    live.FaultWord = faults_;
    uint16_t word2 = 0;
    if (enabled_) word2 |= 1u << 0;
    if (running_) word2 |= 1u << 1;
    if (regs_.Matching.HallDirection == 1) word2 |= 1u << 2;
    if (enabled_ && !running_ && runMode_ == 2) word2 |= 1u << 3;  // in position
    if (matching_) word2 |= 1u << 4;
    if (calibrating_) word2 |= 1u << 5;
    if (AnyTestRunning()) word2 |= 1u << 6;
    live.StatusWord2 = word2;
    live.Speed = SaturateI32(speed_);
    live.Position = SaturateI32(position_);
    double current = LoadCurrent();
    if (enabled_) current = std::max(0.0, current + kCurrentNoise * unit(noise_));
    live.PhaseCurrent = static_cast<float>(current);
    live.BusVoltage = static_cast<float>(plant_.BusVoltage - kVoltageDrop * current +
                                         kVoltageNoise * unit(noise_));
    const int64_t cpr = regs_.CountsPerRev();
    live.Extra = static_cast<uint32_t>(((static_cast<int64_t>(live.Position) % cpr) + cpr) % cpr);
}

const RegisterModel& DriveBehaviour::Registers() {
    RefreshLive();
    return regs_;
}

bool DriveBehaviour::AnyTestRunning() const {
    return std::any_of(testDoneAt_.begin(), testDoneAt_.end(),
                       [](const auto& t) { return t.has_value(); });
}

void DriveBehaviour::RaiseFault(uint16_t word) {
    faults_ |= word;
    if (word != 0 && enabled_) {
        enabled_ = false;
        running_ = false;
        testDoneAt_ = {};
        for (uint8_t& s : regs_.TestStatus) {
            if (s == 1) s = 0;
        }
    }
}

uint8_t DriveBehaviour::Read(RegisterAddress address, uint8_t count, uint8_t* out) {
    if (RegisterModel::IsCapture(address)) {
        const size_t offset = address - reg::kCaptureFirst;
        if (count == 0 || count > size::kCaptureBlock) return nibble::kCommandValue;
        if (offset + count > kCaptureBytes) return nibble::kAddress;
        std::memcpy(out, regs_.Capture.data() + offset, count);
        return nibble::kOk;
    }
    const BlockInfo* block = RegisterModel::Find(address);
    if (block == nullptr) return nibble::kAddress;
    if (!block->Readable) return nibble::kFunction;
    if (address == reg::kLiveStatus) RefreshLive();
    uint8_t bytes[128];
    const size_t size = regs_.Encode(address, bytes);
    if (count == 0 || count > size) return nibble::kCommandValue;
    if (reportedLength_ != 0 &&
        (address == reg::kCurrentTestLength || address == reg::kSpeedTestLength ||
         address == reg::kPositionTestLength)) {
        PutU16BE(bytes, reportedLength_);
    }
    std::memcpy(out, bytes, count);
    return nibble::kOk;
}

uint8_t DriveBehaviour::Write(RegisterAddress address, const uint8_t* data, size_t n) {
    if (RegisterModel::IsCapture(address)) return nibble::kReadOnly;
    const BlockInfo* block = RegisterModel::Find(address);
    if (block == nullptr) return nibble::kAddress;
    if (!block->Writable) return nibble::kReadOnly;
    if (n != block->Size && (block->AltWriteSize == 0 || n != block->AltWriteSize)) {
        return nibble::kCommandValue;
    }
    const ApplicationGroup& app = regs_.Params.Application;
    switch (address) {
        case reg::kClearFaults:
            faults_ = 0;
            return nibble::kOk;
        case reg::kEncoderCalibration:
            if (enabled_ || matching_) return nibble::kCannotProcess;
            regs_.Matching.GraviationSequence = 0;
            calibrating_ = true;
            if (calibration_ == CalibrationOutcome::Never) {
                calibrationDoneAt_.reset();
            } else {
                calibrationDoneAt_ = now_ + timing::kCalibration;
            }
            return nibble::kOk;
        case reg::kReset:
            Restart();
            rebootUntil_ = now_ + timing::kReboot;
            return nibble::kOk;
        case reg::kControlWord:
            return Command(GetU16(data));
        case reg::kWorkMode:
            if (data[0] > 2) return nibble::kCommandValue;
            if (enabled_ && data[0] != regs_.Motion.WorkMode) return nibble::kCannotProcess;
            break;
        case reg::kCurrentSetpoint: {
            const float current = GetFloatBE(data);
            const float rating = app.AppliedCurrentRating;
            if (!std::isfinite(current)) return nibble::kOverflow;
            if (rating > 0 && std::abs(current) > rating) return nibble::kOverflow;
            break;
        }
        case reg::kSpeedSetpoint:
            if (std::abs(static_cast<double>(GetI32BE(data))) > MaxSpeedRpm()) {
                return nibble::kOverflow;
            }
            break;
        case reg::kPositionSetpoint:
            if (data[0] > 1) return nibble::kCommandValue;
            if (std::abs(static_cast<double>(GetI32BE(data + 5))) > MaxSpeedRpm()) {
                return nibble::kOverflow;
            }
            break;
        default:
            break;
    }
    regs_.Decode(address, data, n);
    return nibble::kOk;
}

uint8_t DriveBehaviour::StartTest(int index) {
    if (!enabled_) return nibble::kNotEnabled;
    if (initDoneAt_ || running_) return nibble::kCannotProcess;
    for (int i = 0; i < 3; ++i) {
        // Restarting the test that runs is allowed; another one must wait.
        if (i != index && testDoneAt_[i]) return nibble::kCannotProcess;
    }
    std::vector<uint8_t>& data = testData_[index];
    data.assign(kCaptureBytes, 0);
    const PlantNoise noise{testNoiseOn_, seeds_()};
    testNoise_[index] = noise;
    size_t bytes = 0;
    if (index == 0) {
        bytes = RunCurrentStepTest(plant_, regs_.Params, regs_.Tests, noise, data.data());
    } else if (index == 1) {
        bytes = RunSpeedStepTest(plant_, regs_.Params, regs_.Tests, noise, data.data());
    } else {
        bytes = RunPositionStepTest(plant_, regs_.Params, regs_.Tests, SaturateI32(position_),
                                    noise, data.data());
    }
    data.resize(bytes);
    regs_.TestStatus[index] = 1;
    regs_.TestLength[index] = 0;
    testDoneAt_[index] = now_ + timing::kLoopTest;
    return nibble::kOk;
}

uint8_t DriveBehaviour::Command(uint16_t word) {
    auto stopTest = [this](int index) {
        if (testDoneAt_[index]) {
            testDoneAt_[index].reset();
            testData_[index].clear();
            regs_.TestStatus[index] = 0;
        }
        return nibble::kOk;
    };
    switch (word) {
        case control::kStartMatching:
            if (enabled_ || calibrating_ || matching_) return nibble::kCannotProcess;
            matching_ = true;
            regs_.Matching.MatchMarks = 0;
            regs_.Matching.HallLineSequence = 0;
            if (match_ == MatchOutcome::Never) {
                matchDoneAt_.reset();
            } else {
                matchDoneAt_ = now_ + timing::kMatching;
            }
            return nibble::kOk;
        case control::kDisable:
            enabled_ = false;
            running_ = false;
            initDoneAt_.reset();
            for (int i = 0; i < 3; ++i) stopTest(i);
            return nibble::kOk;
        case control::kEnable:
            if (enabled_) return nibble::kOk;
            if (matching_ || calibrating_ || faults_ != 0) return nibble::kCannotProcess;
            if (regs_.Matching.MatchMarks != 1) return nibble::kNotMatched;
            enabled_ = true;
            running_ = false;
            if (regs_.Matching.HallDirection != 1) initDoneAt_ = now_ + timing::kInitialisation;
            return nibble::kOk;
        case control::kRun:
            if (!enabled_) return nibble::kNotEnabled;
            if (initDoneAt_ || AnyTestRunning()) return nibble::kCannotProcess;
            runMode_ = regs_.Motion.WorkMode;
            if (runMode_ == 2) {
                const double base = regs_.Motion.PositionType == 1 ? position_ : 0.0;
                positionTarget_ =
                    std::clamp(base + regs_.Motion.PositionSetpoint, -2147483648.0, 2147483647.0);
            }
            running_ = true;
            return nibble::kOk;
        case control::kStop:
            running_ = false;
            return nibble::kOk;
        case control::kEmergencyStop:
            running_ = false;
            speed_ = 0;
            return nibble::kOk;
        case control::kRestoreDefaults:
            if (enabled_) return nibble::kCannotProcess;
            stored_ = FactoryParameters();
            regs_.Params = stored_;
            regs_.UpdateLimits();
            return nibble::kOk;
        case control::kStoreParameters:
            if (enabled_) return nibble::kCannotProcess;
            stored_ = regs_.Params;
            storedMatching_ = regs_.Matching;
            return nibble::kOk;
        case control::kStartCurrentTest:
            if (regs_.Matching.MatchMarks != 1) return nibble::kNotMatched;
            return StartTest(0);
        case control::kStartSpeedTest:
            return StartTest(1);
        case control::kStartPositionTest:
            return StartTest(2);
        case control::kStopCurrentTest:
            return stopTest(0);
        case control::kStopSpeedTest:
            return stopTest(1);
        case kStopPositionTest:
            return stopTest(2);
        default:
            return nibble::kCommand;
    }
}

}  // namespace torvane::sim
