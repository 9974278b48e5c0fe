// Loops the tuner has never seen: a discrete PI controller (as a drive runs it: one period of
// computation delay, the integral clamped with the output) around a plant of its own, with the
// drive's gain unit scaled by `Scale` (the controller applies Scale x P and Scale x I, so the
// best gains as entered lie 1/Scale away from where they are at Scale 1).
//
// Plants, stepped once a period, with K the gain and Tau the time constant in periods:
//   FirstOrder:   y' = (K u - y) / Tau
//   Delayed:      the same, its input held back by Delay periods
//   Integrating:  y' = K u / Tau, with viscous loss y / (20 Tau)
//   Resonant:     the first order plant seen through a lightly damped mode (its period
//                 ModePeriods, damping ModeDamping)
// The record: kSamples samples, the set value stepping from 0 to kStepSize at kStepAt; the actual
// value as measured, with Gaussian noise of NoiseFraction x kStepSize from a seed.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstdint>
#include <deque>
#include <random>

#include "tuning/auto_tune.h"

namespace torvane::test {

enum class SyntheticPlant { FirstOrder, Delayed, Integrating, Resonant };

struct SyntheticLoop {
    SyntheticPlant Plant = SyntheticPlant::FirstOrder;
    double Scale = 1.0;
    double K = 10.0;
    double Tau = 30.0;
    int Delay = 6;
    double ModePeriods = 12.0;
    double ModeDamping = 0.08;
    double OutputLimit = 4.0;  // of the steady output a step needs
    double NoiseFraction = 0.0;
};

constexpr int kSamples = 600;
constexpr int kStepAt = 20;
constexpr double kStepSize = 1000.0;

inline StepResponse RunSyntheticStep(const SyntheticLoop& loop, const LoopGains& gains,
                                     uint64_t seed = 0) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> normal(0.0, loop.NoiseFraction * kStepSize);
    const double limit = loop.OutputLimit * kStepSize / loop.K;
    const double p = loop.Scale * gains.P;
    const double i = loop.Scale * gains.I;
    std::deque<double> held(static_cast<size_t>(loop.Plant == SyntheticPlant::Delayed ? loop.Delay : 0) + 1, 0.0);
    double y = 0, integral = 0, mode = 0, modeRate = 0;
    const double w = 2 * std::numbers::pi / loop.ModePeriods;
    StepResponse r;
    for (int k = 0; k < kSamples; ++k) {
        const double set = k < kStepAt ? 0 : kStepSize;
        const double out = loop.Plant == SyntheticPlant::Resonant ? mode : y;
        const double measured = out + (loop.NoiseFraction > 0 ? normal(random) : 0.0);
        r.X.push_back(k);
        r.Set.push_back(set);
        r.Actual.push_back(measured);
        const double e = set - measured;
        integral = std::clamp(integral + i * e, -limit, limit);
        const double u = std::clamp(p * e + integral, -limit, limit);
        held.push_back(u);  // applied next period (and Delay periods later for Delayed)
        const double applied = held.front();
        held.pop_front();
        switch (loop.Plant) {
            case SyntheticPlant::FirstOrder:
            case SyntheticPlant::Delayed:
                y += (loop.K * applied - y) / loop.Tau;
                break;
            case SyntheticPlant::Integrating:
                y += (loop.K * applied - y / 20.0) / loop.Tau;
                break;
            case SyntheticPlant::Resonant: {
                y += (loop.K * applied - y) / loop.Tau;
                // The mode in ten sub-steps: it rings faster than a period allows Euler.
                for (int s = 0; s < 10; ++s) {
                    const double h = 0.1;
                    modeRate += h * (w * w * (y - mode) - 2 * loop.ModeDamping * w * modeRate);
                    mode += h * modeRate;
                }
                break;
            }
        }
        if (!std::isfinite(y) || std::abs(y) > 1e12) y = std::copysign(1e12, y);
    }
    return r;
}

}  // namespace torvane::test
