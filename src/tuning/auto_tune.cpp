#include "tuning/auto_tune.h"

#include <algorithm>
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

namespace {

bool Finite(const LoopGains& g) {
    return std::isfinite(g.P) && std::isfinite(g.I) && std::isfinite(g.D);
}

bool Inside(const LoopGains& g, const GainBounds& b) {
    return g.P >= b.Min.P && g.P <= b.Max.P && g.I >= b.Min.I && g.I <= b.Max.I &&
           g.D >= b.Min.D && g.D <= b.Max.D;
}

bool Same(float a, float b) {
    if (a == b) return true;
    if (a <= 0 || b <= 0) return false;
    return std::abs(std::log2(static_cast<double>(a) / b)) < 0.01;
}

// One gain moved by `steps` x `step` in log2 from `from`, within [lo, hi] and at most x2 (or,
// from 0, the first gain) above `from`. nullopt: the move goes nowhere.
std::optional<float> MovedGain(float from, int steps, double step, float lo, float hi) {
    if (steps == 0) return from;
    double to;
    if (from <= 0) {
        if (steps < 0) return std::nullopt;
        to = lo + kFirstGainFraction * (static_cast<double>(hi) - lo);
    } else {
        to = from * std::exp2(steps * step);
        to = std::min(to, kMaxGainGrowth * from);
    }
    float g = static_cast<float>(std::clamp(to, static_cast<double>(lo), static_cast<double>(hi)));
    if (from > 0 && g > kMaxGainGrowth * from) g = static_cast<float>(kMaxGainGrowth * from);
    if (!std::isfinite(g) || Same(g, from)) return std::nullopt;
    return g;
}

}  // namespace

AutoTuner::AutoTuner(const AutoTuneRequest& request) : request_(request) {
    result_.Start = request.Start;
    result_.Tuned = request.Start;
    if (request_.Options.MaxTests < 1) request_.Options.MaxTests = 1;
    if (!Finite(request.Start) || !Inside(request.Start, request.Bounds)) {
        // Nothing outside the page's limits is ever written, not even the first test's gains.
        result_.End = AutoTuneEnd::TestFailed;
        return;
    }
    next_ = request.Start;
}

std::optional<LoopGains> AutoTuner::Next() const {
    return Done() ? std::nullopt : next_;
}

std::optional<TunedTest> AutoTuner::Best() const {
    if (!best_) return std::nullopt;
    return result_.Tests[*best_];
}

void AutoTuner::Tell(const StepResponse& response) {
    if (Done() || !next_) return;
    TunedTest t;
    t.Number = TestsRun() + 1;
    t.Gains = *next_;
    t.Score = ScoreStep(response, request_.Options.MaxOvershootPercent);
    t.Repeat = confirming_;
    result_.Tests.push_back(t);
    searchScores_.push_back(
        ScoreStep(response, request_.Options.MaxOvershootPercent * kSearchOvershootShare));
    const size_t told = result_.Tests.size() - 1;
    if (told == 0) result_.StartScore = t.Score;

    if (confirming_) {
        const StepScore& start = result_.StartScore;
        const bool holds = t.Score.Feasible && (!start.Feasible || t.Score.Iae < start.Iae);
        if (holds) {
            result_.Tuned = t.Gains;
            result_.TunedScore = t.Score;
            result_.End = AutoTuneEnd::Tuned;
            next_.reset();
            return;
        }
        refuted_.push_back(confirmed_);
        NextConfirmation();
        return;
    }
    if (!best_ || SearchBetter(told, *best_)) {
        if (best_) lastMove_ = nextMove_;
        best_ = told;
        Poll();
    }
    Choose();
}

void AutoTuner::Fail() {
    if (!Done()) Finish(AutoTuneEnd::TestFailed);
}

void AutoTuner::Cancel() {
    if (!Done()) Finish(AutoTuneEnd::Cancelled);
}

