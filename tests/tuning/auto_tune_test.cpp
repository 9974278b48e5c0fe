// The tuner on loops it has never seen (tests/tuning/synthetic_loop.h), each in three gain
// units, measured against the best gains found by brute force; and its safety rules.
#include "tuning/auto_tune.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "tuning/synthetic_loop.h"

namespace torvane {
namespace {

using test::RunSyntheticStep;
using test::SyntheticLoop;
using test::SyntheticPlant;

GainBounds Bounds() {
    return PageGainBounds(LoopTest::Speed);  // 0 to 5 for P and I
}

StepScore Truth(const SyntheticLoop& loop, const LoopGains& g) {
    return ScoreStep(RunSyntheticStep(loop, g));
}

// The best P and I by brute force, noise-free: a grid at x2 over five decades below the
// limit, then a pattern search around its best down to steps of 2^(1/16).
LoopGains BruteForceBest(const SyntheticLoop& loop, StepScore* score) {
    const double top = Bounds().Max.P;
    LoopGains best{};
    StepScore bestScore;
    const auto consider = [&](double p, double i) {
        if (p <= 0 || i <= 0 || p > top || i > top) return false;
        const LoopGains g{static_cast<float>(p), static_cast<float>(i), 0};
        const StepScore s = Truth(loop, g);
        if (!BetterScore(s, bestScore)) return false;
        best = g;
        bestScore = s;
        return true;
    };
    for (double p = top; p > top * 1e-5; p /= 2)
        for (double i = top; i > top * 1e-5; i /= 2) consider(p, i);
    for (double step = 1.0; step >= 1.0 / 16; step /= 2) {
        bool moved = true;
        while (moved) {
            moved = false;
            const LoopGains at = best;
            for (int dp = -1; dp <= 1; ++dp)
                for (int di = -1; di <= 1; ++di)
                    moved |= consider(at.P * std::exp2(dp * step), at.I * std::exp2(di * step));
        }
    }
    *score = bestScore;
    return best;
}

struct Watched {
    AutoTuneResult Result;
    std::vector<std::string> Broken;  // safety rules a test request broke
};

// Drives the tuner as a caller does, checking every request against the safety rules.
Watched TuneWatched(const AutoTuneRequest& request,
                    const std::function<StepResponse(const LoopGains&, int)>& run) {
    Watched w;
    AutoTuner tuner(request);
    const GainBounds& b = request.Bounds;
    while (const std::optional<LoopGains> g = tuner.Next()) {
        const int n = tuner.TestsRun() + 1;
        const std::string at = "test " + std::to_string(n) + ": ";
        if (n == 1 && !(*g == request.Start)) w.Broken.push_back(at + "not the start gains");
        if (!std::isfinite(g->P) || !std::isfinite(g->I) || !std::isfinite(g->D))
            w.Broken.push_back(at + "a gain not finite");
        if (g->P < b.Min.P || g->P > b.Max.P || g->I < b.Min.I || g->I > b.Max.I ||
            g->D < b.Min.D || g->D > b.Max.D)
            w.Broken.push_back(at + "a gain outside the limits");
        if (const std::optional<TunedTest> best = tuner.Best()) {
            const auto grows = [&](float to, float from, double range) {
                return from > 0 ? to > kMaxGainGrowth * from : to > kFirstGainFraction * range;
            };
            if (grows(g->P, best->Gains.P, b.Max.P - b.Min.P) ||
                grows(g->I, best->Gains.I, b.Max.I - b.Min.I))
                w.Broken.push_back(at + "a gain more than doubled");
        }
        tuner.Tell(run(*g, n));
    }
    w.Result = tuner.Result();
    return w;
}

TEST(AutoTuner, FindsNearlyTheBestGainsOfLoopsItHasNeverSeenInAnyGainUnit) {
    const struct {
        const char* name;
        SyntheticLoop loop;
    } plants[] = {
        {"first order", {SyntheticPlant::FirstOrder, 1, 50}},
        {"first order with delay", {SyntheticPlant::Delayed, 1, 10}},
        {"integrating", {SyntheticPlant::Integrating, 1, 80}},
        {"with a resonance", {SyntheticPlant::Resonant, 1, 10}},
    };
    for (const auto& plant : plants) {
        for (const double scale : {0.1, 1.0, 10.0}) {
            SyntheticLoop loop = plant.loop;
            loop.Scale = scale;
            SCOPED_TRACE(std::string(plant.name) + ", gains scaled x" + std::to_string(scale));
            StepScore optimum;
            const LoopGains best = BruteForceBest(loop, &optimum);
            ASSERT_TRUE(optimum.Feasible);

            // Modest start gains, as a drive leaves the factory: a quarter of the best.
            AutoTuneRequest request;
            request.Loop = LoopTest::Speed;
            request.Start = {best.P / 4, best.I / 4, 0};
            request.Bounds = Bounds();
            loop.NoiseFraction = 0.003;
            const Watched w = TuneWatched(request, [&](const LoopGains& g, int n) {
                return RunSyntheticStep(loop, g, static_cast<uint64_t>(n));
            });
            loop.NoiseFraction = 0;

            EXPECT_EQ(w.Broken, std::vector<std::string>{});
            const AutoTuneResult& r = w.Result;
            ASSERT_EQ(r.End, AutoTuneEnd::Tuned);
            EXPECT_LE(r.Tests.size(), static_cast<size_t>(kDefaultMaxTests));
            const StepScore tuned = Truth(loop, r.Tuned);
            EXPECT_TRUE(tuned.Feasible) << "overshoot " << tuned.OvershootPercent;
            EXPECT_LE(tuned.Iae, 1.25 * optimum.Iae)
                << "tuned P " << r.Tuned.P << " I " << r.Tuned.I << ", best P " << best.P
                << " I " << best.I << ", " << r.Tests.size() << " tests";
            // The result is a tested point, repeated last.
            ASSERT_GE(r.Tests.size(), 2u);
            EXPECT_TRUE(r.Tests.back().Repeat);
            EXPECT_EQ(r.Tests.back().Gains, r.Tuned);
            EXPECT_EQ(r.TunedScore.Iae, r.Tests.back().Score.Iae);
        }
    }
}

AutoTuneRequest RequestOn(LoopGains start) {
    AutoTuneRequest request;
    request.Loop = LoopTest::Speed;
    request.Start = start;
    request.Bounds = Bounds();
    return request;
}

SyntheticLoop Delayed() {
    SyntheticLoop loop{SyntheticPlant::Delayed, 1, 10};
    loop.NoiseFraction = 0.003;
    return loop;
}

TEST(AutoTuner, KeepsEveryGainItWritesSafe) {
    SyntheticLoop strong = Delayed();
    strong.Scale = 0.001;  // the best gains lie far above the limits
    SyntheticLoop zeroI = Delayed();
    const struct {
        const char* what;
        SyntheticLoop loop;
        LoopGains start;
    } cases[] = {
        {"best gains above the limits", strong, {1, 0.5f, 0}},
        {"no integral gain at the start", zeroI, {0.05f, 0, 0}},
        {"a start that overshoots", zeroI, {0.8f, 0.3f, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Watched w = TuneWatched(RequestOn(c.start), [&](const LoopGains& g, int n) {
            return RunSyntheticStep(c.loop, g, static_cast<uint64_t>(n));
        });
        EXPECT_EQ(w.Broken, std::vector<std::string>{});
        EXPECT_NE(w.Result.End, AutoTuneEnd::TestFailed);
    }
}

TEST(AutoTuner, RefusesAStartItCouldNotWrite) {
    const float nan = std::nanf("");
    for (const LoopGains& start : {LoopGains{9, 0.1f, 0}, LoopGains{0.1f, -1, 0}, LoopGains{nan, 0.1f, 0}}) {
        AutoTuner tuner(RequestOn(start));
        EXPECT_FALSE(tuner.Next());
        EXPECT_EQ(tuner.Result().End, AutoTuneEnd::TestFailed);
        EXPECT_TRUE(tuner.Result().Tests.empty());
    }
}

TEST(AutoTuner, ARunawayIsNeverTheResult) {
    // Every gain but the start's runs away: the start's gains stay.
    const SyntheticLoop loop = Delayed();
    const LoopGains start{0.05f, 0.002f, 0};
    const AutoTuneResult r = RunAutoTune(RequestOn(start), [&](const LoopGains& g) {
        SyntheticLoop l = loop;
        if (!(g == start)) l.Scale = -1;  // positive feedback
        return std::optional<StepResponse>(RunSyntheticStep(l, g));
    });
    EXPECT_EQ(r.End, AutoTuneEnd::NoBetter);
    EXPECT_EQ(r.Tuned, start);
    for (size_t k = 1; k < r.Tests.size(); ++k) EXPECT_TRUE(r.Tests[k].Score.Runaway) << k;
    EXPECT_FALSE(r.Improved());
}

TEST(AutoTuner, EndsOnAFailedTestOrACancelWithTheStartGains) {
    const SyntheticLoop loop = Delayed();
    const LoopGains start{0.05f, 0.002f, 0};
    int ran = 0;
    const StepTestRunner failsThird = [&](const LoopGains& g) -> std::optional<StepResponse> {
        if (++ran == 3) return std::nullopt;
        return RunSyntheticStep(loop, g, static_cast<uint64_t>(ran));
    };
    const AutoTuneResult failed = RunAutoTune(RequestOn(start), failsThird);
    EXPECT_EQ(failed.End, AutoTuneEnd::TestFailed);
    EXPECT_EQ(failed.Tests.size(), 2u);
    EXPECT_EQ(failed.Tuned, start);
    EXPECT_EQ(ran, 3);

    ran = 0;
    const AutoTuneResult cancelled = RunAutoTune(
        RequestOn(start),
        [&](const LoopGains& g) {
            return std::optional<StepResponse>(RunSyntheticStep(loop, g, static_cast<uint64_t>(++ran)));
        },
        [&] { return ran == 4; });
    EXPECT_EQ(cancelled.End, AutoTuneEnd::Cancelled);
    EXPECT_EQ(cancelled.Tests.size(), 4u);
    EXPECT_EQ(cancelled.Tuned, start);
    EXPECT_FALSE(AutoTuner(RequestOn(start)).Done());
}

TEST(AutoTuner, GainsTheRepeatDoesNotConfirmAreNotTheResult) {
    // A drive whose second test of any gains rings: nothing the search found holds.
    const SyntheticLoop loop = Delayed();
    const LoopGains start{0.05f, 0.002f, 0};
    std::vector<LoopGains> seen;
    int n = 0;
    const AutoTuneResult r = RunAutoTune(RequestOn(start), [&](const LoopGains& g) {
        SyntheticLoop l = loop;
        if (std::find(seen.begin(), seen.end(), g) != seen.end()) l.Scale = 8;
        seen.push_back(g);
        return std::optional<StepResponse>(RunSyntheticStep(l, g, static_cast<uint64_t>(++n)));
    });
    EXPECT_EQ(r.End, AutoTuneEnd::NoBetter);
    EXPECT_EQ(r.Tuned, start);
    EXPECT_LE(r.Tests.size(), static_cast<size_t>(kDefaultMaxTests));
    EXPECT_TRUE(r.Tests.back().Repeat);
}

TEST(AutoTuner, StaysWithinItsTestsAndConfirmsWithTheLast) {
    const SyntheticLoop loop = Delayed();
    const LoopGains start{0.05f, 0.002f, 0};
    for (const int most : {1, 2, 6}) {
        AutoTuneRequest request = RequestOn(start);
        request.Options.MaxTests = most;
        int n = 0;
        const AutoTuneResult r = RunAutoTune(request, [&](const LoopGains& g) {
            return std::optional<StepResponse>(RunSyntheticStep(loop, g, static_cast<uint64_t>(++n)));
        });
        // Two tests leave no room for a search and its repeat: the start gains stay untried.
        EXPECT_EQ(r.Tests.size(), static_cast<size_t>(most == 2 ? 1 : most)) << most;
        if (most == 6) {
            ASSERT_EQ(r.End, AutoTuneEnd::Tuned);
            EXPECT_TRUE(r.Tests.back().Repeat);
            EXPECT_TRUE(r.Improved());
        } else {
            EXPECT_EQ(r.End, AutoTuneEnd::NoBetter) << most;
            EXPECT_EQ(r.Tuned, start);
        }
    }
}

}  // namespace
}  // namespace torvane
