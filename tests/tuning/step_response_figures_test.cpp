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
    for (double& a : r.Actual) a = 4.5;
    f = ComputeStepFigures(r);
    EXPECT_EQ(f.Status, FigureStatus::NoStep);
    EXPECT_FALSE(f.RiseTime);
    EXPECT_DOUBLE_EQ(f.SteadyStateError, 0.5);
    EXPECT_FALSE(f.SteadyStateErrorPercent);
    EXPECT_DOUBLE_EQ(f.IntegralAbsoluteError, 0.5 * (kSamples - 1));

    // Too little or broken input computes nothing.
    EXPECT_EQ(ComputeStepFigures(StepResponse{}).Status, FigureStatus::TooFewSamples);
    r = Synthetic(0, 1, [](double t) { return t > 10 ? 1.0 : 0.0; });
    r.X[100] = 3;
    EXPECT_EQ(ComputeStepFigures(r).Status, FigureStatus::InvalidSamples);
    r = Synthetic(0, 1, [](double t) { return t > 10 ? 1.0 : 0.0; });
    r.Actual[200] = NAN;
    EXPECT_EQ(ComputeStepFigures(r).Status, FigureStatus::InvalidSamples);
}

TEST(StepResponseFigures, SmoothingKeepsNoiseFromUnsettlingASettledResponse) {
    // First order with +-2.2 % measurement noise (a fixed pseudo-random sequence).
    uint32_t seed = 12345;
    auto noise = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.044;
    };
    StepResponse r = Synthetic(0, 1, [](double t) { return 1 - std::exp(-t / 20); });
    for (size_t k = 0; k < kSamples; ++k) r.Actual[k] += noise();
    const StepFigures raw = ComputeStepFigures(r, 1);
    const StepFigures smoothed = ComputeStepFigures(r);
    EXPECT_FALSE(raw.Settled);  // single noisy samples leave the 2 % band
    ASSERT_TRUE(smoothed.Settled);
    EXPECT_NEAR(*smoothed.SettlingTime, 20 * std::log(50.0), 12);
    EXPECT_NEAR(*smoothed.RiseTime, 20 * std::log(9.0), 3);
    EXPECT_LT(*smoothed.OvershootPercent, 0.75 * *raw.OvershootPercent);
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
