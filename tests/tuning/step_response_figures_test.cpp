#include "tuning/step_response_figures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace torvane {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr size_t kSamples = 512;
constexpr size_t kStep = 16;

// A response sampled at X = 0, 1, 2 ...: the set value steps from `from` to `to` at sample 16,
// the actual value is from + (to - from) * shape(t), t the time since the step.
StepResponse Synthetic(double from, double to, const std::function<double(double)>& shape,
                       double periodMs = 0.066) {
    StepResponse r;
    r.PeriodMs = periodMs;
    for (size_t k = 0; k < kSamples; ++k) {
        const double t = static_cast<double>(k) - static_cast<double>(kStep);
        r.X.push_back(static_cast<double>(k));
        r.Set.push_back(k < kStep ? from : to);
        r.Actual.push_back(from + (to - from) * (k < kStep ? 0.0 : shape(t)));
    }
    return r;
}

// Earliest t in [a, b] at which g(t) >= level, for a g that crosses it once there.
double Bisect(const std::function<double(double)>& g, double a, double b, double level) {
    for (int i = 0; i < 60; ++i) {
        const double m = 0.5 * (a + b);
        (g(m) >= level ? b : a) = m;
    }
    return 0.5 * (a + b);
}

TEST(StepResponseFigures, FirstOrderResponse) {
    const double tau = 50;
    auto shape = [&](double t) { return 1 - std::exp(-t / tau); };
    for (const auto& [from, to] : {std::pair{0.0, 1.0}, std::pair{1000.0, 200.0}}) {
        SCOPED_TRACE(to);
        const StepFigures f = ComputeStepFigures(Synthetic(from, to, shape), 1);
        ASSERT_EQ(f.Status, FigureStatus::Valid);
        EXPECT_EQ(f.StepIndex, kStep);
        EXPECT_EQ(f.StepX, 16.0);
        EXPECT_DOUBLE_EQ(f.InitialValue, from);
        EXPECT_DOUBLE_EQ(f.Step, to - from);
        ASSERT_TRUE(f.RiseTime);
        EXPECT_NEAR(*f.RiseTime, tau * std::log(9.0), 0.1);
        EXPECT_NEAR(*f.Ms(f.RiseTime), tau * std::log(9.0) * 0.066, 0.01);
        EXPECT_DOUBLE_EQ(*f.OvershootPercent, 0.0);
        EXPECT_TRUE(f.Settled);
        ASSERT_TRUE(f.SettlingTime);
        EXPECT_NEAR(*f.SettlingTime, tau * std::log(50.0), 0.5);
        EXPECT_NEAR(f.SteadyStateError, 0.0, 1e-3 * std::abs(to - from));
        EXPECT_NEAR(*f.SteadyStateErrorPercent, 0.0, 0.1);
        // The error is |to - from| exp(-t / tau): its integral over the record is ~ tau.
        EXPECT_NEAR(f.IntegralAbsoluteError, tau * std::abs(to - from), 0.01 * std::abs(to - from));
        EXPECT_NEAR(*f.Ms(f.IntegralAbsoluteError), f.IntegralAbsoluteError * 0.066, 1e-9);
    }
}

TEST(StepResponseFigures, SecondOrderUnderdampedResponse) {
    const double zeta = 0.3, wn = 0.1;
    const double wd = wn * std::sqrt(1 - zeta * zeta);
    auto shape = [&](double t) {
        return 1 - std::exp(-zeta * wn * t) *
                       (std::cos(wd * t) + zeta / std::sqrt(1 - zeta * zeta) * std::sin(wd * t));
    };
    const StepFigures f = ComputeStepFigures(Synthetic(0, 2, shape), 1);
    ASSERT_EQ(f.Status, FigureStatus::Valid);
    const double overshoot = 100 * std::exp(-kPi * zeta / std::sqrt(1 - zeta * zeta));
    EXPECT_NEAR(*f.OvershootPercent, overshoot, 0.05);  // 37.23 %
    const double peakTime = kPi / wd;
    const double rise = Bisect(shape, 0, peakTime, 0.9) - Bisect(shape, 0, peakTime, 0.1);
    EXPECT_NEAR(*f.RiseTime, rise, 0.05);
    // The last time the response leaves the 2 % band: scan finely, then settle by bisection.
    double last = 0;
    for (double t = 0; t < 400; t += 0.01) {
        if (std::abs(shape(t) - 1) > 0.02) last = t;
    }
    const double settle =
        Bisect([&](double t) { return -std::abs(shape(t) - 1); }, last, last + 0.01, -0.02);
    ASSERT_TRUE(f.SettlingTime);
    EXPECT_NEAR(*f.SettlingTime, settle, 0.5);
    // Without a known period the times are in period indexes only.
    const StepFigures noMs = ComputeStepFigures(Synthetic(0, 2, shape, 0), 1);
    EXPECT_FALSE(noMs.Ms(noMs.RiseTime));
    EXPECT_EQ(noMs.RiseTime, f.RiseTime);
}

