#include "sim/step_test_model.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace torvane::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A gain as written may be anything, NaN included; the loops treat nonsense as 0.
double Gain(float value, double max) {
    if (!std::isfinite(value) || value < 0) return 0;
    return std::min<double>(value, max);
}

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

// Time constant of the closed current loop, for the loops that sit on top of it.
double CurrentLoopTimeConstant(float currentP) {
    const double p = Gain(currentP, 5.0);
    return motor::kInductance / (motor::kResistance + motor::kCurrentP * p);
}

class Noise {
public:
    explicit Noise(uint32_t seed) : engine_(seed) {}
    double operator()(double sigma) { return sigma * dist_(engine_); }

private:
    std::mt19937 engine_;
    std::normal_distribution<double> dist_{0.0, 1.0};
};

// Mechanics shared by the speed and position tests: torque current in, speed out (rpm).
struct Shaft {
    double Speed = 0;    // rpm
    double Current = 0;  // A, actual torque current
    void Step(double currentCommand, double dt, double currentTau) {
        Current += (currentCommand - Current) * (1.0 - std::exp(-dt / currentTau));
        double torque = Current;
        // Friction opposes motion; at rest it holds unless the torque overcomes it.
        if (Speed > 0.5) {
            torque -= motor::kFrictionCurrent;
        } else if (Speed < -0.5) {
            torque += motor::kFrictionCurrent;
        } else if (std::abs(torque) <= motor::kFrictionCurrent) {
            torque = 0;
            Speed = 0;
        } else {
            torque -= std::copysign(motor::kFrictionCurrent, torque);
        }
        Speed += (motor::kAccelPerAmp * torque - Speed / motor::kViscousTime) * dt;
    }
};

}  // namespace

double SpeedLoopTimeConstant(float speedP) {
    const double p = std::max(0.05, Gain(speedP, 5.0));
    return 1.0 / (motor::kAccelPerAmp * motor::kSpeedP * p);
}

size_t RunCurrentStepTest(const DriveParameters& params, const TestParameters& test,
                          uint8_t* capture) {
    const double kp = motor::kCurrentP * Gain(params.Loop.CurrentLoopP, 5.0);
    const double ki = motor::kCurrentI * Gain(params.Loop.CurrentLoopI, 5.0);
    const double kd = motor::kCurrentD * Gain(params.Loop.CurrentLoopD, 1.0);
    double amplitude = std::isfinite(test.CurrentAmplitude) ? test.CurrentAmplitude : 0.0;
    amplitude = std::clamp(amplitude, -PeakCurrent(params), PeakCurrent(params));
    const double dt = kLoopPeriod;
    const double decay = std::exp(-motor::kResistance * dt / motor::kInductance);
    Noise noise(0x2401);
    double current = 0, integral = 0, lastError = 0;
    for (size_t k = 0; k < kTestRecords; ++k) {
        double set = 0;
        if (k >= kStepRecord) {
            if (test.CurrentType == 0 || test.CurrentFrequency == 0) {
                set = amplitude;
            } else {
                const double t = static_cast<double>(k - kStepRecord) * dt;
                set = amplitude * std::sin(2 * kPi * test.CurrentFrequency * t);
            }
        }
        const double measured = current + noise(0.01);
        const double error = set - measured;
        integral = std::clamp(integral + ki * error * dt, -motor::kBusVoltage, motor::kBusVoltage);
        double volts = kp * error + integral + kd * (error - lastError) / dt;
        volts = std::clamp(volts, -motor::kBusVoltage, motor::kBusVoltage);
        lastError = error;
        current = current * decay + volts / motor::kResistance * (1.0 - decay);
        PutFloatBE(capture + 8 * k, static_cast<float>(set));
        PutFloatBE(capture + 8 * k + 4, static_cast<float>(measured));
    }
    return 8 * kTestRecords;
}

size_t RunSpeedStepTest(const DriveParameters& params, const TestParameters& test,
                        uint8_t* capture) {
    const double kp = motor::kSpeedP * Gain(params.Loop.SpeedLoopP, 5.0);
    const double ki = motor::kSpeedI * Gain(params.Loop.SpeedLoopI, 5.0);
    const double kd = motor::kSpeedD * Gain(params.Loop.SpeedLoopD, 5.0);
    const double peak = PeakCurrent(params);
    const double currentTau = CurrentLoopTimeConstant(params.Loop.CurrentLoopP);
    const double limit = RegisterModel::kDriveSpeedLimitRpm;
    const double target = std::clamp<double>(test.SpeedSetSpeed, -limit, limit);
    const double dt = kLoopPeriod;
    Noise noise(0x2501);
    Shaft shaft;
    double integral = 0, lastMeasured = 0;
    uint32_t period = 0;
    for (size_t k = 0; k < kTestRecords; ++k) {
        const double set = k >= kStepRecord ? target : 0.0;
        double measured = 0;
        for (uint32_t i = 0; i < kSpeedTestDecimation; ++i, ++period) {
            measured = shaft.Speed + noise(1.5);
            const double error = set - measured;
            integral = std::clamp(integral + ki * error * dt, -peak, peak);
            double command = kp * error + integral - kd * (measured - lastMeasured) / dt;
            lastMeasured = measured;
            command = std::clamp(command, -peak, peak);
            shaft.Step(command, dt, currentTau);
        }
        uint8_t* r = capture + 16 * k;
        PutI32BE(r, SaturateI32(set));
        PutI32BE(r + 4, SaturateI32(measured));
        PutU32BE(r + 8, static_cast<uint32_t>(k * kSpeedTestDecimation));
        PutFloatBE(r + 12, static_cast<float>(shaft.Current));
    }
    return 16 * kTestRecords;
}

