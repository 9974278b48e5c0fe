// Automatic loop tuning: what a step test is judged by.
//
// The objective, used alike by the tuner, its tests and the benchmarks (bench/plant_sweep,
// bench/autotune_bench):
//
//   minimise   IaePerStep: the IAE of the step (|set value - actual value| integrated over the
//              record's X from the step instant to the last record), divided by |Step|; in
//              period indexes, so it does not depend on the size of the step or its unit;
//   subject to OvershootPercent <= the allowed overshoot (kDefaultMaxOvershoot, 5 %), and
//              Settled: the last tenth of the record within +-2 % of the step around the set
//              value.
//
// Every quantity is the response figures' (step_response_figures.h, with their default
// smoothing and noise allowance); a noise-free record is judged on its samples as they are.
// A response is Feasible when it has figures (one step that the response follows), does not
// run away, and meets both constraints.
//
// Runaway: after the step instant the smoothed response goes more than half the step beyond
// the set value, or more than half the step the wrong way, or, once it has come within half
// the step of the set value, leaves that band again. A runaway is the worst result there is,
// worse than any response that does not run away.
//
// Pure functions; any thread.
#pragma once

#include <limits>

#include "tuning/step_response_figures.h"

namespace torvane {

constexpr double kDefaultMaxOvershoot = 5.0;  // %
constexpr double kRunawayFraction = 0.5;      // of the step, around the set value

struct StepScore {
    StepFigures Figures;
    // IaePerStep; +infinity when the record has no step figures (no single step, too few or
    // invalid samples).
    double Iae = std::numeric_limits<double>::infinity();
    double OvershootPercent = 0;
    bool Settled = false;
    bool Runaway = false;
    bool Feasible = false;
    // How far an infeasible response misses the constraints (0 when it meets them): the
    // overshoot beyond the allowed one plus the tail's deviation beyond the band, both in % of
    // the step; +infinity for a response without figures or one that runs away.
    double Violation = std::numeric_limits<double>::infinity();
};

StepScore ScoreStep(const StepResponse& response, double maxOvershootPercent = kDefaultMaxOvershoot);

// True when `a` is the better result: feasible before infeasible; among feasible ones the
// lower Iae; among infeasible ones the smaller Violation, then the lower Iae. A runaway or a
// record without figures is never better than anything.
bool BetterScore(const StepScore& a, const StepScore& b);

}  // namespace torvane
