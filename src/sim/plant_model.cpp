#include "sim/plant_model.h"

#include <algorithm>
#include <cmath>

namespace torvane::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadPerSecondPerRpm = 2.0 * kPi / 60.0;

// One step of a PI(D) output with anti-windup by clamping: the integral moves only while the
// output is free or the error pulls it back from its limit.
double Controller(double proportional, double derivative, double integralStep, double limit,
                  double& integral) {
    const double free = proportional + integral + integralStep + derivative;
    const bool pushesHigh = free > limit && integralStep > 0;
    const bool pushesLow = free < -limit && integralStep < 0;
    if (!pushesHigh && !pushesLow) integral = std::clamp(integral + integralStep, -limit, limit);
    return std::clamp(proportional + integral + derivative, -limit, limit);
}

}  // namespace

double PlantParameters::ResonanceHz() const {
    return std::sqrt(Stiffness * TotalInertia() / (MotorInertia * LoadInertia)) / (2 * kPi);
}

double PlantParameters::VoltageLimit() const {
    return BusVoltage / std::sqrt(3.0);
}

double PlantParameters::AccelerationPerAmp() const {
    return TorqueConstant / TotalInertia() / kRadPerSecondPerRpm;
}

double PlantParameters::FrictionCurrent() const {
    return CoulombFriction / TorqueConstant;
}

double PlantParameters::ViscousCurrent(double rpm) const {
    return (ViscousFriction + LoadViscousFriction) * rpm * kRadPerSecondPerRpm / TorqueConstant;
}

double PlantParameters::ViscousTime() const {
    return TotalInertia() / std::max(1e-9, ViscousFriction + LoadViscousFriction);
}

PlantRandom::PlantRandom(const PlantNoise& noise)
    : enabled_(noise.Enabled), engine_(noise.Seed) {}

double PlantRandom::Gauss(double sigma) {
    if (!enabled_ || sigma <= 0) return 0;
    return std::normal_distribution<double>(0.0, sigma)(engine_);
}

double PlantRandom::Uniform01() {
    if (!enabled_) return 0.5;
    return std::uniform_real_distribution<double>(0.0, 1.0)(engine_);
}

double SaneGain(float value, double max) {
    if (!std::isfinite(value) || value < 0) return 0;
    return std::min<double>(value, max);
}

CurrentLoop::CurrentLoop(const PlantParameters& plant, float p, float i, float d,
                         PlantRandom& random)
    : plant_(plant),
      random_(random),
      kp_(plant.Current.P * SaneGain(p, kCurrentGainMax)),
      ki_(plant.Current.I * SaneGain(i, kCurrentGainMax)),
      kd_(plant.Current.D * SaneGain(d, kCurrentDMax)),
      decay_(std::exp(-plant.Resistance * kLoopPeriod / plant.Inductance)),
      vmax_(plant.VoltageLimit()) {}

void CurrentLoop::Step(double setAmps, double motorSpeed) {
    double sample = current_ + random_.Gauss(plant_.CurrentNoise);
    if (random_.Enabled() && plant_.AdcStep > 0) sample = std::round(sample / plant_.AdcStep) * plant_.AdcStep;
    lastMeasured_ = measured_;
    measured_ = sample;
    const double error = setAmps - measured_;
    const double derivative = -kd_ * (measured_ - lastMeasured_) / kLoopPeriod;
    const double output = Controller(kp_ * error, derivative, ki_ * kLoopPeriod * error, vmax_,
                                     integral_);
    // The voltage computed now is applied from the next period on.
    applied_ = output_;
    output_ = output;
    const double drive = applied_ - plant_.TorqueConstant * motorSpeed;
    current_ = decay_ * current_ + (1.0 - decay_) * drive / plant_.Resistance;
}

Mechanics::Mechanics(const PlantParameters& plant) : plant_(plant) {}

