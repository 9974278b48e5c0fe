#include "sim/step_test_model.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace torvane::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDefaultAcceleration = 10000.0;  // rpm/s

int32_t SaturateI32(double v) {
    if (!std::isfinite(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(std::lround(v));
}

double PeakCurrent(const DriveParameters& p) {
    const float locked = p.Motor.LockedRotorCurrent;
    if (std::isfinite(locked) && locked > 0.1f) {
        return std::min<double>(locked, RegisterModel::kPeakCurrent);
    }
    return RegisterModel::kPeakCurrent;
}

double CountsPerRev(const DriveParameters& p) {
    return std::max(1.0, 4.0 * p.Motor.EncoderLines);
}

// A trapezoidal move over `distance` (> 0) counts; a short move never reaches the speed limit
// (a triangle).
class Profile {
public:
    Profile(double distance, double vmax, double amax) : distance_(distance), amax_(amax) {
        accelTime_ = vmax / amax;
        if (amax * accelTime_ * accelTime_ >= distance) {
            accelTime_ = std::sqrt(distance / amax);
        } else {
            cruise_ = (distance - amax * accelTime_ * accelTime_) / vmax;
        }
        peak_ = amax * accelTime_;
        time_ = 2 * accelTime_ + cruise_;
    }
    double Duration() const { return time_; }
    double Position(double t) const {
        if (t <= 0) return 0.0;
        if (t < accelTime_) return 0.5 * amax_ * t * t;
        if (t < accelTime_ + cruise_) {
            return 0.5 * amax_ * accelTime_ * accelTime_ + peak_ * (t - accelTime_);
        }
        if (t < time_) {
            const double r = time_ - t;
            return distance_ - 0.5 * amax_ * r * r;
        }
        return distance_;
    }
    double Speed(double t) const {
        if (t <= 0 || t >= time_) return 0.0;
        if (t < accelTime_) return amax_ * t;
        if (t < accelTime_ + cruise_) return peak_;
        return amax_ * (time_ - t);
    }

private:
    double distance_, amax_;
    double accelTime_ = 0, cruise_ = 0, peak_ = 0, time_ = 0;
};

}  // namespace

size_t RunCurrentStepTest(const PlantParameters& plant, const DriveParameters& params,
                          const TestParameters& test, const PlantNoise& noise, uint8_t* capture) {
    PlantRandom random(noise);
    const LoopGroup& g = params.Loop;
    CurrentLoop loop(plant, g.CurrentLoopP, g.CurrentLoopI, g.CurrentLoopD, random);
    const double peak = PeakCurrent(params);
    double amplitude = std::isfinite(test.CurrentAmplitude) ? test.CurrentAmplitude : 0.0;
    amplitude = std::clamp(amplitude, -peak, peak);
    for (size_t k = 0; k < kTestRecords; ++k) {
        double set = 0;
        if (k >= kStepRecord) {
            if (test.CurrentType == 0 || test.CurrentFrequency == 0) {
                set = amplitude;
            } else {
                const double t = static_cast<double>(k - kStepRecord) * kLoopPeriod;
                set = amplitude * std::sin(2 * kPi * test.CurrentFrequency * t);
            }
        }
        loop.Step(set, 0.0);
        PutFloatBE(capture + 8 * k, static_cast<float>(set));
        PutFloatBE(capture + 8 * k + 4, static_cast<float>(loop.Measured()));
    }
    return 8 * kTestRecords;
}

size_t RunSpeedStepTest(const PlantParameters& plant, const DriveParameters& params,
                        const TestParameters& test, const PlantNoise& noise, uint8_t* capture) {
    PlantRandom random(noise);
    SpeedLoop loop(plant, params.Loop, PeakCurrent(params), CountsPerRev(params), random);
    const double limit = RegisterModel::kDriveSpeedLimitRpm;
    const double target = std::clamp<double>(test.SpeedSetSpeed, -limit, limit);
    for (size_t k = 0; k < kTestRecords; ++k) {
        const double set = k >= kStepRecord ? target : 0.0;
        for (uint32_t i = 0; i < kSpeedTestDecimation; ++i) loop.Step(set);
        uint8_t* r = capture + 16 * k;
        PutI32BE(r, SaturateI32(set));
        PutI32BE(r + 4, SaturateI32(loop.Rpm()));
        PutU32BE(r + 8, static_cast<uint32_t>(k * kSpeedTestDecimation));
        PutFloatBE(r + 12, static_cast<float>(loop.Current()));
    }
    return 16 * kTestRecords;
}

size_t RunPositionStepTest(const PlantParameters& plant, const DriveParameters& params,
                           const TestParameters& test, int32_t startPosition,
                           const PlantNoise& noise, uint8_t* capture) {
    PlantRandom random(noise);
    const double cpr = CountsPerRev(params);
    const double driveLimit = RegisterModel::kDriveSpeedLimitRpm;
    PositionLoop loop(plant, params.Loop, PeakCurrent(params), cpr, driveLimit, random);
    const double maxRpm = std::clamp<double>(std::abs(static_cast<double>(test.PositionMaxSpeed)),
                                             1.0, driveLimit);
    const double accelRpm =
        test.PositionAcceleration > 0 ? test.PositionAcceleration : kDefaultAcceleration;
    const double distance = std::abs(static_cast<double>(test.PositionTarget));
    const double direction = test.PositionTarget < 0 ? -1.0 : 1.0;
    const Profile profile(std::max(distance, 1e-9), maxRpm / 60.0 * cpr, accelRpm / 60.0 * cpr);

    const double span = std::clamp(profile.Duration() * 1.25 + 0.1, 0.1, 60.0);
    const uint32_t decimation = static_cast<uint32_t>(std::max(
        1.0, std::ceil(span / (static_cast<double>(kTestRecords - kStepRecord) * kLoopPeriod))));
    const uint64_t stepPeriod = static_cast<uint64_t>(kStepRecord) * decimation;
    uint64_t period = 0;
    for (size_t k = 0; k < kTestRecords; ++k) {
        double set = 0;
        for (uint32_t i = 0; i < decimation; ++i, ++period) {
            const double t =
                period >= stepPeriod ? static_cast<double>(period - stepPeriod) * kLoopPeriod : 0;
            set = period >= stepPeriod && distance > 0 ? direction * profile.Position(t) : 0.0;
            const double speed = period >= stepPeriod ? direction * profile.Speed(t) : 0.0;
            loop.Step(set, speed);
        }
        uint8_t* r = capture + 16 * k;
        PutI32BE(r, SaturateI32(startPosition + std::round(set)));
        PutI32BE(r + 4, SaturateI32(startPosition + std::round(loop.Counts())));
        PutU32BE(r + 8, static_cast<uint32_t>(k * decimation));
        PutI32BE(r + 12, SaturateI32(loop.Rpm() * 10.0));
    }
    return 16 * kTestRecords;
}

}  // namespace torvane::sim
