#include "tuning/step_response_figures.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace torvane {

namespace {

std::vector<double> Smooth(const std::vector<double>& y, size_t n, int width) {
    const size_t half = width > 1 ? static_cast<size_t>(width / 2) : 0;
    std::vector<double> out(n);
    // Running sums keep this linear in the record's length whatever the width.
    std::vector<double> prefix(n + 1, 0.0);
    for (size_t k = 0; k < n; ++k) prefix[k + 1] = prefix[k] + y[k];
    for (size_t k = 0; k < n; ++k) {
        const size_t lo = k >= half ? k - half : 0;
        const size_t hi = std::min(n - 1, k + half);
        out[k] = (prefix[hi + 1] - prefix[lo]) / static_cast<double>(hi - lo + 1);
    }
    return out;
}

double Mean(const std::vector<double>& y, size_t from, size_t to) {
    double sum = 0;
    for (size_t k = from; k < to; ++k) sum += y[k];
    return sum / static_cast<double>(to - from);
}

// Standard deviation of white noise on y[from, to) from its successive differences: a slow
// drift or a slow response adds little to them, so a record that still moves does not pass
// its motion off as noise.
double NoiseBySuccessiveDifferences(const std::vector<double>& y, size_t from, size_t to) {
    if (to < from + 2) return 0;
    double sum = 0;
    for (size_t k = from + 1; k < to; ++k) sum += (y[k] - y[k - 1]) * (y[k] - y[k - 1]);
    return std::sqrt(sum / (2.0 * static_cast<double>(to - from - 1)));
}

// Trapezoidal integral of |set - actual| over X from sample `from` to the last one.
double IntegralAbsoluteError(const StepResponse& r, const std::vector<double>& actual, size_t from,
                             size_t n) {
    double sum = 0;
    for (size_t k = from + 1; k < n; ++k) {
        const double a = std::abs(r.Set[k - 1] - actual[k - 1]);
        const double b = std::abs(r.Set[k] - actual[k]);
        sum += 0.5 * (a + b) * (r.X[k] - r.X[k - 1]);
    }
    return sum;
}

struct Crossing {
    size_t Index;  // first sample at or beyond the level
    double X;      // interpolated time of the crossing
};

// First time from sample `from` on at which z reaches `level` (rising).
std::optional<Crossing> FirstCrossing(const std::vector<double>& z, const std::vector<double>& x,
                                      size_t from, size_t n, double level) {
    for (size_t k = from; k < n; ++k) {
        if (z[k] < level) continue;
        if (k > from && z[k - 1] < level) {
            const double f = (level - z[k - 1]) / (z[k] - z[k - 1]);
            return Crossing{k, x[k - 1] + f * (x[k] - x[k - 1])};
        }
        return Crossing{k, x[k]};
    }
    return std::nullopt;
}

// Whether a set value that changes makes one move from its first to its last value.
bool IsSingleStep(const std::vector<double>& set, size_t n) {
    const double move = set[n - 1] - set[0];
    const double lo = std::min(set[0], set[n - 1]), hi = std::max(set[0], set[n - 1]);
    const double range = *std::max_element(set.begin(), set.begin() + static_cast<ptrdiff_t>(n)) -
                         *std::min_element(set.begin(), set.begin() + static_cast<ptrdiff_t>(n));
    const double tol = kTurnBackFraction * std::abs(move);
    // A pulse ends where it started: its move is nothing beside its range.
    if (std::abs(move) <= kTurnBackFraction * range) return false;
    const double sign = move > 0 ? 1.0 : -1.0;
    for (size_t k = 1; k < n; ++k) {
        if ((set[k] - set[k - 1]) * sign < -tol) return false;
        if (set[k] < lo - tol || set[k] > hi + tol) return false;
    }
    // The transition: from the first change to the sample from which the set value stays at
    // its final value; inside it the set value may pause, as a ramp in whole counts does, but
    // not hold as long as a staircase does between its steps.
    size_t first = 1;
    while (first < n && set[first] == set[0]) ++first;
    size_t end = n - 1;
    while (end > first && std::abs(set[end - 1] - set[n - 1]) <= tol) --end;
    const size_t length = end - first + 1;
    const size_t allowed = std::max(kMaxRampPause, length / 4);
    size_t pause = 0;
    for (size_t k = first + 1; k <= end; ++k) {
        pause = set[k] == set[k - 1] ? pause + 1 : 0;
        if (pause > allowed) return false;
    }
    return true;
}

std::string Number(double v) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 4);
    return std::string(buffer, r.ptr);
}

}  // namespace