bool AutoTuner::SearchBetter(size_t a, size_t b) const {
    const StepScore& sa = searchScores_[a];
    const StepScore& sb = searchScores_[b];
    if (sa.Feasible && sb.Feasible) return sa.Iae < sb.Iae * (1.0 - kMinImprovement);
    return BetterScore(sa, sb);
}

std::optional<LoopGains> AutoTuner::Moved(const LoopGains& from, Move m) const {
    const GainBounds& b = request_.Bounds;
    const std::optional<float> p = MovedGain(from.P, m.P, step_, b.Min.P, b.Max.P);
    const std::optional<float> i = MovedGain(from.I, m.I, step_, b.Min.I, b.Max.I);
    if (!p || !i) return std::nullopt;
    LoopGains g{*p, *i, from.D};
    if (g == from) return std::nullopt;
    return g;
}

bool AutoTuner::Tested(const LoopGains& g) const {
    for (const TunedTest& t : result_.Tests) {
        if (Same(t.Gains.P, g.P) && Same(t.Gains.I, g.I)) return true;
    }
    return false;
}

void AutoTuner::Poll() {
    const StepScore& s = searchScores_[*best_];
    const double allowed = request_.Options.MaxOvershootPercent * kSearchOvershootShare;
    std::vector<Move> order;
    if (s.Runaway || std::isinf(s.Violation) || s.OvershootPercent > allowed) {
        order = {{-1, 0}, {0, -1}, {0, 1}, {1, 0}};
    } else if (!s.Settled) {
        order = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}};
    } else {
        order = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    }
    // The move that brought the search here is the likeliest to go on paying.
    if (lastMove_.P != 0 || lastMove_.I != 0) {
        std::erase_if(order, [&](Move m) { return m.P == lastMove_.P && m.I == lastMove_.I; });
        order.insert(order.begin(), lastMove_);
    }
    // Popped from the back.
    polls_.assign(order.rbegin(), order.rend());
}

bool AutoTuner::NextSearchPoint() {
    const LoopGains& from = result_.Tests[*best_].Gains;
    for (;;) {
        while (!polls_.empty()) {
            const Move m = polls_.back();
            polls_.pop_back();
            const std::optional<LoopGains> g = Moved(from, m);
            if (!g || Tested(*g)) continue;
            next_ = *g;
            nextMove_ = m;
            return true;
        }
        step_ /= 2;
        if (step_ < kMinLogStep) return false;
        lastMove_ = {};
        Poll();
    }
}

void AutoTuner::Choose() {
    // One test stays for the repeat that confirms the result.
    if (TestsRun() < MaxTests() - 1 && NextSearchPoint()) return;
    confirming_ = true;
    NextConfirmation();
}

void AutoTuner::NextConfirmation() {
    if (TestsRun() >= MaxTests()) {
        Finish(AutoTuneEnd::NoBetter);
        return;
    }
    // The best search point not refuted, better than the start and within reach of the best.
    std::optional<size_t> pick;
    for (size_t k = 1; k < result_.Tests.size(); ++k) {
        if (result_.Tests[k].Repeat) continue;
        if (std::find(refuted_.begin(), refuted_.end(), k) != refuted_.end()) continue;
        const StepScore& s = result_.Tests[k].Score;
        if (!s.Feasible) continue;
        if (result_.StartScore.Feasible && !(s.Iae < result_.StartScore.Iae)) continue;
        if (!pick || SearchBetter(k, *pick) ||
            (!searchScores_[*pick].Feasible && searchScores_[k].Feasible))
            pick = k;
    }
    if (!pick) {
        Finish(AutoTuneEnd::NoBetter);
        return;
    }
    const LoopGains& g = result_.Tests[*pick].Gains;
    const LoopGains& best = result_.Tests[best_.value_or(0)].Gains;
    const auto grows = [](float to, float from) {
        return from > 0 ? to > kMaxGainGrowth * from : false;
    };
    if (grows(g.P, best.P) || grows(g.I, best.I)) {
        refuted_.push_back(*pick);
        NextConfirmation();
        return;
    }
    confirmed_ = *pick;
    next_ = g;
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
