// The best P and I of a loop on a simulated plant, found by brute force under the tuning
// objective (tuning/auto_tune.h: least IAE per unit of step, overshoot at most 5 %, the last
// tenth of the record within 2 % of the set value), on the noise-free plant. What
// bench/plant_sweep prints and what an automatic tuner is measured against.
//
// The search: a grid of n x n points over the loop page's range of P and I (0 to the limit,
// both ends included), then, from each of the best few grid points, a pattern search that
// looks at the 5 x 5 points around its best so far at half the spacing, again and again. The
// landscapes have cliffs (where a loop starts to ring past the overshoot limit, or hums) and a
// flat floor; several starts keep a narrow valley from being missed.
//
// Pure functions; any thread. Each point is one step test of the plant (well under a
// millisecond for the current and speed tests, about one for a position test).
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "support/plant_step.h"

namespace torvane::bench {

struct GainPoint {
    float P = 0, I = 0;
    StepScore Score;
};

struct SweepOptions {
    int Points = 21;       // n: grid points along P and along I
    int Refinements = 6;   // halvings of the spacing in the pattern search
    int Starts = 3;        // grid points the pattern search starts from
    // When above 0: a point counts as feasible only when it is also feasible in this many
    // tests with the simulated drive's noise (seeds 1, 2, ...); its score stays the
    // noise-free one. The optimum that gains confirmed on a real drive can reach.
    int RobustSeeds = 0;
};

struct Landscape {
    test::PlantStep Step;
    std::vector<float> Ps, Is;     // the grid's values of P (rows) and I (columns)
    std::vector<StepScore> Grid;   // Ps.size() x Is.size(), row after row
    GainPoint Best;                // the best point found, grid and search together
    size_t Tests = 0;              // step tests run
    const StepScore& At(size_t p, size_t i) const { return Grid[p * Is.size() + i]; }
};

Landscape SweepGains(const test::PlantStep& step, const SweepOptions& options = {});

// The order an engineer tunes in: the current loop first (from the drive's factory
// parameters), then the speed loop with the current loop's best gains in the drive, then the
// position loop with both. Each step is the loop page's (test::PageStep).
std::array<Landscape, 3> SweepCascade(const sim::PlantParameters& plant,
                                      const SweepOptions& options = {});

}  // namespace torvane::bench