void Mechanics::Step(double torque) {
    const PlantParameters& p = plant_;
    const double dt = kLoopPeriod / kMechanicsSteps;
    for (int s = 0; s < kMechanicsSteps; ++s) {
        const double coupling = p.Stiffness * (thm_ - thl_) + p.CouplingDamping * (wm_ - wl_);
        const double drive = torque - coupling - p.ViscousFriction * wm_;
        if (wm_ == 0 && std::abs(drive) <= p.CoulombFriction) {
            // Stuck: friction holds whatever drives the motor.
        } else {
            const double direction = wm_ != 0 ? wm_ : drive;
            const double before = wm_;
            wm_ += (drive - std::copysign(p.CoulombFriction, direction)) / p.MotorInertia * dt;
            // Friction stops a turning motor; whether it starts again the next step decides.
            if (before * wm_ < 0) wm_ = 0;
        }
        wl_ += (coupling - p.LoadViscousFriction * wl_) / p.LoadInertia * dt;
        thm_ += wm_ * dt;
        thl_ += wl_ * dt;
    }
}

SpeedSensor::SpeedSensor(const PlantParameters& plant, double countsPerRev, PlantRandom& random)
    : quantised_(random.Enabled()),
      cpr_(std::max(1.0, countsPerRev)),
      phase_(random.Uniform01()),
      filter_(1.0 - std::exp(-kLoopPeriod / std::max(plant.SpeedFilterTime, 1e-9))),
      window_(static_cast<size_t>(std::clamp(plant.SpeedWindow, 1, 63))) {}

void SpeedSensor::Step(double angle) {
    const double counts = angle / (2 * kPi) * cpr_;
    counts_ = quantised_ ? std::floor(counts + phase_) : counts;
    at_ = (at_ + 1) % history_.size();
    history_[at_] = counts_;
    const double past = history_[(at_ + history_.size() - window_) % history_.size()];
    const double raw = (counts_ - past) / (static_cast<double>(window_) * kLoopPeriod) * 60.0 / cpr_;
    rpm_ += (raw - rpm_) * filter_;
}

SpeedLoop::SpeedLoop(const PlantParameters& plant, const LoopGroup& gains, double peakCurrent,
                     double countsPerRev, PlantRandom& random)
    : plant_(plant),
      current_(plant, gains.CurrentLoopP, gains.CurrentLoopI, gains.CurrentLoopD, random),
      mechanics_(plant),
      sensor_(plant, countsPerRev, random),
      kp_(plant.Speed.P * SaneGain(gains.SpeedLoopP, kSpeedGainMax)),
      ki_(plant.Speed.I * SaneGain(gains.SpeedLoopI, kSpeedGainMax)),
      kd_(plant.Speed.D * SaneGain(gains.SpeedLoopD, kSpeedGainMax)),
      peak_(peakCurrent) {}

void SpeedLoop::Step(double setRpm) {
    const double rpm = sensor_.Rpm();
    const double error = setRpm - rpm;
    const double derivative = -kd_ * (rpm - lastRpm_) / kLoopPeriod;
    lastRpm_ = rpm;
    const double command =
        Controller(kp_ * error, derivative, ki_ * kLoopPeriod * error, peak_, integral_);
    current_.Step(command, mechanics_.MotorSpeed());
    mechanics_.Step(plant_.TorqueConstant * current_.Current());
    sensor_.Step(mechanics_.MotorAngle());
}

PositionLoop::PositionLoop(const PlantParameters& plant, const LoopGroup& gains,
                           double peakCurrent, double countsPerRev, double speedLimitRpm,
                           PlantRandom& random)
    : speed_(plant, gains, peakCurrent, countsPerRev, random),
      kp_(plant.Position.P * SaneGain(gains.PositionLoopP, kPositionGainMax)),
      ki_(plant.Position.I * SaneGain(gains.PositionLoopI, kPositionGainMax)),
      kd_(plant.Position.D * SaneGain(gains.PositionLoopD, kPositionGainMax)),
      cpr_(std::max(1.0, countsPerRev)) {
    limit_ = speedLimitRpm / 60.0 * cpr_;
}

void PositionLoop::Step(double setCounts, double setSpeed) {
    const double error = setCounts - speed_.Counts();
    const double measuredSpeed = speed_.Rpm() / 60.0 * cpr_;
    const double command = Controller(kp_ * error, kd_ * (setSpeed - measuredSpeed),
                                      ki_ * kLoopPeriod * error, limit_, integral_);
    speed_.Step(command * 60.0 / cpr_);
}

}  // namespace torvane::sim
