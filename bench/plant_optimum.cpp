#include "plant_optimum.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace torvane::bench {

namespace {

// A point of the search, kept in double so that repeated halving stays exact; the drive takes
// floats.
struct Probe {
    double P = 0, I = 0;
    StepScore Score;
};

}  // namespace

Landscape SweepGains(const test::PlantStep& step, const SweepOptions& options) {
    Landscape land;
    land.Step = step;
    const double limit = test::GainLimit(step.Loop);
    const int n = std::max(2, options.Points);
    const double spacing = limit / (n - 1);
    for (int k = 0; k < n; ++k) {
        land.Ps.push_back(static_cast<float>(spacing * k));
        land.Is.push_back(static_cast<float>(spacing * k));
    }
    auto score = [&](double p, double i) {
        ++land.Tests;
        StepScore s = test::ScoreGains(step, static_cast<float>(p), static_cast<float>(i));
        // Gains that meet the constraints only without noise are on a knife's edge.
        for (int seed = 1; s.Feasible && seed <= options.RobustSeeds; ++seed) {
            ++land.Tests;
            const StepScore noisy = test::ScoreGains(step, static_cast<float>(p),
                                                     static_cast<float>(i),
                                                     {true, static_cast<uint64_t>(seed)});
            if (!noisy.Feasible) {
                s.Feasible = false;
                s.Violation = std::max(noisy.Violation, std::numeric_limits<double>::min());
            }
        }
        return s;
    };
    for (float p : land.Ps) {
        for (float i : land.Is) land.Grid.push_back(score(p, i));
    }

    std::vector<size_t> order(land.Grid.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return BetterScore(land.Grid[a], land.Grid[b]);
    });
    Probe best{land.Ps[order[0] / n], land.Is[order[0] % n], land.Grid[order[0]]};
    const size_t starts = std::min<size_t>(std::max(1, options.Starts), order.size());
    for (size_t s = 0; s < starts; ++s) {
        const size_t at = order[s];
        Probe here{land.Ps[at / n], land.Is[at % n], land.Grid[at]};
        double h = spacing;
        for (int r = 0; r < options.Refinements; ++r) {
            h /= 2;
            const Probe centre = here;
            for (int dp = -2; dp <= 2; ++dp) {
                for (int di = -2; di <= 2; ++di) {
                    if (dp == 0 && di == 0) continue;
                    const double p = centre.P + dp * h, i = centre.I + di * h;
                    if (p < 0 || i < 0 || p > limit || i > limit) continue;
                    const StepScore sc = score(p, i);
                    if (BetterScore(sc, here.Score)) here = {p, i, sc};
                }
            }
        }
        if (BetterScore(here.Score, best.Score)) best = here;
    }
    land.Best = {static_cast<float>(best.P), static_cast<float>(best.I), best.Score};
    return land;
}

std::array<Landscape, 3> SweepCascade(const sim::PlantParameters& plant,
                                      const SweepOptions& options) {
    std::array<Landscape, 3> out;
    sim::DriveParameters params = sim::FactoryParameters();
    for (LoopTest loop : kLoopTests) {
        Landscape& land = out[static_cast<size_t>(loop)];
        land = SweepGains(test::PageStep(plant, loop, params), options);
        params = test::WithGains(params, loop, land.Best.P, land.Best.I);
    }
    return out;
}

}  // namespace torvane::bench
