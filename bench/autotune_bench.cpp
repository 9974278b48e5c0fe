// autotune_bench: the tuner (tuning/auto_tune.h) on every loop of every simulated plant,
// in-process and unpaced, measured against the best gains bench/plant_sweep finds.
//
// For each plant the loops are tuned in the order an engineer tunes them, on the same inner
// loops as the sweep's (bench/plant_optimum.h: the speed loop on the current loop's best gains,
// the position loop on both), each from the drive's factory gains of the loop, with the
// simulated drive's noise drawn afresh for every test (a different seed for each run). Printed
// per plant and loop, over the runs: the tests used (most), the tuned gains' noise-free IAE per
// unit of step divided by the sweep's best (median and worst), the worst noise-free overshoot,
// how many runs ended with gains that meet the constraints noise-free, and the wall time a run
// would take on a drive at 115200 baud: each test's gain write, start and stop frames, the
// test's own duration, half a 20 ms poll, and the read-back of its capture in 128-byte blocks.
//
// Options: --plant NAME (only that plant), --runs N (default 5), --max-tests N (default 30),
// --trace (every test of each first run).
// The goal: on every plant and loop at most 1.10 x the optimum, in at most 20 tests.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plant_optimum.h"
#include "sim/plant_presets.h"
#include "sim/step_test_model.h"

namespace {

using torvane::LoopGains;
using torvane::LoopTest;
using torvane::StepResponse;
using torvane::StepScore;

constexpr double kBaud = 115200;
constexpr double kBytesPerSecond = kBaud / 10;  // 8 data bits, a start and a stop bit
constexpr double kPollSeconds = 0.020;
constexpr double kPeriodSeconds = 66e-6;
constexpr double kTurnaroundSeconds = 0.002;  // the drive's time to answer, per exchange

// Bytes on the wire of one exchange: a write of `data` bytes and its 9-byte reply, or a read of
// `data` bytes (9-byte request, reply of 9 + data).
double ExchangeSeconds(size_t data) {
    return (9.0 + 9.0 + static_cast<double>(data)) / kBytesPerSecond + kTurnaroundSeconds;
}

// One test as the command line runs it back to back: the gains (12 bytes), the test's start
// word and set-point, its run, the poll that sees its end, the length and the capture.
double TestSeconds(const StepResponse& r, LoopTest loop) {
    const size_t recordBytes = loop == LoopTest::Current ? 8 : 16;
    const size_t bytes = r.X.size() * recordBytes;
    const double run =
        loop == LoopTest::Current ? r.X.size() * kPeriodSeconds : (r.X.empty() ? 0 : r.X.back()) * kPeriodSeconds;
    double s = ExchangeSeconds(12) + 2 * ExchangeSeconds(8) + run + kPollSeconds / 2 +
               ExchangeSeconds(2) * std::max(1.0, run / kPollSeconds);
    s += ExchangeSeconds(2);
    for (size_t at = 0; at < bytes; at += 128) s += ExchangeSeconds(std::min<size_t>(128, bytes - at));
    return s;
}

struct Run {
    int Tests = 0;
    double Ratio = 0;
    double RobustRatio = 0;
    double Overshoot = 0;
    bool Feasible = false;
    double Seconds = 0;
    LoopGains Tuned;
};

}  // namespace