size_t RunPositionStepTest(const DriveParameters& params, const TestParameters& test,
                           int32_t startPosition, uint8_t* capture) {
    const double cpr = std::max(1.0, 4.0 * params.Motor.EncoderLines);
    const double kp = motor::kPositionP * Gain(params.Loop.PositionLoopP, 2.5);
    const double ki = motor::kPositionI * Gain(params.Loop.PositionLoopI, 2.5);
    const double kd = motor::kPositionD * Gain(params.Loop.PositionLoopD, 2.5);
    const double speedTau = SpeedLoopTimeConstant(params.Loop.SpeedLoopP);
    const double maxRpm = std::clamp<double>(std::abs(static_cast<double>(test.PositionMaxSpeed)),
                                             1.0, RegisterModel::kDriveSpeedLimitRpm);
    const double accelRpm = test.PositionAcceleration > 0 ? test.PositionAcceleration : 10000.0;
    const double vmax = maxRpm / 60.0 * cpr;    // counts/s
    const double amax = accelRpm / 60.0 * cpr;  // counts/s^2
    const double distance = std::abs(static_cast<double>(test.PositionTarget));
    const double direction = test.PositionTarget < 0 ? -1.0 : 1.0;

    // Trapezoidal profile; a short move never reaches the speed limit (triangle).
    double accelTime = vmax / amax;
    double cruise = 0;
    if (amax * accelTime * accelTime >= distance) {
        accelTime = std::sqrt(distance / amax);
    } else {
        cruise = (distance - amax * accelTime * accelTime) / vmax;
    }
    const double peakSpeed = amax * accelTime;
    const double moveTime = 2 * accelTime + cruise;
    auto profile = [&](double t) {
        if (t <= 0) return 0.0;
        if (t < accelTime) return 0.5 * amax * t * t;
        if (t < accelTime + cruise) {
            return 0.5 * amax * accelTime * accelTime + peakSpeed * (t - accelTime);
        }
        if (t < moveTime) {
            const double r = moveTime - t;
            return distance - 0.5 * amax * r * r;
        }
        return distance;
    };

    // The records span the move and half as long again for settling, at least 0.2 s, at most
    // one minute.
    const double span = std::clamp(moveTime * 1.5 + 0.2, 0.2, 60.0);
    const uint32_t decimation = static_cast<uint32_t>(std::max(
        1.0, std::ceil(span / (static_cast<double>(kTestRecords - kStepRecord) * kLoopPeriod))));
    const double dt = kLoopPeriod;
    Noise noise(0x2601);
    double position = 0, speed = 0, integral = 0, lastError = 0;  // relative counts, counts/s
    const double speedLimit = RegisterModel::kDriveSpeedLimitRpm / 60.0 * cpr;
    uint64_t period = 0;
    const uint64_t stepPeriod = static_cast<uint64_t>(kStepRecord) * decimation;
    for (size_t k = 0; k < kTestRecords; ++k) {
        double set = 0;
        for (uint32_t i = 0; i < decimation; ++i, ++period) {
            const double t = period >= stepPeriod ? (period - stepPeriod) * dt : 0.0;
            set = period >= stepPeriod ? direction * profile(t) : 0.0;
            const double error = set - position;
            integral = std::clamp(integral + ki * error * dt, -speedLimit, speedLimit);
            double command = kp * error + integral + kd * (error - lastError) / dt;
            lastError = error;
            command = std::clamp(command, -speedLimit, speedLimit);
            speed += (command - speed) * (1.0 - std::exp(-dt / speedTau));
            position += speed * dt;
        }
        const double measuredSpeedRpm = speed * 60.0 / cpr + noise(0.5);
        uint8_t* r = capture + 16 * k;
        PutI32BE(r, SaturateI32(startPosition + set));
        PutI32BE(r + 4, SaturateI32(startPosition + std::round(position)));
        PutU32BE(r + 8, static_cast<uint32_t>(k * decimation));
        PutI32BE(r + 12, SaturateI32(measuredSpeedRpm * 10.0));
    }
    return 16 * kTestRecords;
}

}  // namespace torvane::sim
