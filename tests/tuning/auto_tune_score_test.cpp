#include "tuning/auto_tune.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace torvane {
namespace {

constexpr size_t kSamples = 512;
constexpr size_t kStep = 16;

// The set value steps from 0 to `to` at sample 16; the actual value is to * shape(t).
StepResponse Step(double to, const std::function<double(double)>& shape) {
    StepResponse r;
    r.PeriodMs = 0.066;
    for (size_t k = 0; k < kSamples; ++k) {
        const double t = static_cast<double>(k) - static_cast<double>(kStep);
        r.X.push_back(static_cast<double>(k));
        r.Set.push_back(k < kStep ? 0 : to);
        r.Actual.push_back(k < kStep ? 0 : to * shape(t));
    }
    return r;
}

// Second order with damping `zeta` and natural frequency `wn` (per record).
std::function<double(double)> SecondOrder(double zeta, double wn) {
    return [=](double t) {
        if (zeta >= 1) return 1 - (1 + wn * t) * std::exp(-wn * t);
        const double wd = wn * std::sqrt(1 - zeta * zeta);
        return 1 - std::exp(-zeta * wn * t) *
                       (std::cos(wd * t) + zeta / std::sqrt(1 - zeta * zeta) * std::sin(wd * t));
    };
}

TEST(AutoTuneScore, TheObjectiveAndItsConstraints) {
    const struct {
        const char* what;
        std::function<double(double)> shape;
        double to;
        bool feasible, runaway;
        double iae;  // expected IaePerStep, or < 0 for "not checked"
    } cases[] = {
        {"first order", [](double t) { return 1 - std::exp(-t / 40); }, 1000, true, false, 40},
        {"first order, falling", [](double t) { return 1 - std::exp(-t / 40); }, -3, true, false, 40},
        {"critically damped", SecondOrder(1, 0.05), 1, true, false, 2 / 0.05},
        {"4.3 % overshoot", SecondOrder(0.707, 0.05), 1, true, false, -1},
        {"16 % overshoot", SecondOrder(0.5, 0.05), 1, false, false, -1},
        {"stalls 14 % short", [](double t) { return 0.86 * (1 - std::exp(-t / 20)); }, 1000,
         false, false, -1},
        {"still creeping", [](double t) { return 1 - std::exp(-t / 400); }, 1, false, false, -1},
        {"60 % overshoot", SecondOrder(0.16, 0.05), 1, false, true, -1},
        {"goes the wrong way", [](double t) { return -t / 100; }, 1, false, true, -1},
        {"oscillation that grows",
         [](double t) { return 1 - std::exp(0.004 * t) * std::cos(0.2 * t); }, 1, false, true, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const StepScore s = ScoreStep(Step(c.to, c.shape));
        EXPECT_EQ(s.Feasible, c.feasible);
        EXPECT_EQ(s.Runaway, c.runaway);
        if (c.iae >= 0) {
            EXPECT_NEAR(s.Iae, c.iae, 0.02 * c.iae);
        }
        EXPECT_EQ(s.Violation == 0, c.feasible);
        if (c.runaway) {
            EXPECT_TRUE(std::isinf(s.Violation));
        }
    }
    // The allowed overshoot is the caller's.
    const StepResponse sixteen = Step(1, SecondOrder(0.5, 0.05));
    EXPECT_TRUE(ScoreStep(sixteen, 20).Feasible);
    EXPECT_NEAR(ScoreStep(sixteen).Violation, ScoreStep(sixteen).OvershootPercent - 5, 1e-9);

    // A set value that is not one step cannot be judged.
    StepResponse pulse = Step(1, [](double t) { return 1 - std::exp(-t / 40); });
    for (size_t k = 300; k < kSamples; ++k) pulse.Set[k] = 0;
    const StepScore p = ScoreStep(pulse);
    EXPECT_FALSE(p.Feasible);
    EXPECT_TRUE(std::isinf(p.Iae));
    EXPECT_TRUE(std::isinf(p.Violation));
}

TEST(AutoTuneScore, Ordering) {
    const StepScore fast = ScoreStep(Step(1, [](double t) { return 1 - std::exp(-t / 20); }));
    const StepScore slow = ScoreStep(Step(1, [](double t) { return 1 - std::exp(-t / 60); }));
    const StepScore ringing = ScoreStep(Step(1, SecondOrder(0.4, 0.1)));  // 25 %, low IAE
    const StepScore ringingMore = ScoreStep(Step(1, SecondOrder(0.3, 0.1)));
    const StepScore runaway = ScoreStep(Step(1, SecondOrder(0.1, 0.1)));
    ASSERT_TRUE(fast.Feasible && slow.Feasible);
    ASSERT_FALSE(ringing.Feasible);
    ASSERT_LT(ringing.Iae, slow.Iae);
    ASSERT_TRUE(runaway.Runaway);

    EXPECT_TRUE(BetterScore(fast, slow));
    EXPECT_FALSE(BetterScore(slow, fast));
    EXPECT_TRUE(BetterScore(slow, ringing));  // feasible before a lower IAE that rings
    EXPECT_TRUE(BetterScore(ringing, ringingMore));
    EXPECT_TRUE(BetterScore(ringingMore, runaway));
    EXPECT_FALSE(BetterScore(runaway, ringingMore));
    EXPECT_FALSE(BetterScore(runaway, runaway));
    EXPECT_FALSE(BetterScore(fast, fast));
}

}  // namespace
}  // namespace torvane