std::optional<double> StepFigures::Ms(std::optional<double> periods) const {
    if (!periods || PeriodMs <= 0) return std::nullopt;
    return *periods * PeriodMs;
}

std::vector<double> SmoothedActual(const StepResponse& r, int smoothing) {
    return Smooth(r.Actual, r.Actual.size(), smoothing);
}

StepFigures ComputeStepFigures(const StepResponse& r, int smoothing) {
    StepFigures f;
    f.PeriodMs = r.PeriodMs;
    const size_t n = std::min({r.X.size(), r.Set.size(), r.Actual.size()});
    if (n < 2) return f;
    for (size_t k = 0; k < n; ++k) {
        if (!std::isfinite(r.X[k]) || !std::isfinite(r.Set[k]) || !std::isfinite(r.Actual[k]) ||
            (k > 0 && r.X[k] < r.X[k - 1])) {
            f.Status = FigureStatus::InvalidSamples;
            return f;
        }
    }
    const int width = std::max(1, smoothing);
    const std::vector<double> y = Smooth(r.Actual, n, width);

    f.SetInitial = r.Set[0];
    f.SetFinal = r.Set[n - 1];
    size_t k0 = 0;
    while (k0 < n && r.Set[k0] == r.Set[0]) ++k0;
    const bool constantSet = k0 == n;
    if (constantSet) k0 = 0;
    f.StepIndex = k0;
    f.StepX = r.X[k0];

    const size_t tail = std::clamp<size_t>(
        static_cast<size_t>(std::lround(static_cast<double>(n) * kTailFraction)), 1, n - k0);
    f.FinalValue = Mean(r.Actual, n - tail, n);
    f.IntegralAbsoluteError = IntegralAbsoluteError(r, y, k0, n);

    if (!constantSet && !IsSingleStep(r.Set, n)) {
        f.Status = FigureStatus::NotSingleStep;
        f.InitialValue = Mean(r.Actual, 0, k0);
        f.Step = f.SetFinal - f.InitialValue;
        f.SteadyStateError = f.SetFinal - f.FinalValue;
        return f;
    }

    f.Noise = k0 >= kNoiseSamples ? NoiseBySuccessiveDifferences(r.Actual, 0, k0)
                                  : NoiseBySuccessiveDifferences(r.Actual, n - tail, n);
    f.InitialValue = k0 > 0 ? Mean(r.Actual, 0, k0) : r.Actual[0];
    f.Step = f.SetFinal - f.InitialValue;
    const double size = std::abs(f.Step);
    // A record that starts at the step instant: the set value never changes, but the response
    // starts away from it.
    const bool stepsAtStart =
        constantSet && size > kFlatFraction * std::abs(f.SetFinal) && size > kNoiseSigmas * f.Noise;
    if ((constantSet && !stepsAtStart) || size == 0 || size <= kNoiseSigmas * f.Noise) {
        f.Status = FigureStatus::NoStep;
        f.SteadyStateError = f.SetFinal - f.FinalValue;
        return f;
    }
    const double sign = f.Step > 0 ? 1.0 : -1.0;
    f.NoiseAllowance = std::min(kNoiseSigmas * f.Noise / std::sqrt(static_cast<double>(width)),
                                kMaxNoiseAllowance * size);
    f.SteadyStateError = (f.SetFinal - f.FinalValue) * sign;
    f.SteadyStateErrorPercent = f.SteadyStateError / size * 100.0;
    f.IaePerStep = f.IntegralAbsoluteError / size;

    if (!((f.FinalValue - f.InitialValue) / f.Step >= kFlatFraction)) {
        f.Status = FigureStatus::Flat;
        return f;
    }
    f.Status = FigureStatus::Valid;
    // The response in units of the step: 0 where it started, 1 at the final set value.
    std::vector<double> z(n);
    for (size_t k = 0; k < n; ++k) z[k] = (y[k] - f.InitialValue) / f.Step;

    if (const auto low = FirstCrossing(z, r.X, k0, n, kRiseLow)) {
        if (const auto high = FirstCrossing(z, r.X, low->Index, n, kRiseHigh)) {
            f.RiseTime = high->X - low->X;
        }
    }

    const double peak = *std::max_element(z.begin() + static_cast<ptrdiff_t>(k0), z.begin() + n);
    const double beyond = (peak - 1.0) * size;
    f.OvershootPercent = beyond > f.NoiseAllowance ? (peak - 1.0) * 100.0 : 0.0;

    const double band = std::max(kSettlingBand * size, f.NoiseAllowance);
    auto distance = [&](size_t k) { return std::abs(y[k] - f.SetFinal); };
    double tailDeviation = 0;
    for (size_t k = n - tail; k < n; ++k) tailDeviation = std::max(tailDeviation, distance(k));
    f.TailDeviationPercent = tailDeviation / size * 100.0;
    f.Settled = tailDeviation <= band;
    if (f.Settled) {
        size_t s = n;  // first sample of the run that stays inside the band
        while (s > k0 && distance(s - 1) <= band) --s;
        double settleX = r.X[s];
        if (s > k0) {
            // Where the response crosses the edge of the band it was last outside of.
            const double before = y[s - 1] - f.SetFinal, after = y[s] - f.SetFinal;
            const double edge = before > 0 ? band : -band;
            const double frac = (before - edge) / (before - after);
            settleX = r.X[s - 1] + frac * (r.X[s] - r.X[s - 1]);
        }
        f.SettlingTime = settleX - f.StepX;
    }
    return f;
}

