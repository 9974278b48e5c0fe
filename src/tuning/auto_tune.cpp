#include "tuning/auto_tune.h"

#include <cmath>

namespace torvane {

namespace {

bool RunsAway(const StepResponse& r, const StepFigures& f) {
    const std::vector<double> y = SmoothedActual(r);
    const double half = kRunawayFraction * std::abs(f.Step);
    const double sign = f.Step > 0 ? 1.0 : -1.0;
    bool near = false;
    for (size_t k = f.StepIndex; k < y.size(); ++k) {
        const double beyond = (y[k] - f.SetFinal) * sign;  // > 0: past the set value
        const double travelled = (y[k] - f.InitialValue) * sign;
        if (beyond > half || travelled < -half) return true;
        if (std::abs(beyond) <= half) {
            near = true;
        } else if (near) {
            return true;
        }
    }
    return false;
}

}  // namespace

StepScore ScoreStep(const StepResponse& response, double maxOvershootPercent) {
    StepScore s;
    s.Figures = ComputeStepFigures(response);
    const StepFigures& f = s.Figures;
    if (f.Status != FigureStatus::Valid && f.Status != FigureStatus::Flat) return s;
    s.Iae = f.IaePerStep.value_or(s.Iae);
    s.OvershootPercent = f.OvershootPercent.value_or(0);
    s.Settled = f.Settled;
    s.Runaway = RunsAway(response, f);
    if (s.Runaway) return s;
    const double band = kSettlingBand * 100.0;
    s.Violation = std::max(0.0, s.OvershootPercent - maxOvershootPercent);
    if (!s.Settled) {
        // A flat response has no tail figure: it misses by its whole remaining error.
        const double tail =
            f.TailDeviationPercent.value_or(std::abs(f.SteadyStateErrorPercent.value_or(100)));
        s.Violation += std::max(tail - band, 0.0);
        // The band may be wider than 2 % where the noise is large: never call an unsettled
        // response's miss nothing.
        if (s.Violation == 0) s.Violation = std::numeric_limits<double>::min();
    }
    s.Feasible = f.Status == FigureStatus::Valid && s.Violation == 0;
    return s;
}

bool BetterScore(const StepScore& a, const StepScore& b) {
    if (std::isinf(a.Violation)) return false;
    if (std::isinf(b.Violation)) return true;
    if (a.Feasible != b.Feasible) return a.Feasible;
    if (!a.Feasible && a.Violation != b.Violation) return a.Violation < b.Violation;
    return a.Iae < b.Iae;
}

}  // namespace torvane

namespace torvane {

GainBounds PageGainBounds(LoopTest loop) {
    GainBounds b;
    const auto bound = [&](GainTerm t) { return LoopGainBound(loop, t); };
    b.Min = {static_cast<float>(bound(GainTerm::P).Min), static_cast<float>(bound(GainTerm::I).Min),
             static_cast<float>(bound(GainTerm::D).Min)};
    b.Max = {static_cast<float>(bound(GainTerm::P).Max), static_cast<float>(bound(GainTerm::I).Max),
             static_cast<float>(bound(GainTerm::D).Max)};
    return b;
}

// Provisional search: the start gains, then their repeat. The search proper replaces Choose.
AutoTuner::AutoTuner(const AutoTuneRequest& request) : request_(request) {
    result_.Start = request.Start;
    result_.Tuned = request.Start;
    next_ = request.Start;
}

std::optional<LoopGains> AutoTuner::Next() const {
    return Done() ? std::nullopt : next_;
}

void AutoTuner::Tell(const StepResponse& response) {
    if (Done() || !next_) return;
    TunedTest t;
    t.Number = TestsRun() + 1;
    t.Gains = *next_;
    t.Score = ScoreStep(response, request_.Options.MaxOvershootPercent);
    t.Repeat = t.Number > 1;
    result_.Tests.push_back(t);
    if (t.Number == 1) {
        result_.StartScore = t.Score;
        best_ = 0;
    }
    Choose();
}

void AutoTuner::Fail() {
    if (!Done()) Finish(AutoTuneEnd::TestFailed);
}

void AutoTuner::Cancel() {
    if (!Done()) Finish(AutoTuneEnd::Cancelled);
}

std::optional<TunedTest> AutoTuner::Best() const {
    if (!best_) return std::nullopt;
    return result_.Tests[*best_];
}

void AutoTuner::Choose() {
    if (TestsRun() >= 2 || TestsRun() >= MaxTests()) {
        Finish(AutoTuneEnd::NoBetter);
        return;
    }
    next_ = request_.Start;
}

void AutoTuner::Finish(AutoTuneEnd end) {
    result_.End = end;
    result_.Tuned = request_.Start;
    result_.TunedScore = result_.StartScore;
    next_.reset();
}

AutoTuneResult RunAutoTune(const AutoTuneRequest& request, const StepTestRunner& run,
                           const std::function<bool()>& cancelled) {
    AutoTuner tuner(request);
    while (const std::optional<LoopGains> gains = tuner.Next()) {
        if (cancelled && cancelled()) {
            tuner.Cancel();
            break;
        }
        const std::optional<StepResponse> response = run(*gains);
        if (!response) {
            tuner.Fail();
            break;
        }
        tuner.Tell(*response);
    }
    return tuner.Result();
}

}  // namespace torvane
