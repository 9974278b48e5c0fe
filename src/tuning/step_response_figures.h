// Response figures of a step test: what an engineer reads off a step response by eye, computed
// from the records, and what automatic tuning judges a response by.
//
// Input: samples (X, set value, actual value) in record order; X is the period index (the
// record number for the current test) and must not decrease. The period's length in
// milliseconds is given where it is known (0.066 for the current and speed loops).
//
// Definitions (n samples, k = 0 .. n-1):
//   - Smoothing: the times, the overshoot, the settling and the IAE use the actual values
//     smoothed by a centred moving average over `smoothing` samples (5 by default; fewer at the
//     ends of the record; 1 switches it off). Times shorter than about the smoothing width are
//     not resolved.
//   - One step. The set value must make one move: from SetInitial = Set[0] to
//     SetFinal = Set[n-1], never turning back (by more than 0.5 % of the move) and in one
//     transition: a jump, or a ramp (the position test's profile) whose pauses (runs of
//     samples that hold still inside it) last at most max(kMaxRampPause, a quarter of the
//     ramp's length) samples. A set value that returns (a pulse: SetFinal = SetInitial),
//     oscillates (the current test's sinusoid) or steps more than once is NotSingleStep: only
//     the IAE is given, from the first change of the set value.
//   - Step instant k0: the first sample whose set value differs from Set[0]; times count from
//     it, so a ramp's times include the ramp.
//   - A set value constant from the first record: the drive started its record at the step
//     instant when the actual value's first sample lies away from the set value (by more than
//     kFlatFraction of the set value and more than the noise allowance below). Then k0 = 0 and
//     InitialValue = Actual[0]. Otherwise the set value does not step: NoStep, and only the
//     steady-state error and the IAE (over the whole record) are given.
//   - InitialValue: the mean of the actual values before k0 (Actual[0] when k0 = 0).
//     Step = SetFinal - InitialValue, the way the response was told to go; all relative
//     figures are in units of |Step|, so they read the same for falling as for rising steps.
//     A Step no larger than kNoiseSigmas x Noise (or 0) is NoStep.
//   - Tail: the last tenth of the record (round(n / 10) samples, at least one, at most n - k0).
//     FinalValue: the mean of the actual values over the tail.
//   - Noise: the standard deviation of the measurement noise, estimated from the record
//     itself by successive differences (sqrt(mean((a[k] - a[k-1])^2) / 2), which a slow drift
//     or a slow response barely touches): over the samples before k0 when there are at least
//     kNoiseSamples of them, otherwise over the tail. The noise allowance is what the noise can
//     move the smoothed values by: kNoiseSigmas x Noise / sqrt(smoothing), at most
//     kMaxNoiseAllowance x |Step|. A record without noise has an allowance of 0.
//   - Flat: the response moved by less than kFlatFraction of the step, or against it
//     ((FinalValue - InitialValue) / Step < kFlatFraction). Then only the steady-state error
//     and the IAE are given.
//   - Rise time: from the first time the smoothed response reaches 10 % of the step to the
//     first time after it reaches 90 %, each crossing interpolated linearly between two
//     samples. None when the response never reaches 90 %.
//   - Overshoot: how far the smoothed response goes beyond SetFinal after k0, in % of |Step|;
//     0 when it never does, or when the excursion is within the noise allowance.
//   - Settling band: SetFinal +- max(kSettlingBand x |Step|, noise allowance). The band is
//     around the set value, not around where the response ended, so a response that stalls
//     short of the set value is not settled.
//   - Settled: every smoothed sample of the tail lies within the settling band. Settling time:
//     from the step instant to the time after which the smoothed response stays within the
//     band (the crossing of the band's edge interpolated). A response that is not settled has
//     no settling time ("not settled within the record").
//   - TailDeviationPercent: the largest distance of the smoothed response from SetFinal over
//     the tail, in % of |Step|.
//   - Steady-state error: (SetFinal - FinalValue) x sign(Step), in the record's unit (A, rpm,
//     counts): positive when the response stops short of the set value, negative when it ends
//     beyond it, for rising and falling steps alike; in % of |Step| too. Without a step
//     (NoStep) it is SetFinal - FinalValue.
//   - IAE: the integral of |set value - smoothed actual value| over X from the step instant to
//     the last sample (trapezoidal), in the record's unit x period indexes (x ms where known).
//     IaePerStep: IAE / |Step|, in period indexes: the time-weighted error of a unit step.
//
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

struct StepResponse {
    std::vector<double> X;       // period index of each sample
    std::vector<double> Set;     // set value
    std::vector<double> Actual;  // actual value
    double PeriodMs = 0;         // milliseconds per period index; 0: unknown
};

enum class FigureStatus : uint8_t {
    Valid,           // every figure computed (the settling time may still be missing)
    TooFewSamples,   // fewer than two samples: nothing computed
    InvalidSamples,  // an X below its predecessor's, or a value not finite: nothing computed
    NoStep,          // the set value never changes (and the response starts on it)
    NotSingleStep,   // the set value returns, oscillates or steps more than once
    Flat,            // the response does not follow the step
};

constexpr double kRiseLow = 0.10;
constexpr double kRiseHigh = 0.90;
constexpr double kSettlingBand = 0.02;
constexpr double kTailFraction = 0.10;
constexpr double kFlatFraction = 0.10;
constexpr double kTurnBackFraction = 0.005;  // of the set value's move
constexpr size_t kMaxRampPause = 3;          // samples
constexpr size_t kNoiseSamples = 8;
constexpr double kNoiseSigmas = 3.5;
constexpr double kMaxNoiseAllowance = 0.03;  // of |Step|
constexpr int kDefaultSmoothing = 5;

struct StepFigures {
    FigureStatus Status = FigureStatus::TooFewSamples;
    size_t StepIndex = 0;  // k0
    double StepX = 0;      // X of k0
    double SetInitial = 0, SetFinal = 0;
    double InitialValue = 0, FinalValue = 0;
    double Step = 0;  // SetFinal - InitialValue
    double Noise = 0;            // estimated standard deviation of the measurement noise
    double NoiseAllowance = 0;   // in the record's unit

    std::optional<double> RiseTime;          // period indexes
    std::optional<double> OvershootPercent;  // % of |Step|, beyond SetFinal
    bool Settled = false;
    std::optional<double> SettlingTime;             // period indexes from the step instant
    std::optional<double> TailDeviationPercent;     // % of |Step|
    double SteadyStateError = 0;                    // see the definitions above
    std::optional<double> SteadyStateErrorPercent;  // of |Step|
    double IntegralAbsoluteError = 0;               // unit x period indexes
    std::optional<double> IaePerStep;               // period indexes

    double PeriodMs = 0;  // copied from the response
    // `periods` in milliseconds; nullopt when it is missing or the period is unknown.
    std::optional<double> Ms(std::optional<double> periods) const;
};

StepFigures ComputeStepFigures(const StepResponse& response, int smoothing = kDefaultSmoothing);

// The smoothed actual values the figures are computed from (same length as the response).
std::vector<double> SmoothedActual(const StepResponse& response, int smoothing = kDefaultSmoothing);

// The figures as lines of text for a window or a terminal ("Rise time: 123.4 periods
// (8.144 ms)" ...), numbers with four significant digits and a dot.
std::vector<std::string> FormatStepFigures(const StepFigures& figures);

}  // namespace torvane
