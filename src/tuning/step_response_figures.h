// Response figures of a step test: what an engineer reads off a step response by eye, computed
// from the records.
//
// Input: samples (X, set value, actual value) in record order; X is the period index (the
// record number for the current test) and must not decrease. The period's length in
// milliseconds is given where it is known (0.066 for the current and speed loops).
//
// Definitions:
//   - Step instant k0: the first sample whose set value differs from the first sample's. A
//     record whose set value never changes has no step (NoStep): only the steady-state error
//     and the IAE are given, over the whole record.
//   - SetInitial is the first sample's set value, SetFinal the last sample's. A ramped set
//     value (the position test's move) counts from the start of its change, so the times
//     include the ramp.
//   - Smoothing: the times, the overshoot and the IAE use the actual values smoothed by a
//     centred moving average over `smoothing` samples (5 by default; fewer at the ends of the
//     record; 1 switches it off), so that measurement noise does not pass for overshoot or
//     keep a settled response from counting as settled. Times shorter than about the
//     smoothing width are not resolved.
//   - Tail: the last tenth of the samples from k0 on (at least one sample).
//   - InitialValue: the mean of the actual values before k0. FinalValue: the mean of the
//     actual values over the tail.
//   - The step is the way the response was told to go: Step = SetFinal - InitialValue. The
//     rise time and the overshoot are relative to it, so they read the same for a negative
//     step as for a positive one, and the overshoot is measured against the set value, as on
//     the chart. A step of 0 (the set value ends where the response started) counts as NoStep.
//   - Flat: the response moved by less than 10 % of the step, or against it. Then only the
//     steady-state error and the IAE are given.
//   - Rise time: from the first time the response reaches 10 % of the step to the first time
//     after it reaches 90 %, each crossing interpolated linearly between two samples. None
//     when the response never reaches 90 % (a large steady-state error).
//   - Overshoot: how far the response goes beyond the final set value, in % of the step; 0
//     when it never does.
//   - Settling time: from the step instant to the time after which the response stays within
//     +-2 % of its own travel (FinalValue - InitialValue) around its final value (the crossing
//     of the band's edge interpolated). The response counts as settled only when the whole tail
//     lies within that band; otherwise it did not settle within the record: Settled is false and
//     there is no settling time.
//   - Steady-state error: SetFinal - FinalValue, in the record's unit (A, rpm, counts), and in
//     % of the step.
//   - IAE: the integral of |set value - actual value| over X from the step instant to the last
//     sample (trapezoidal), in the record's unit x period indexes (x ms where known).
//
// Pure functions; any thread.
#pragma once

#include <cstddef>
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
    NoStep,          // the set value never changes, or ends where the response started
    Flat,            // the response does not follow the step
};

constexpr double kRiseLow = 0.10;
constexpr double kRiseHigh = 0.90;
constexpr double kSettlingBand = 0.02;
constexpr double kTailFraction = 0.10;
constexpr double kFlatFraction = 0.10;
constexpr int kDefaultSmoothing = 5;

struct StepFigures {
    FigureStatus Status = FigureStatus::TooFewSamples;
    size_t StepIndex = 0;  // k0
    double StepX = 0;      // X of k0
    double SetInitial = 0, SetFinal = 0;
    double InitialValue = 0, FinalValue = 0;
    double Step = 0;  // SetFinal - InitialValue

    std::optional<double> RiseTime;          // period indexes
    std::optional<double> OvershootPercent;  // % of the step, beyond SetFinal
    bool Settled = false;
    std::optional<double> SettlingTime;             // period indexes from the step instant
    double SteadyStateError = 0;                    // SetFinal - FinalValue
    std::optional<double> SteadyStateErrorPercent;  // of |Step|
    double IntegralAbsoluteError = 0;               // unit x period indexes

    double PeriodMs = 0;  // copied from the response
    // `periods` in milliseconds; nullopt when it is missing or the period is unknown.
    std::optional<double> Ms(std::optional<double> periods) const;
};

StepFigures ComputeStepFigures(const StepResponse& response, int smoothing = kDefaultSmoothing);

// The figures as lines of text for a window or a terminal ("Rise time: 123.4 periods
// (8.144 ms)" ...), numbers with four significant digits and a dot.
std::vector<std::string> FormatStepFigures(const StepFigures& figures);

}  // namespace torvane