int main(int argc, char** argv) {
    const char* only = nullptr;
    int runs = 5;
    int maxTests = torvane::kDefaultMaxTests;
    bool trace = false;
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--plant") == 0 && k + 1 < argc) {
            only = argv[++k];
        } else if (std::strcmp(argv[k], "--runs") == 0 && k + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++k]));
        } else if (std::strcmp(argv[k], "--trace") == 0) {
            trace = true;
        } else if (std::strcmp(argv[k], "--max-tests") == 0 && k + 1 < argc) {
            maxTests = std::max(2, std::atoi(argv[++k]));
        } else {
            std::fprintf(stderr, "usage: autotune_bench [--plant NAME] [--runs N] [--max-tests N] [--trace]\n");
            return 2;
        }
    }
    const auto start = std::chrono::steady_clock::now();
    std::printf("%-8s %-9s %5s %7s %7s %7s %7s %9s %8s %7s  %s\n", "plant", "loop", "tests",
                "ratio", "worst", "robust", "worst", "overshoot", "feasible", "wall s",
                "tuned P, I (first run); optimum; robust optimum");
    bool met = true;
    uint64_t seed = 1;
    for (const torvane::sim::PlantParameters& plant : torvane::sim::PlantPresets()) {
        if (only && std::strcmp(only, plant.Name) != 0) continue;
        const auto lands = torvane::bench::SweepCascade(plant);
        for (const torvane::bench::Landscape& land : lands) {
            const LoopTest loop = land.Step.Loop;
            torvane::bench::SweepOptions robustOptions;
            robustOptions.RobustSeeds = 8;
            const torvane::bench::Landscape robust = torvane::bench::SweepGains(land.Step, robustOptions);
            std::vector<Run> done;
            for (int r = 0; r < runs; ++r) {
                torvane::AutoTuneRequest request;
                request.Loop = loop;
                request.Start = torvane::LoopGainsOf(land.Step.Params.Loop, loop);
                request.Bounds = torvane::PageGainBounds(loop);
                request.Options.MaxTests = maxTests;
                Run run;
                const auto runner = [&](const LoopGains& g) -> std::optional<StepResponse> {
                    const StepResponse response =
                        torvane::test::RunStep(land.Step, g.P, g.I, {true, seed++});
                    run.Seconds += TestSeconds(response, loop);
                    return response;
                };
                const torvane::AutoTuneResult result = torvane::RunAutoTune(request, runner);
                if (trace && r == 0) {
                    for (const torvane::TunedTest& t : result.Tests) {
                        std::printf("    %2d%s P %-8.4g I %-8.4g IAE/step %-8.4g overshoot %5.2f%% %s%s\n",
                                    t.Number, t.Repeat ? "r" : " ", t.Gains.P, t.Gains.I, t.Score.Iae,
                                    t.Score.OvershootPercent, t.Score.Settled ? "settled" : "not settled",
                                    t.Score.Feasible ? "" : " (infeasible)");
                    }
                }
                const StepScore truth =
                    torvane::test::ScoreGains(land.Step, result.Tuned.P, result.Tuned.I);
                run.Tests = static_cast<int>(result.Tests.size());
                run.Ratio = truth.Iae / land.Best.Score.Iae;
                run.RobustRatio = truth.Iae / robust.Best.Score.Iae;
                run.Overshoot = truth.OvershootPercent;
                run.Feasible = truth.Feasible;
                run.Tuned = result.Tuned;
                if (trace)
                    std::printf("    run %d: %d tests, tuned P %.4g I %.4g, ratio %.3f, overshoot %.2f%%\n", r + 1,
                                run.Tests, run.Tuned.P, run.Tuned.I, run.Ratio, run.Overshoot);
                done.push_back(run);
            }
            std::vector<double> ratios, robustRatios;
            int feasible = 0, most = 0;
            double overshoot = 0, seconds = 0;
            for (const Run& r : done) {
                ratios.push_back(r.Ratio);
                robustRatios.push_back(r.RobustRatio);
                feasible += r.Feasible;
                most = std::max(most, r.Tests);
                overshoot = std::max(overshoot, r.Overshoot);
                seconds = std::max(seconds, r.Seconds);
            }
            std::sort(ratios.begin(), ratios.end());
            std::sort(robustRatios.begin(), robustRatios.end());
            const double median = ratios[ratios.size() / 2];
            const double worst = ratios.back();
            met = met && worst <= 1.10 && most <= 20 && feasible == runs;
            std::printf("%-8s %-9s %5d %7.3f %7.3f %7.3f %7.3f %8.2f%% %5d/%-3d %6.1f  %.4g, %.4g; %.4g, %.4g; %.4g, %.4g\n",
                        plant.Name, torvane::TraitsOf(loop).Name, most, median, worst,
                        robustRatios[robustRatios.size() / 2], robustRatios.back(), overshoot,
                        feasible, runs, seconds, done[0].Tuned.P, done[0].Tuned.I, land.Best.P,
                        land.Best.I, robust.Best.P, robust.Best.I);
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("\n%s (goal: at most 1.10 x the optimum in at most 20 tests); %.1f s\n",
                met ? "goal met" : "goal missed", seconds);
    return 0;
}
