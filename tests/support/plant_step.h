// One loop's step test on a simulated plant, in-process, as the tool reads it back: the
// records decoded into a StepResponse, judged by the tuning objective. Shared by the physics
// tests and the plant benchmarks; the programs that use it link torvane_sim.
//
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/plant_model.h"
#include "sim/register_model.h"
#include "sim/step_test_model.h"
#include "tuning/auto_tune.h"
#include "tuning/loop_gain_check.h"
#include "tuning/loop_test_kind.h"
#include "tuning/step_test_analysis.h"

namespace torvane::test {

// A step test of `Loop` on `Plant` with the drive's parameters `Params` (which carry the other
// loops' gains, the inner loops' above all) and the test's set-points.
struct PlantStep {
    const sim::PlantParameters* Plant = nullptr;
    LoopTest Loop = LoopTest::Current;
    sim::DriveParameters Params = sim::FactoryParameters();
    sim::TestParameters Test;
};

// The loop page's way of testing, with the drive's factory parameters: a current step of 1 A,
// a speed step of 1000 rpm, and a position move of 36 degrees of the drive's 10000-count
// encoder (1000 counts) at up to 1000 rpm with the drive's own acceleration (what the page
// sends from the application parameters).
inline PlantStep PageStep(const sim::PlantParameters& plant, LoopTest loop,
                          const sim::DriveParameters& params = sim::FactoryParameters()) {
    PlantStep s;
    s.Plant = &plant;
    s.Loop = loop;
    s.Params = params;
    s.Test.CurrentType = 0;
    s.Test.CurrentAmplitude = 1.0f;
    s.Test.SpeedSetSpeed = 1000;
    s.Test.PositionAcceleration = params.Application.Acceleration;
    s.Test.PositionMaxSpeed = 1000;
    s.Test.PositionTarget = 1000;
    return s;
}

// The page's upper limit of the P (or I) gain of `loop`.
inline double GainLimit(LoopTest loop) {
    return LoopGainBound(loop, GainTerm::P).Max;
}

// `params` with the P and I of `loop` replaced.
inline sim::DriveParameters WithGains(sim::DriveParameters params, LoopTest loop, float p,
                                      float i) {
    LoopGains gains = LoopGainsOf(params.Loop, loop);
    gains.P = p;
    gains.I = i;
    StoreLoopGains(params.Loop, loop, gains);
    return params;
}

// The test with the loop's P and I set to `p` and `i` (D as in Params); noise-free unless told.
inline StepResponse RunStep(const PlantStep& s, float p, float i,
                            const sim::PlantNoise& noise = {false, 0}) {
    const sim::DriveParameters params = WithGains(s.Params, s.Loop, p, i);
    std::vector<uint8_t> capture(sim::kCaptureBytes);
    size_t bytes = 0;
    switch (s.Loop) {
        case LoopTest::Current:
            bytes = sim::RunCurrentStepTest(*s.Plant, params, s.Test, noise, capture.data());
            break;
        case LoopTest::Speed:
            bytes = sim::RunSpeedStepTest(*s.Plant, params, s.Test, noise, capture.data());
            break;
        case LoopTest::Position:
            bytes = sim::RunPositionStepTest(*s.Plant, params, s.Test, 0, noise, capture.data());
            break;
    }
    return ResponseFromCapture(s.Loop, capture, bytes);
}

inline StepScore ScoreGains(const PlantStep& s, float p, float i,
                            const sim::PlantNoise& noise = {false, 0}) {
    return ScoreStep(RunStep(s, p, i, noise));
}

}  // namespace torvane::test
