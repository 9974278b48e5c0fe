// The machine behind the simulated drive's loops, and the loops as the drive runs them: a
// q-axis winding under a discrete current loop, two inertias coupled by a compliant gear under
// a speed loop, and a position loop on top. Everything is stepped at the drive's period Ts of
// 66 us, as the firmware would be.
//
// Current loop, once a period k (gains Kp V/A, Ki V/(A s), Kd V s/A):
//   measured   im[k] = q(i[k] + n[k])           q: rounding to the ADC's step, n: noise
//   error      e[k]  = i*[k] - im[k]
//   integral   x[k]  = clamp(x[k-1] + Ki Ts e[k], +-Vmax), kept at x[k-1] while the output
//                     is clamped and e[k] would drive it further (anti-windup by clamping)
//   output     u[k]  = clamp(Kp e[k] + x[k] - Kd (im[k] - im[k-1]) / Ts, +-Vmax)
//   the PWM applies u[k-1] during period k (one period of computation delay), held for the
//   whole period (zero-order hold); Vmax = Vbus / sqrt(3), what space-vector modulation reaches
//   winding    L di/dt = v - R i - Ke wm, solved exactly over the period:
//              i[k+1] = a i[k] + (1 - a) (u[k-1] - Ke wm[k]) / R,  a = exp(-R Ts / L)
//
// Speed loop, once a period (gains Kp A/rpm, Ki A/(rpm s), Kd A s/rpm), its output the current
// loop's set value, limited to the peak current Ipk:
//   encoder    c[k] = floor(thm[k] cpr / 2 pi + phi)   phi: where in a count the rotor starts
//   raw speed  wr[k] = (c[k] - c[k-N]) / (N Ts)         counts differenced over N periods
//   filtered   wf[k] = wf[k-1] + (wr[k] - wf[k-1]) (1 - exp(-Ts / Tf))
//   PI(D) on the set speed against wf (in rpm), D on wf, anti-windup by clamping at +-Ipk
// Mechanics, motor (m) and load (l) coupled by a shaft or belt of stiffness K and damping c,
// integrated in four steps a period (semi-implicit Euler):
//   Jm dwm/dt = Kt i - Tk - Tc sgn(wm) - bm wm      Tk = K (thm - thl) + c (wm - wl)
//   Jl dwl/dt = Tk - bl wl
// The motor sticks while it stands and the torque on it does not exceed the Coulomb friction
// Tc. The pair resonates at fr = sqrt(K (Jm + Jl) / (Jm Jl)) / 2 pi, lightly damped.
//
// Position loop, once a period (gains Kp (counts/s)/count, Ki (counts/s)/(count s), Kd
// (counts/s)/(counts/s)), its output the speed loop's set value, limited to the drive's speed
// limit: PI on the profile's set position against the encoder's counts, D on the difference of
// the profile's speed and the speed loop's filtered speed, anti-windup by clamping.
//
// Gains written to the drive are numbers without units; each plant says what one unit of each
// gain means (GainScale). Gains that are not finite or negative count as 0, gains above the
// loop page's limits as the limit.
//
// Noise: the current measurement's noise and where in a count the rotor starts are drawn from
// PlantNoise's seed, so two tests with different seeds differ slightly, as on a bench. Without
// noise the plant is the same machine with ideal sensors: no noise, no ADC or encoder steps
// (q and floor are left out), so that gains can be compared on the dynamics alone.
//
// Not thread-safe; each stepper belongs to one test.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>

#include "protocol/drive_state.h"

namespace torvane::sim {

constexpr double kLoopPeriod = 66e-6;  // s, Ts
constexpr int kMechanicsSteps = 4;     // integration steps of the mechanics per period

// What one unit of the P, I and D gain of one loop means.
struct GainScale {
    double P = 0, I = 0, D = 0;
};

struct PlantParameters {
    const char* Name = "";         // as --plant takes it
    const char* Description = "";  // one line for --help
    // Winding, q axis.
    double Resistance = 0;      // ohm
    double Inductance = 0;      // H
    double TorqueConstant = 0;  // N m/A, also the back-EMF constant Ke in V s/rad
    double BusVoltage = 48.0;   // V
    // Current measurement.
    double AdcStep = 0;       // A per ADC count
    double CurrentNoise = 0;  // A, standard deviation
    // Mechanics, the load reflected to the motor shaft.
    double MotorInertia = 0;         // kg m2
    double LoadInertia = 0;          // kg m2
    double Stiffness = 0;            // N m/rad
    double CouplingDamping = 0;      // N m s/rad
    double CoulombFriction = 0;      // N m, at the motor
    double ViscousFriction = 0;      // N m s/rad, at the motor
    double LoadViscousFriction = 0;  // N m s/rad, at the load
    // Speed measurement.
    int SpeedWindow = 1;         // N, periods
    double SpeedFilterTime = 0;  // s, Tf
    // The drive's gain units on this machine.
    GainScale Current;   // V/A, V/(A s), V s/A
    GainScale Speed;     // A/rpm, A/(rpm s), A s/rpm
    GainScale Position;  // 1/s, 1/s2, 1

