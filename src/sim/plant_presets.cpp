#include "sim/plant_presets.h"

#include <array>

namespace torvane::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The coupling's stiffness and damping for a resonance at `hz` with damping ratio `zeta`.
constexpr double Reduced(double jm, double jl) {
    return jm * jl / (jm + jl);
}
constexpr double StiffnessFor(double hz, double jm, double jl) {
    return (2 * kPi * hz) * (2 * kPi * hz) * Reduced(jm, jl);
}
constexpr double DampingFor(double hz, double zeta, double jm, double jl) {
    return 2 * zeta * (2 * kPi * hz) * Reduced(jm, jl);
}

PlantParameters Small() {
    PlantParameters p;
    p.Name = "small";
    p.Description = "a small stiff servo (light load, stiff coupling, 280 Hz resonance)";
    p.Resistance = 0.8;
    p.Inductance = 1.2e-3;
    p.TorqueConstant = 0.06;
    p.AdcStep = 0.01;
    p.CurrentNoise = 0.006;
    p.MotorInertia = 0.6e-5;
    p.LoadInertia = 0.3e-5;
    p.Stiffness = StiffnessFor(280, p.MotorInertia, p.LoadInertia);
    p.CouplingDamping = DampingFor(280, 0.04, p.MotorInertia, p.LoadInertia);
    p.CoulombFriction = 0.02;
    p.ViscousFriction = 2e-4;
    p.LoadViscousFriction = 1e-5;
    p.SpeedWindow = 4;
    p.SpeedFilterTime = 0.3e-3;
    p.Current = {1.8, 2000, 1.8 * kLoopPeriod * 0.5};
    p.Speed = {0.0045, 0.3, 0.0045 * 0.2e-3};
    p.Position = {2000, 1e6, 0.2};
    return p;
}

PlantParameters Inertia() {
    PlantParameters p;
    p.Name = "inertia";
    p.Description = "a large-inertia load (five times the motor's, 120 Hz resonance)";
    p.Resistance = 0.3;
    p.Inductance = 0.8e-3;
    p.TorqueConstant = 0.1;
    p.AdcStep = 0.01;
    p.CurrentNoise = 0.006;
    p.MotorInertia = 1e-5;
    p.LoadInertia = 5e-5;
    p.Stiffness = StiffnessFor(120, p.MotorInertia, p.LoadInertia);
    p.CouplingDamping = DampingFor(120, 0.05, p.MotorInertia, p.LoadInertia);
    p.CoulombFriction = 0.03;
    p.ViscousFriction = 1e-4;
    p.LoadViscousFriction = 5e-4;
    p.SpeedWindow = 4;
    p.SpeedFilterTime = 0.5e-3;
    p.Current = {1.2, 1000, 1.2 * kLoopPeriod * 0.5};
    p.Speed = {0.01, 0.3, 0.01 * 0.2e-3};
    p.Position = {2000, 6e5, 0.2};
    return p;
}

PlantParameters Belt() {
    PlantParameters p;
    p.Name = "belt";
    p.Description = "a compliant belt drive (three times the motor's inertia, 85 Hz resonance)";
    p.Resistance = 0.8;
    p.Inductance = 1.2e-3;
    p.TorqueConstant = 0.06;
    p.AdcStep = 0.01;
    p.CurrentNoise = 0.006;
    p.MotorInertia = 1.0e-5;
    p.LoadInertia = 3.0e-5;
    p.Stiffness = StiffnessFor(85, p.MotorInertia, p.LoadInertia);
    p.CouplingDamping = DampingFor(85, 0.05, p.MotorInertia, p.LoadInertia);
    p.CoulombFriction = 0.012;
    p.ViscousFriction = 2e-5;
    p.LoadViscousFriction = 5e-5;
    p.SpeedWindow = 8;
    p.SpeedFilterTime = 1e-3;
    p.Current = {1.8, 2000, 1.8 * kLoopPeriod * 0.5};
    p.Speed = {0.007, 0.12, 0.007 * 0.2e-3};
    p.Position = {1000, 2e5, 0.2};
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
