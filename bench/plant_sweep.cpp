// plant_sweep: where the best gains of each loop of each simulated plant lie, under the tuning
// objective, on the noise-free plant, in-process (no serial line).
//
// For each plant (--plant NAME: only that one) the loops are swept in the order an engineer
// tunes them (bench/plant_optimum.h): the current loop from the drive's factory parameters,
// the speed loop on the current loop's best gains, the position loop on both. Printed per
// loop: the landscape of the objective on a coarse grid (IAE per unit of step in period
// indexes, marked where a point is infeasible), the best point with its figures, the factory
// gains' result and the ratio of the two, and the figures at the top of the P and of the I
// range (with the other gain at its best), where the response must ring. Then a table of the
// best points and the time taken.
//
// Options: --plant NAME, --points N (grid points along each gain, default 21), --brief (the
// table only).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "plant_optimum.h"
#include "sim/plant_presets.h"

namespace {

using torvane::LoopTest;
using torvane::StepScore;
using torvane::bench::Landscape;

// One character for what keeps a point from being feasible: o overshoot beyond 5 %, u not
// settled in the last tenth, r runs away, - no step figures.
char Mark(const StepScore& s) {
    if (s.Feasible) return ' ';
    if (std::isinf(s.Iae)) return '-';
    if (s.Runaway) return 'r';
    if (s.OvershootPercent > torvane::kDefaultMaxOvershoot) return 'o';
    return 'u';
}

std::string Verdict(const StepScore& s) {
    char text[160];
    if (std::isinf(s.Iae)) return "no step figures";
    std::snprintf(text, sizeof text, "IAE/step %.4g, overshoot %.3g %%, %s%s", s.Iae,
                  s.OvershootPercent, s.Settled ? "settled" : "not settled",
                  s.Runaway ? ", runs away" : (s.Feasible ? "" : " (infeasible)"));
    return text;
}

const char* LoopName(LoopTest loop) {
    return torvane::TraitsOf(loop).Name;
}

void PrintGrid(const Landscape& land) {
    // About ten rows and columns whatever the grid: every k-th point.
    const size_t n = land.Ps.size();
    const size_t k = std::max<size_t>(1, (n - 1) / 10);
    std::printf("  P \\ I ");
    for (size_t i = 0; i < n; i += k) std::printf("%7.3g ", land.Is[i]);
    std::printf("\n");
    for (size_t p = k; p < n; p += k) {
        std::printf("  %5.3g ", land.Ps[p]);
        for (size_t i = 0; i < n; i += k) {
            const StepScore& s = land.At(p, i);
            if (std::isinf(s.Iae)) {
                std::printf("%7s%c", "", Mark(s));
            } else {
                std::printf("%7.4g%c", s.Iae, Mark(s));
            }
        }
        std::printf("\n");
    }
}

struct Row {
    std::string Plant;
    LoopTest Loop;
    torvane::bench::GainPoint Best;
    double Factory;
};

}  // namespace

int main(int argc, char** argv) {
    std::string only;
    bool brief = false;
    torvane::bench::SweepOptions options;
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "--plant") == 0 && a + 1 < argc) {
            only = argv[++a];
            if (torvane::sim::FindPlant(only) == nullptr) {
                std::fprintf(stderr, "plant_sweep: --plant needs %s\n",
                             torvane::sim::PlantNames().c_str());
                return 2;
            }
        } else if (std::strcmp(argv[a], "--points") == 0 && a + 1 < argc) {
            options.Points = std::max(3, std::atoi(argv[++a]));
        } else if (std::strcmp(argv[a], "--brief") == 0) {
            brief = true;
        } else {
            std::fprintf(stderr, "usage: plant_sweep [--plant %s] [--points N] [--brief]\n",
                         torvane::sim::PlantNames().c_str());
            return 2;
        }
    }

    const auto start = std::chrono::steady_clock::now();
    size_t tests = 0;
    std::vector<Row> rows;
    if (!brief) {
        std::printf(
            "The objective per plant and loop, on the noise-free plant: IAE per unit of step in "
            "period indexes;\nmarked o: overshoot above %.0f %%, u: not settled within 2 %% in "
            "the last tenth, r: runs away,\n-: no step figures. Steps as the loop page makes "
            "them: 1 A; 1000 rpm; 36 degrees (1000 counts)\nat up to 1000 rpm.\n",
            torvane::kDefaultMaxOvershoot);
    }
    for (const torvane::sim::PlantParameters& plant : torvane::sim::PlantPresets()) {
        if (!only.empty() && only != plant.Name) continue;
        const auto lands = torvane::bench::SweepCascade(plant, options);
        for (const Landscape& land : lands) {
            tests += land.Tests;
            const LoopTest loop = land.Step.Loop;
            const torvane::LoopGains factory =
                torvane::LoopGainsOf(torvane::sim::FactoryParameters().Loop, loop);
            const StepScore atFactory = torvane::test::ScoreGains(land.Step, factory.P, factory.I);
            rows.push_back({plant.Name, loop, land.Best, atFactory.Iae});
            if (brief) continue;
            const double limit = torvane::test::GainLimit(loop);
            const torvane::LoopGains inner =
                torvane::LoopGainsOf(land.Step.Params.Loop, LoopTest::Current);
            std::printf("\n%s (%s), %s loop", plant.Name, plant.Description, LoopName(loop));
            if (loop != LoopTest::Current) {
                std::printf(", with current loop P %.4g I %.4g", inner.P, inner.I);
            }
            if (loop == LoopTest::Position) {
                const torvane::LoopGains speed =
                    torvane::LoopGainsOf(land.Step.Params.Loop, LoopTest::Speed);
                std::printf(", speed loop P %.4g I %.4g", speed.P, speed.I);
            }
            std::printf(":\n");
            PrintGrid(land);
            std::printf("  best: P %.4g, I %.4g: %s\n", land.Best.P, land.Best.I,
                        Verdict(land.Best.Score).c_str());
            for (const std::string& line : torvane::FormatStepFigures(land.Best.Score.Figures)) {
                std::printf("    %s\n", line.c_str());
            }
            std::printf("  factory gains P %g, I %g: %s; best / factory IAE %.3g\n", factory.P,
                        factory.I, Verdict(atFactory).c_str(), land.Best.Score.Iae / atFactory.Iae);
            const float top = static_cast<float>(limit);
            std::printf("  top of P (P %g, I %.4g): %s\n", top, land.Best.I,
                        Verdict(torvane::test::ScoreGains(land.Step, top, land.Best.I)).c_str());
            std::printf("  top of I (P %.4g, I %g): %s\n", land.Best.P, top,
                        Verdict(torvane::test::ScoreGains(land.Step, land.Best.P, top)).c_str());
        }
    }

    std::printf("\n%-8s %-9s %8s %8s %10s %10s %8s %12s %8s\n", "plant", "loop", "best P", "best I",
                "IAE/step", "overshoot", "settled", "factory IAE", "ratio");
    for (const Row& r : rows) {
        const StepScore& s = r.Best.Score;
        std::printf("%-8s %-9s %8.4g %8.4g %10.4g %9.3g%% %8s %12.4g %8.3g\n", r.Plant.c_str(),
                    LoopName(r.Loop), r.Best.P, r.Best.I, s.Iae, s.OvershootPercent,
                    s.Settled ? "yes" : "no", r.Factory, s.Iae / r.Factory);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("\n%zu step tests in %.1f s\n", tests, seconds);
    return 0;
}
