#include "tuning/auto_tune.h"

#include <algorithm>
#include <cmath>
#include <numbers>

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

// One gain moved by `log2Delta` from `from`, within [lo, hi] and at most x2 above `from` (from 0:
// to the first gain, upward moves only).
float MovedGain(float from, double log2Delta, float lo, float hi) {
    if (log2Delta == 0) return from;
    double to;
    if (from <= 0) {
        if (log2Delta < 0) return from;
        to = lo + kFirstGainFraction * (static_cast<double>(hi) - lo);
    } else {
        to = std::min(from * std::exp2(log2Delta), kMaxGainGrowth * from);
    }
    float g = static_cast<float>(std::clamp(to, static_cast<double>(lo), static_cast<double>(hi)));
    if (from > 0 && g > kMaxGainGrowth * from) g = static_cast<float>(kMaxGainGrowth * from);
    return std::isfinite(g) ? g : from;
}

// How much the measurement noise alone moves a record's IAE per step from one test to the next
// (a standard deviation): the noise, smoothed, is integrated over the record after the step;
// its mean absolute value sums over (samples / smoothing) independent stretches, and the sum
// varies by sqrt(pi / 2 - 1) of its mean over the square root of their number.
double IaeNoise(const StepResponse& r, const StepFigures& f) {
    if (f.Noise <= 0 || f.Step == 0 || r.X.size() < 2 || f.StepIndex + 1 >= r.X.size()) return 0;
    const double span = r.X.back() - r.X[f.StepIndex];
    const double samples = static_cast<double>(r.X.size() - f.StepIndex);
    const double floor = f.Noise / std::sqrt(static_cast<double>(kDefaultSmoothing)) *
                         std::sqrt(2 / std::numbers::pi) * span / std::abs(f.Step);
    const double stretches = std::max(1.0, samples / kDefaultSmoothing);
    return floor * std::sqrt(std::numbers::pi / 2 - 1) / std::sqrt(stretches);
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
    iaeNoise_.push_back(IaeNoise(response, t.Score.Figures));
    const size_t told = result_.Tests.size() - 1;
    if (told == 0) result_.StartScore = t.Score;

    if (confirming_) {
        const StepScore& start = result_.StartScore;
        // The repeat meets the search's tighter overshoot too: gains near a cliff, which ring in
        // some tests and not in others, rarely pass twice.
        const bool holds = t.Score.Feasible && searchScores_.back().Feasible &&
                           (!start.Feasible || t.Score.Iae < start.Iae);
        if (holds && --repeatsLeft_ > 0) return;  // the same gains once more
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
    if (sa.Feasible && sb.Feasible) {
        const double margin = std::max(kMinImprovement * sb.Iae,
                                       kNoiseMargin * std::hypot(iaeNoise_[a], iaeNoise_[b]));
        return sa.Iae < sb.Iae - margin;
    }
    return BetterScore(sa, sb);
}

std::optional<LoopGains> AutoTuner::Moved(const LoopGains& from, Move m) const {
    const GainBounds& b = request_.Bounds;
    const LoopGains g{MovedGain(from.P, m.P, b.Min.P, b.Max.P),
                      MovedGain(from.I, m.I, b.Min.I, b.Max.I), from.D};
    if (Same(g.P, from.P) && Same(g.I, from.I)) return std::nullopt;
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
    const double h = step_;
    if (s.Runaway || std::isinf(s.Violation) || s.OvershootPercent > allowed) {
        order = {{-h, 0}, {0, -h}, {0, h}, {h, 0}};
    } else if (!s.Settled) {
        order = {{0, h}, {h, 0}, {0, -h}, {-h, 0}};
    } else {
        order = {{h, 0}, {0, h}, {-h, 0}, {0, -h}};
    }
    // The move that brought the search here is the likeliest to go on paying; before it, a
    // gain still at 0 gets its first value, while the other gain is still modest.
    const LoopGains& g = result_.Tests[*best_].Gains;
    const Move first = g.I <= 0 ? Move{0, h} : (g.P <= 0 ? Move{h, 0} : lastMove_);
    if (first.P != 0 || first.I != 0) {
        std::erase_if(order, [&](Move m) { return m.P == first.P && m.I == first.I; });
        order.insert(order.begin(), first);
    }
    // Popped from the back.
    polls_.assign(order.rbegin(), order.rend());
}

bool AutoTuner::NextSearchPoint() {
    if (modelTried_) return false;
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
        if (step_ / 2 >= kMinLogStep) {
            step_ /= 2;
            lastMove_ = {};
            Poll();
            continue;
        }
        // Nothing around the best point at the finest step was better: last, the point the
        // tests around it point to.
        modelTried_ = true;
        const std::optional<Move> m = ModelMove();
        if (!m) return false;
        const std::optional<LoopGains> g = Moved(from, *m);
        if (!g || Tested(*g)) return false;
        next_ = *g;
        nextMove_ = *m;
        return true;
    }
}

std::optional<size_t> AutoTuner::TestOf(const LoopGains& g) const {
    for (size_t k = 0; k < result_.Tests.size(); ++k) {
        const LoopGains& t = result_.Tests[k].Gains;
        if (Same(t.P, g.P) && Same(t.I, g.I)) return k;
    }
    return std::nullopt;
}

