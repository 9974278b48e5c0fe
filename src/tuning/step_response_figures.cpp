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
        if (k > 0 && z[k - 1] < level) {
            const double f = (level - z[k - 1]) / (z[k] - z[k - 1]);
            return Crossing{k, x[k - 1] + f * (x[k] - x[k - 1])};
        }
        return Crossing{k, x[k]};
    }
    return std::nullopt;
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
    const std::vector<double> y = Smooth(r.Actual, n, smoothing);

    f.SetInitial = r.Set[0];
    f.SetFinal = r.Set[n - 1];
    size_t k0 = 0;
    while (k0 < n && r.Set[k0] == r.Set[0]) ++k0;
    if (k0 == n) k0 = 0;
    f.StepIndex = k0;
    f.StepX = r.X[k0];

    const size_t tail = std::max<size_t>(
        1, static_cast<size_t>(std::lround(static_cast<double>(n - k0) * kTailFraction)));
    f.InitialValue = k0 > 0 ? Mean(r.Actual, 0, k0) : r.Actual[0];
    f.FinalValue = Mean(r.Actual, n - tail, n);
    f.SteadyStateError = f.SetFinal - f.FinalValue;
    f.IntegralAbsoluteError = IntegralAbsoluteError(r, y, k0, n);
    f.Step = f.SetFinal - f.InitialValue;
    if (k0 == 0 || f.Step == 0) {
        f.Status = FigureStatus::NoStep;
        return f;
    }
    f.SteadyStateErrorPercent = f.SteadyStateError / std::abs(f.Step) * 100.0;

    if (!((f.FinalValue - f.InitialValue) / f.Step >= kFlatFraction)) {
        f.Status = FigureStatus::Flat;
        return f;
    }
    f.Status = FigureStatus::Valid;
    // The response in units of the step: 0 where it started, 1 at the final set value.
    std::vector<double> z(n);
    for (size_t k = 0; k < n; ++k) z[k] = (y[k] - f.InitialValue) / f.Step;
    const double zFinal = (f.FinalValue - f.InitialValue) / f.Step;

    if (const auto low = FirstCrossing(z, r.X, k0, n, kRiseLow)) {
        if (const auto high = FirstCrossing(z, r.X, low->Index, n, kRiseHigh)) {
            f.RiseTime = high->X - low->X;
        }
    }

    const double peak = *std::max_element(z.begin() + static_cast<ptrdiff_t>(k0), z.begin() + n);
    f.OvershootPercent = std::max(0.0, peak - 1.0) * 100.0;

    // The band is 2 % of the way the response really went, so a response that has crept a
    // fraction of the step counts as settled only when it has stopped creeping.
    const double band = kSettlingBand * zFinal;
    auto outside = [&](size_t k) { return std::abs(z[k] - zFinal) > band; };
    f.Settled = true;
    for (size_t k = n - tail; k < n; ++k) f.Settled = f.Settled && !outside(k);
    if (f.Settled) {
        size_t s = n;  // first sample of the run that stays inside the band
        while (s > k0 && !outside(s - 1)) --s;
        double settleX = r.X[s];
        if (s > k0) {
            // Where the response crosses the edge of the band it was last outside of.
            const double before = z[s - 1] - zFinal, after = z[s] - zFinal;
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
    std::string error = "Steady-state error: " + Number(f.SteadyStateError);
    if (f.SteadyStateErrorPercent) error += " (" + Number(*f.SteadyStateErrorPercent) + " %)";
    lines.push_back(error);
    std::string iae =
        "Integral of absolute error: " + Number(f.IntegralAbsoluteError) + " x period";
    if (const auto ms = f.Ms(f.IntegralAbsoluteError)) iae += " (" + Number(*ms) + " x ms)";
    lines.push_back(iae);
    return lines;
}

}  // namespace torvane