TEST(StepResponseFigures, ResponsesThatNeverSettle) {
    const struct {
        const char* what;
        std::function<double(double)> shape;
    } cases[] = {
        {"undamped oscillation", [](double t) { return 1 - std::cos(0.2 * t); }},
        {"still creeping", [](double t) { return 1 - std::exp(-t / 2000); }},
        {"ramp", [](double t) { return t / 400; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const StepFigures f = ComputeStepFigures(Synthetic(0, 1, c.shape), 1);
        ASSERT_EQ(f.Status, FigureStatus::Valid);
        EXPECT_FALSE(f.Settled);
        EXPECT_FALSE(f.SettlingTime);
    }
    // The creeping response never reaches 90 % of the step: no rise time, and its error shows.
    const StepFigures creep =
        ComputeStepFigures(Synthetic(0, 1, [](double t) { return 1 - std::exp(-t / 2000); }), 1);
    EXPECT_FALSE(creep.RiseTime);
    EXPECT_GT(*creep.SteadyStateErrorPercent, 75);
    // The oscillation reaches twice the step: 100 % overshoot.
    const StepFigures osc =
        ComputeStepFigures(Synthetic(0, 1, [](double t) { return 1 - std::cos(0.2 * t); }), 1);
    EXPECT_NEAR(*osc.OvershootPercent, 100, 0.5);
}

TEST(StepResponseFigures, FlatOrNoStepGivesOnlyTheErrors) {
    // The motor does not move: flat; the error is the whole step over the whole record.
    StepFigures f = ComputeStepFigures(Synthetic(0, 10, [](double) { return 0.0; }));
    EXPECT_EQ(f.Status, FigureStatus::Flat);
    EXPECT_FALSE(f.RiseTime);
    EXPECT_FALSE(f.OvershootPercent);
    EXPECT_FALSE(f.SettlingTime);
    EXPECT_DOUBLE_EQ(f.SteadyStateError, 10);
    EXPECT_DOUBLE_EQ(*f.SteadyStateErrorPercent, 100);
    EXPECT_DOUBLE_EQ(f.IntegralAbsoluteError, 10.0 * (kSamples - 1 - kStep));
    // Moving the wrong way is no better.
    f = ComputeStepFigures(Synthetic(0, 10, [](double) { return -0.5; }));
    EXPECT_EQ(f.Status, FigureStatus::Flat);

    // A set value that never changes has no step.
    StepResponse r = Synthetic(5, 5, [](double) { return 0.0; });
    for (double& a : r.Actual) a = 4.75;
    f = ComputeStepFigures(r);
    EXPECT_EQ(f.Status, FigureStatus::NoStep);
    EXPECT_FALSE(f.RiseTime);
    EXPECT_DOUBLE_EQ(f.SteadyStateError, 0.25);
    EXPECT_FALSE(f.SteadyStateErrorPercent);
    EXPECT_DOUBLE_EQ(f.IntegralAbsoluteError, 0.25 * (kSamples - 1));

    // Too little or broken input computes nothing.
    EXPECT_EQ(ComputeStepFigures(StepResponse{}).Status, FigureStatus::TooFewSamples);
    r = Synthetic(0, 1, [](double t) { return t > 10 ? 1.0 : 0.0; });
    r.X[100] = 3;
    EXPECT_EQ(ComputeStepFigures(r).Status, FigureStatus::InvalidSamples);
    r = Synthetic(0, 1, [](double t) { return t > 10 ? 1.0 : 0.0; });
    r.Actual[200] = NAN;
    EXPECT_EQ(ComputeStepFigures(r).Status, FigureStatus::InvalidSamples);
}

// Uniform noise of +-`half` (a fixed pseudo-random sequence) on every sample.
void AddNoise(StepResponse& r, double half, uint32_t seed = 12345) {
    for (double& a : r.Actual) {
        seed = seed * 1664525u + 1013904223u;
        a += (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 2 * half;
    }
}

TEST(StepResponseFigures, NoiseIsNeitherOvershootNorUnsettling) {
    // An overdamped response with noise of the simulated drive's size (+-2.2 % of the step):
    // single samples leave the 2 % band and the peak of the noise lies above the set value.
    StepResponse r = Synthetic(0, 1, [](double t) { return 1 - std::exp(-t / 20); });
    AddNoise(r, 0.022);
    for (int smoothing : {1, kDefaultSmoothing}) {
        SCOPED_TRACE(smoothing);
        const StepFigures f = ComputeStepFigures(r, smoothing);
        ASSERT_EQ(f.Status, FigureStatus::Valid);
        EXPECT_NEAR(f.Noise, 0.044 / std::sqrt(12.0), 0.004);  // from the 16 records before the step
        EXPECT_EQ(*f.OvershootPercent, 0);
        ASSERT_TRUE(f.Settled);
        EXPECT_NEAR(*f.SettlingTime, 20 * std::log(50.0), 20);
    }
    const StepFigures smoothed = ComputeStepFigures(r);
    EXPECT_NEAR(*smoothed.RiseTime, 20 * std::log(9.0), 3);

    // Real overshoot stands out of the same noise: 20 % of it, 10 % under 10 % noise.
    const double zeta = 0.456;  // 20 % overshoot
    auto ringing = [&](double t) {
        const double wn = 0.05, wd = wn * std::sqrt(1 - zeta * zeta);
        return 1 - std::exp(-zeta * wn * t) *
                       (std::cos(wd * t) + zeta / std::sqrt(1 - zeta * zeta) * std::sin(wd * t));
    };
    StepResponse ring = Synthetic(0, 1, ringing);
    AddNoise(ring, 0.022);
    const StepFigures rf = ComputeStepFigures(ring);
    ASSERT_EQ(rf.Status, FigureStatus::Valid);
    EXPECT_NEAR(*rf.OvershootPercent, 20, 1.5);

    // A record that starts at the step instant estimates its noise from its tail.
    StepResponse atZero = Synthetic(0, 1, [](double t) { return 1 - std::exp(-t / 20); });
    atZero.Set.assign(atZero.Set.size(), 1.0);
    for (size_t k = 0; k < kSamples; ++k)
        atZero.Actual[k] = 1 - std::exp(-static_cast<double>(k) / 20);
    AddNoise(atZero, 0.022);
    const StepFigures z = ComputeStepFigures(atZero);
    ASSERT_EQ(z.Status, FigureStatus::Valid);
    EXPECT_NEAR(z.Noise, 0.044 / std::sqrt(12.0), 0.004);
    EXPECT_EQ(*z.OvershootPercent, 0);
    EXPECT_TRUE(z.Settled);
}

TEST(StepResponseFigures, SettlingIsAroundTheSetValue) {
    // Responses whose own ending is steady but off the set value: never settled, and the
    // steady-state error says which way they missed, rising and falling alike.
    const struct {
        const char* what;
        double from, to, reached;  // `reached`: where the response ends, in units of the step
        double errorPercent;       // positive: short of the set value
    } cases[] = {
        {"speed stuck 14 % short", 0, 1000, 0.86, 14},
        {"P-only current loop at 67 %", 0, 2, 0.67, 33},
        {"falling step stuck short", 1000, 200, 0.875, 12.5},
        {"ends 3 % beyond", 0, 1000, 1.03, -3},
        {"falling step ends beyond", 1000, 200, 1.03, -3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const double reached = c.reached;
        const StepFigures f = ComputeStepFigures(
            Synthetic(c.from, c.to, [&](double t) { return reached * (1 - std::exp(-t / 20)); }), 1);
        ASSERT_EQ(f.Status, FigureStatus::Valid);
        EXPECT_FALSE(f.Settled);
        EXPECT_FALSE(f.SettlingTime);
        EXPECT_NEAR(*f.SteadyStateErrorPercent, c.errorPercent, 0.01);
        EXPECT_NEAR(f.SteadyStateError, c.errorPercent / 100 * std::abs(c.to - c.from), 0.01);
        EXPECT_NEAR(*f.TailDeviationPercent, std::abs(c.errorPercent), 0.01);
    }
    // Within 2 % of the set value it is settled, whichever side.
    for (double reached : {0.985, 1.015}) {
        const StepFigures f = ComputeStepFigures(
            Synthetic(0, 1, [&](double t) { return reached * (1 - std::exp(-t / 20)); }), 1);
        EXPECT_TRUE(f.Settled) << reached;
    }
}

// The set value of each sample from a function of the record number.
StepResponse WithSet(const std::function<double(size_t)>& set,
                     const std::function<double(size_t)>& actual) {
    StepResponse r;
    r.PeriodMs = 0.066;
    for (size_t k = 0; k < kSamples; ++k) {
        r.X.push_back(static_cast<double>(k));
        r.Set.push_back(set(k));
        r.Actual.push_back(actual(k));
    }
    return r;
}

TEST(StepResponseFigures, OnlyASingleStepHasStepFigures) {
    auto lag = [](const std::function<double(size_t)>& set) {
        // The actual value a first-order lag of the set value (tau 10 records).
        auto out = std::make_shared<std::vector<double>>();
        double y = 0;
        for (size_t k = 0; k < kSamples; ++k) {
            y += (set(k) - y) / 10;
            out->push_back(y);
        }
        return [out](size_t k) { return (*out)[k]; };
    };
    const struct {
        const char* what;
        std::function<double(size_t)> set;
        FigureStatus status;
        size_t stepIndex;  // the first change of the set value
    } cases[] = {
        {"pulse", [](size_t k) { return k >= 16 && k < 100 ? 1.0 : 0.0; },
         FigureStatus::NotSingleStep, 16},
        {"sinusoid", [](size_t k) { return std::sin(2 * kPi * static_cast<double>(k) / 64); },
         FigureStatus::NotSingleStep, 1},
        {"two steps", [](size_t k) { return k < 16 ? 0.0 : k < 200 ? 500.0 : 1000.0; },
         FigureStatus::NotSingleStep, 16},
        {"step, then back part of the way",
         [](size_t k) { return k < 16 ? 0.0 : k < 200 ? 1000.0 : 900.0; },
         FigureStatus::NotSingleStep, 16},
        {"one step", [](size_t k) { return k < 16 ? 0.0 : 1000.0; }, FigureStatus::Valid, 16},
        {"ramp in whole counts, pausing",
         [](size_t k) {
             const double t = std::clamp(static_cast<double>(k) - 16, 0.0, 300.0);
             return std::floor(t * t / 900);  // 0 .. 100 counts, slow at first
         },
         FigureStatus::Valid, 46},
        {"ramp down", [](size_t k) { return -std::clamp(static_cast<double>(k) - 16, 0.0, 100.0) * 50; },
         FigureStatus::Valid, 17},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const StepFigures f = ComputeStepFigures(WithSet(c.set, lag(c.set)), 1);
        EXPECT_EQ(f.Status, c.status);
        EXPECT_EQ(f.StepIndex, c.stepIndex);
        EXPECT_GT(f.IntegralAbsoluteError, 0);
        if (c.status == FigureStatus::NotSingleStep) {
            EXPECT_FALSE(f.RiseTime);
            EXPECT_FALSE(f.OvershootPercent);
            EXPECT_FALSE(f.SettlingTime);
            EXPECT_FALSE(f.IaePerStep);
            EXPECT_EQ(FormatStepFigures(f).front(),
                      "The set value is not a single step: no rise, overshoot or settling");
        } else {
            EXPECT_TRUE(f.Settled);
            EXPECT_NEAR(*f.IaePerStep, f.IntegralAbsoluteError / std::abs(f.Step), 1e-9);
        }
    }
}

TEST(StepResponseFigures, AStepAtRecordZeroCountsFromTheFirstSample) {
    const double tau = 50;
    StepResponse r = WithSet([](size_t) { return 2.0; },
                             [&](size_t k) { return 2 * (1 - std::exp(-static_cast<double>(k) / tau)); });
    const StepFigures f = ComputeStepFigures(r, 1);
    ASSERT_EQ(f.Status, FigureStatus::Valid);
    EXPECT_EQ(f.StepIndex, 0u);
    EXPECT_DOUBLE_EQ(f.InitialValue, 0);
    EXPECT_DOUBLE_EQ(f.Step, 2);
    EXPECT_NEAR(*f.RiseTime, tau * std::log(9.0), 0.1);
    EXPECT_NEAR(*f.SettlingTime, tau * std::log(50.0), 0.5);
    EXPECT_NEAR(*f.IaePerStep, tau, 0.5);

    // A response that starts on its set value and stays there has no step.
    r = WithSet([](size_t) { return 2.0; }, [](size_t) { return 2.0; });
    EXPECT_EQ(ComputeStepFigures(r).Status, FigureStatus::NoStep);
    AddNoise(r, 0.05);
    EXPECT_EQ(ComputeStepFigures(r).Status, FigureStatus::NoStep);
}

TEST(StepResponseFigures, FormattedLines) {
    const StepFigures f =
        ComputeStepFigures(Synthetic(0, 1, [](double t) { return 1 - std::exp(-t / 50); }), 1);
    const auto lines = FormatStepFigures(f);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Rise time (10-90 %): 109.9 periods (7.251 ms)");
    EXPECT_EQ(lines[1], "Overshoot: 0 %");
    EXPECT_EQ(lines[2].rfind("Settling time (2 %): 195", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3].rfind("Steady-state error: ", 0), 0u);
    EXPECT_EQ(lines[4], "Integral of absolute error: 50 x period (3.3 x ms)");

    const StepFigures creep =
        ComputeStepFigures(Synthetic(0, 1, [](double t) { return 1 - std::exp(-t / 2000); }), 1);
    const auto creepLines = FormatStepFigures(creep);
    EXPECT_EQ(creepLines[0], "Rise time (10-90 %): not reached");
    EXPECT_EQ(creepLines[2], "Settling time (2 %): not settled within the record");
}

}  // namespace
}  // namespace torvane