// Where the tests around the best point say the best lies, once a poll at the last step found
// nothing better: along each gain, the least of the parabola through log IAE at -h, 0 and +h,
// held inside the overshoot limit by a straight line through the overshoots; both gains moved
// together, and drawn back along the line again if the two overshoots' rises add up beyond the
// limit. nullopt when there is nothing to gain.
std::optional<AutoTuner::Move> AutoTuner::ModelMove() const {
    const size_t b = *best_;
    const StepScore& s0 = searchScores_[b];
    if (!s0.Feasible) return std::nullopt;
    const LoopGains& g0 = result_.Tests[b].Gains;
    const double allowed = request_.Options.MaxOvershootPercent * kSearchOvershootShare;
    const double h = step_;
    const double f0 = std::log(s0.Iae);
    double t[2] = {0, 0};
    double rise[2] = {0, 0};  // overshoot per unit of t, on the side moved to
    for (int axis = 0; axis < 2; ++axis) {
        const float from = axis == 0 ? g0.P : g0.I;
        if (from <= 0) continue;
        double f[2], os[2], edge[2];
        bool known[2], feasible[2];
        for (int side = 0; side < 2; ++side) {
            const double sign = side == 0 ? -1.0 : 1.0;
            LoopGains g = g0;
            (axis == 0 ? g.P : g.I) = static_cast<float>(from * std::exp2(sign * h));
            const std::optional<size_t> k = TestOf(g);
            known[side] = k.has_value();
            feasible[side] = known[side] && searchScores_[*k].Feasible;
            f[side] = feasible[side] ? std::log(searchScores_[*k].Iae) : 0;
            os[side] = known[side] ? searchScores_[*k].OvershootPercent : 0;
            // How far this side may go: the whole step when its point met the limits; up to
            // where a straight line through the overshoots crosses the limit when it settled
            // but overshot; nowhere when it did not settle (a loop that hums has crossed a
            // cliff, not a slope), ran away or was not tested.
            edge[side] = 0;
            if (feasible[side]) {
                edge[side] = h;
            } else if (known[side] && searchScores_[*k].Settled && !searchScores_[*k].Runaway &&
                       os[side] > allowed && os[side] > s0.OvershootPercent) {
                edge[side] = h * (allowed - s0.OvershootPercent) / (os[side] - s0.OvershootPercent);
            }
        }
        double best = 0;
        if (feasible[0] && feasible[1]) {
            const double a = (f[1] + f[0] - 2 * f0) / (2 * h * h);
            const double slope = (f[1] - f[0]) / (2 * h);
            best = a > 0 ? -slope / (2 * a) : (f[1] < f[0] ? h : -h);
        } else if (feasible[0] != feasible[1]) {
            // The tested side did not pay: the other is where the gain lies, up to its edge.
            best = feasible[0] ? edge[1] : -edge[0];
        }
        best = std::clamp(best, -edge[0], edge[1]);
        t[axis] = best;
        const int side = best >= 0 ? 1 : 0;
        if (known[side]) rise[axis] = (os[side] - s0.OvershootPercent) / h;
    }
    const double riseTotal = std::max(0.0, rise[0] * std::abs(t[0])) + std::max(0.0, rise[1] * std::abs(t[1]));
    if (riseTotal > 0 && s0.OvershootPercent + riseTotal > allowed) {
        const double back = std::max(0.0, (allowed - s0.OvershootPercent) / riseTotal);
        t[0] *= back;
        t[1] *= back;
    }
    if (std::abs(t[0]) < kMinLogStep / 4 && std::abs(t[1]) < kMinLogStep / 4) return std::nullopt;
    return Move{t[0], t[1]};
}

void AutoTuner::Choose() {
    // One test stays for the repeat that confirms the result.
    if (TestsRun() < MaxTests() - 1 && NextSearchPoint()) return;
    confirming_ = true;
    NextConfirmation();
}

// A point one finest step from gains that hum or run away sits on the edge of a cliff: a loop
// that rings in some tests and not in others there passes two tests by chance, and three
// rarely.
bool AutoTuner::OnCliff(size_t k) const {
    const LoopGains& g = result_.Tests[k].Gains;
    const auto near = [](float a, float b) {
        if (a <= 0 || b <= 0) return a == b;
        return std::abs(std::log2(static_cast<double>(a) / b)) <= kMinLogStep * 1.05;
    };
    for (size_t j = 0; j < result_.Tests.size(); ++j) {
        const LoopGains& o = result_.Tests[j].Gains;
        if (j == k || !near(o.P, g.P) || !near(o.I, g.I)) continue;
        const StepScore& s = searchScores_[j];
        if (s.Runaway || std::isinf(s.Violation) ||
            (!s.Settled && s.Iae > kCliffIae * searchScores_[k].Iae))
            return true;
    }
    return false;
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
        // Gains by a cliff are confirmed by two repeats.
        if (OnCliff(k) && MaxTests() - TestsRun() < 2) continue;
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
    repeatsLeft_ = OnCliff(*pick) ? 2 : 1;
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
