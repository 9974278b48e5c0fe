// The simulated plants answer gains as machines do: too little gain is sluggish, too much
// rings or hums, and the best gains, by the tuning objective, lie inside the loop page's
// limits. Coarse sweeps through the step test model, on the noise-free plant, in the order an
// engineer tunes: current loop, then speed, then position.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "sim/plant_presets.h"
#include "support/plant_step.h"

namespace torvane::sim {
namespace {

using test::GainLimit;
using test::PageStep;
using test::PlantStep;
using test::ScoreGains;

struct Point {
    float P = 0, I = 0;
    StepScore Score;
};

// Fractions of the page's range: both ends and a few points between.
constexpr double kGrid[] = {0, 0.1, 0.25, 0.4, 0.6, 0.8, 1.0};

Point BestOnGrid(const PlantStep& step) {
    const double limit = GainLimit(step.Loop);
    Point best;
    bool have = false;
    for (double fp : kGrid) {
        for (double fi : kGrid) {
            const float p = static_cast<float>(fp * limit), i = static_cast<float>(fi * limit);
            const StepScore s = ScoreGains(step, p, i);
            if (!have || BetterScore(s, best.Score)) best = {p, i, s};
            have = true;
        }
    }
    return best;
}

// What a response that is pushed too hard looks like to the objective.
bool Rings(const StepScore& s) {
    return s.Runaway || !s.Settled || s.OvershootPercent >= 15.0;
}

std::string What(const StepScore& s) {
    return "IAE " + std::to_string(s.Iae) + ", overshoot " + std::to_string(s.OvershootPercent) +
           (s.Settled ? " %, settled" : " %, not settled") + (s.Runaway ? ", runs away" : "");
}

TEST(PlantPhysics, TheBestGainsLieInsideTheRangeAndItsTopRings) {
    for (const PlantParameters& plant : PlantPresets()) {
        DriveParameters params = FactoryParameters();
        for (LoopTest loop : kLoopTests) {
            SCOPED_TRACE(std::string(plant.Name) + " " + TraitsOf(loop).Name);
            const PlantStep step = PageStep(plant, loop, params);
            const double limit = GainLimit(loop);
            const Point best = BestOnGrid(step);
            ASSERT_TRUE(best.Score.Feasible) << What(best.Score);
            EXPECT_GT(best.P, 0);
            EXPECT_LT(best.P, limit);
            EXPECT_GT(best.I, 0);
            EXPECT_LT(best.I, limit);

            const float top = static_cast<float>(limit);
            const StepScore topP = ScoreGains(step, top, best.I);
            const StepScore topI = ScoreGains(step, best.P, top);
            EXPECT_TRUE(Rings(topP)) << "P at the top: " << What(topP);
            EXPECT_TRUE(Rings(topI)) << "I at the top: " << What(topI);

            // The drive's factory gains are modest: tuning halves the IAE at least.
            const LoopGains factory = LoopGainsOf(FactoryParameters().Loop, loop);
            const StepScore atFactory = ScoreGains(step, factory.P, factory.I);
            EXPECT_LT(best.Score.Iae, 0.5 * atFactory.Iae) << What(atFactory);

            params = test::WithGains(params, loop, best.P, best.I);
        }
    }
}

TEST(PlantPhysics, EachMachineHasALightlyDampedResonance) {
    // A short knock of torque on the free machine (no friction), then the coupling's twist
    // rings: between 80 and 300 Hz, for many cycles.
    for (const PlantParameters& preset : PlantPresets()) {
        SCOPED_TRACE(preset.Name);
        PlantParameters plant = preset;
        plant.CoulombFriction = plant.ViscousFriction = plant.LoadViscousFriction = 0;
        Mechanics m(plant);
        m.Step(0.1);
        std::vector<double> twist;
        for (int k = 0; k < static_cast<int>(0.2 / kLoopPeriod); ++k) {
            m.Step(0);
            twist.push_back(m.MotorAngle() - m.LoadAngle());
        }
        // Four cycles from the first time the twist passes its rest (0) to the ninth.
        std::vector<size_t> crossings;
        for (size_t k = 1; k < twist.size(); ++k) {
            if (twist[k - 1] * twist[k] < 0) crossings.push_back(k);
        }
        ASSERT_GE(crossings.size(), 11u);
        const double hz = 4.0 / (static_cast<double>(crossings[8] - crossings[0]) * kLoopPeriod);
        EXPECT_GE(hz, 80) << plant.ResonanceHz();
        EXPECT_LE(hz, 300);
        auto swing = [&](size_t from, size_t to) {
            double most = 0;
            for (size_t k = from; k < to; ++k) most = std::max(most, std::abs(twist[k]));
            return most;
        };
        const double first = swing(crossings[0], crossings[2]);
        const double fifth = swing(crossings[8], crossings[10]);
        EXPECT_GT(fifth, 0.1 * first) << "dies away within a few cycles";
        EXPECT_LT(fifth, 0.95 * first) << "does not die away";
    }
}

TEST(PlantPhysics, TheSpeedLoopActsThroughTheCurrentLoop) {
    // Without current gains the winding gets no voltage: whatever the speed loop asks for, the
    // motor stays where it is.
    for (const PlantParameters& plant : PlantPresets()) {
        SCOPED_TRACE(plant.Name);
        DriveParameters params = test::WithGains(FactoryParameters(), LoopTest::Current, 0, 0);
        const StepResponse r = test::RunStep(PageStep(plant, LoopTest::Speed, params), 2.0f, 1.0f);
        ASSERT_FALSE(r.Actual.empty());
        for (double rpm : r.Actual) ASSERT_EQ(rpm, 0.0);
        // With them it turns.
        params = FactoryParameters();
        const StepScore s = ScoreGains(PageStep(plant, LoopTest::Speed, params), 2.0f, 1.0f);
        EXPECT_EQ(s.Figures.Status, FigureStatus::Valid);
    }
}

TEST(PlantPhysics, TheCurrentLoopRunsAgainstTheBusVoltage) {
    // However hard the loop pushes, the winding current rises no faster than the bus lets it:
    // di/dt <= Vmax / L.
    for (const PlantParameters& plant : PlantPresets()) {
        SCOPED_TRACE(plant.Name);
        PlantStep step = PageStep(plant, LoopTest::Current);
        step.Test.CurrentAmplitude = 5.0f;
        const StepResponse r = test::RunStep(step, 5.0f, 0.0f);
        const double perPeriod = plant.VoltageLimit() / plant.Inductance * kLoopPeriod;
        for (size_t k = 1; k < r.Actual.size(); ++k) {
            ASSERT_LE(r.Actual[k] - r.Actual[k - 1], perPeriod * 1.001) << k;
        }
    }
}

}  // namespace
}  // namespace torvane::sim