std::vector<std::string> FormatStepFigures(const StepFigures& f) {
    std::vector<std::string> lines;
    auto time = [&](const std::optional<double>& periods) {
        std::string text = Number(*periods) + " periods";
        if (const auto ms = f.Ms(periods)) text += " (" + Number(*ms) + " ms)";
        return text;
    };
    switch (f.Status) {
        case FigureStatus::TooFewSamples:
            lines.push_back("No response figures: fewer than two records");
            return lines;
        case FigureStatus::InvalidSamples:
            lines.push_back("No response figures: the records hold invalid numbers");
            return lines;
        case FigureStatus::NoStep:
            lines.push_back("The set value does not step: no rise, overshoot or settling");
            break;
        case FigureStatus::NotSingleStep:
            lines.push_back("The set value is not a single step: no rise, overshoot or settling");
            break;
        case FigureStatus::Flat:
            lines.push_back("The response does not follow the step");
            break;
        case FigureStatus::Valid:
            lines.push_back("Rise time (10-90 %): " +
                            (f.RiseTime ? time(f.RiseTime) : std::string("not reached")));
            lines.push_back("Overshoot: " + Number(f.OvershootPercent.value_or(0)) + " %");
            lines.push_back("Settling time (2 %): " +
                            (f.SettlingTime ? time(f.SettlingTime)
                                            : std::string("not settled within the record")));
            break;
    }
    if (f.Status != FigureStatus::NotSingleStep) {
        std::string error = "Steady-state error: " + Number(f.SteadyStateError);
        if (f.SteadyStateErrorPercent) error += " (" + Number(*f.SteadyStateErrorPercent) + " %)";
        lines.push_back(error);
    }
    std::string iae =
        "Integral of absolute error: " + Number(f.IntegralAbsoluteError) + " x period";
    if (const auto ms = f.Ms(f.IntegralAbsoluteError)) iae += " (" + Number(*ms) + " x ms)";
    lines.push_back(iae);
    return lines;
}

}  // namespace torvane
