#include "sim/plant_presets.h"

#include <array>

namespace torvane::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;

constexpr double Reduced(double jm, double jl) {
    return jm * jl / (jm + jl);
}
// The coupling's stiffness for a resonance at `hz`, and its damping for the damping ratio
// `zeta` of that resonance.
constexpr double StiffnessFor(double hz, double jm, double jl) {
    return (2 * kPi * hz) * (2 * kPi * hz) * Reduced(jm, jl);
}
constexpr double DampingFor(double hz, double zeta, double jm, double jl) {
    return 2 * zeta * (2 * kPi * hz) * Reduced(jm, jl);
}

// The same 48 V drive stands behind every machine: its ADC resolves 10 mA with 6 mA of noise.
PlantParameters Drive() {
    PlantParameters p;
    p.BusVoltage = 48.0;
    p.AdcStep = 0.01;
    p.CurrentNoise = 0.006;
    return p;
}

// The gain units follow each machine as its drive's firmware would have been set up for it:
// the loop page's range reaches from sluggish to ringing on every one, with the best gains
// well inside. What the derivative gains mean follows the proportional ones.
GainScale CurrentUnits(double p, double i) {
    return {p, i, p * kLoopPeriod / 2};  // D: half a P unit per period of change
}
GainScale SpeedUnits(double p, double i) {
    return {p, i, p * 0.2e-3};  // D: a P unit per 0.2 ms
}
GainScale PositionUnits(double p, double i) {
    return {p, i, 0.2};  // D: a fifth of the speed error
}

// A small servo motor with a light load on a stiff coupling: fast, and it hums when pushed.
PlantParameters Small() {
    PlantParameters p = Drive();
    p.Name = "small";
    p.Description = "small stiff servo, light load, resonance 280 Hz";
    p.Resistance = 0.8;
    p.Inductance = 1.2e-3;
    p.TorqueConstant = 0.06;
    p.MotorInertia = 2.5e-6;
    p.LoadInertia = 1.25e-6;
    p.Stiffness = StiffnessFor(280, p.MotorInertia, p.LoadInertia);
    p.CouplingDamping = DampingFor(280, 0.04, p.MotorInertia, p.LoadInertia);
    p.CoulombFriction = 0.005;
    p.ViscousFriction = 2e-4;
    p.LoadViscousFriction = 1e-5;
    p.SpeedWindow = 8;
    p.SpeedFilterTime = 1.5e-3;
    p.Current = CurrentUnits(3.0, 3000);
    p.Speed = SpeedUnits(0.002, 0.1);
    p.Position = PositionUnits(2800, 3e5);
    return p;
}

// A larger motor driving a load of five times its own inertia through a shaft: the load
// swings back against the motor after every change of torque.
PlantParameters Inertia() {
    PlantParameters p = Drive();
    p.Name = "inertia";
    p.Description = "large-inertia load (5x the motor's), resonance 120 Hz";
    p.Resistance = 0.3;
    p.Inductance = 0.8e-3;
    p.TorqueConstant = 0.1;
    p.MotorInertia = 1e-5;
    p.LoadInertia = 5e-5;
    p.Stiffness = StiffnessFor(120, p.MotorInertia, p.LoadInertia);
    p.CouplingDamping = DampingFor(120, 0.05, p.MotorInertia, p.LoadInertia);
    p.CoulombFriction = 0.03;
    p.ViscousFriction = 1e-4;
    p.LoadViscousFriction = 5e-4;
    p.SpeedWindow = 8;
    p.SpeedFilterTime = 1.5e-3;
    p.Current = CurrentUnits(2.0, 1700);
    p.Speed = SpeedUnits(0.007, 0.1);
    p.Position = PositionUnits(2000, 2e5);
    return p;
}

// The small motor on a toothed belt carrying three times its inertia: soft, with the most
// friction, and a speed measurement filtered harder against the belt's vibration.
PlantParameters Belt() {
    PlantParameters p = Drive();
    p.Name = "belt";
    p.Description = "compliant belt (3x the motor's inertia), resonance 85 Hz";
    p.Resistance = 0.8;
    p.Inductance = 1.2e-3;
    p.TorqueConstant = 0.06;
    p.MotorInertia = 1.0e-5;
    p.LoadInertia = 3.0e-5;
    p.Stiffness = StiffnessFor(85, p.MotorInertia, p.LoadInertia);
    p.CouplingDamping = DampingFor(85, 0.05, p.MotorInertia, p.LoadInertia);
    p.CoulombFriction = 0.012;
    p.ViscousFriction = 2e-5;
    p.LoadViscousFriction = 5e-5;
    p.SpeedWindow = 8;
    p.SpeedFilterTime = 2e-3;
    p.Current = CurrentUnits(3.0, 3000);
    p.Speed = SpeedUnits(0.004, 0.05);
    p.Position = PositionUnits(1500, 2e5);
    return p;
}

}  // namespace

std::span<const PlantParameters> PlantPresets() {
    static const std::array<PlantParameters, 3> presets = {Small(), Inertia(), Belt()};
    return presets;
}

const PlantParameters& DefaultPlant() {
    return PlantPresets()[0];
}

const PlantParameters* FindPlant(std::string_view name) {
    for (const PlantParameters& p : PlantPresets()) {
        if (name == p.Name) return &p;
    }
    return nullptr;
}

std::string PlantNames() {
    std::string names;
    for (const PlantParameters& p : PlantPresets()) {
        if (!names.empty()) names += '|';
        names += p.Name;
    }
    return names;
}

}  // namespace torvane::sim