    double TotalInertia() const { return MotorInertia + LoadInertia; }
    double ResonanceHz() const;
    double VoltageLimit() const;  // Vmax
    // Live figures for the drive's motion outside the tests.
    double AccelerationPerAmp() const;  // rpm/s per A, the two inertias together
    double FrictionCurrent() const;     // A that overcome the Coulomb friction
    double ViscousCurrent(double rpm) const;  // A that hold `rpm` against viscous friction
    double ViscousTime() const;         // s, the unloaded shaft's coast-down time constant
};

struct PlantNoise {
    bool Enabled = true;
    uint64_t Seed = 0;
};

// The noise source of one test.
class PlantRandom {
public:
    explicit PlantRandom(const PlantNoise& noise);
    bool Enabled() const { return enabled_; }
    double Gauss(double sigma);  // 0 without noise
    double Uniform01();          // 0.5 without noise

private:
    bool enabled_;
    std::mt19937_64 engine_;
};

// A gain as written, as the loops use it: 0 for nonsense, at most `max`.
double SaneGain(float value, double max);

// The loop page's limits.
constexpr double kCurrentGainMax = 5.0, kCurrentDMax = 1.0;
constexpr double kSpeedGainMax = 5.0;
constexpr double kPositionGainMax = 2.5;

class CurrentLoop {
public:
    // `p`, `i`, `d` as written to the drive.
    CurrentLoop(const PlantParameters& plant, float p, float i, float d, PlantRandom& random);
    // One period: measures, runs the controller on `setAmps`, and lets the winding move under
    // the voltage of the last period against the back-EMF of `motorSpeed` (rad/s).
    void Step(double setAmps, double motorSpeed);
    double Current() const { return current_; }    // A, in the winding
    double Measured() const { return measured_; }  // A, as the drive measured it this period

private:
    const PlantParameters& plant_;
    PlantRandom& random_;
    double kp_, ki_, kd_;
    double decay_, vmax_;
    double current_ = 0, measured_ = 0, lastMeasured_ = 0;
    double integral_ = 0, output_ = 0, applied_ = 0;
};

// The two inertias, their coupling and friction.
class Mechanics {
public:
    explicit Mechanics(const PlantParameters& plant);
    // One period under the motor torque `torque` (N m).
    void Step(double torque);
    double MotorSpeed() const { return wm_; }  // rad/s
    double MotorAngle() const { return thm_; }  // rad
    double LoadSpeed() const { return wl_; }
    double LoadAngle() const { return thl_; }

private:
    const PlantParameters& plant_;
    double wm_ = 0, thm_ = 0, wl_ = 0, thl_ = 0;
};

// The drive's speed measurement from its encoder.
class SpeedSensor {
public:
    SpeedSensor(const PlantParameters& plant, double countsPerRev, PlantRandom& random);
    // One period with the motor at `angle` (rad).
    void Step(double angle);
    double Counts() const { return counts_; }  // from where the test started; whole with noise
    double Rpm() const { return rpm_; }         // filtered

private:
    bool quantised_;
    double cpr_, phase_, filter_;
    size_t window_;
    std::array<double, 64> history_{};
    size_t at_ = 0;
    double counts_ = 0;
    double rpm_ = 0;
};

class SpeedLoop {
public:
    // The drive's present gains of the current and the speed loop; `peakCurrent` in A.
    SpeedLoop(const PlantParameters& plant, const LoopGroup& gains, double peakCurrent,
              double countsPerRev, PlantRandom& random);
    // One period towards `setRpm`.
    void Step(double setRpm);
    double Rpm() const { return sensor_.Rpm(); }  // measured, filtered
    double Counts() const { return sensor_.Counts(); }
    double Current() const { return current_.Current(); }  // A, in the winding
    const Mechanics& Shaft() const { return mechanics_; }

private:
    const PlantParameters& plant_;
    CurrentLoop current_;
    Mechanics mechanics_;
    SpeedSensor sensor_;
    double kp_, ki_, kd_, peak_;
    double integral_ = 0, lastRpm_ = 0;
};

class PositionLoop {
public:
    // `speedLimitRpm` bounds the speed set value.
    PositionLoop(const PlantParameters& plant, const LoopGroup& gains, double peakCurrent,
                 double countsPerRev, double speedLimitRpm, PlantRandom& random);
    // One period towards `setCounts`, which moves at `setSpeed` counts/s.
    void Step(double setCounts, double setSpeed);
    double Counts() const { return speed_.Counts(); }
    double Rpm() const { return speed_.Rpm(); }

private:
    SpeedLoop speed_;
    double kp_, ki_, kd_, limit_, cpr_;
    double integral_ = 0;
};

}  // namespace torvane::sim
