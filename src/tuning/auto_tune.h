// Automatic loop tuning: what a step test is judged by.
//
// The objective, used alike by the tuner, its tests and the benchmarks (bench/plant_sweep,
// bench/autotune_bench):
//
//   minimise   IaePerStep: the IAE of the step (|set value - actual value| integrated over the
//              record's X from the step instant to the last record), divided by |Step|; in
//              period indexes, so it does not depend on the size of the step or its unit;
//   subject to OvershootPercent <= the allowed overshoot (kDefaultMaxOvershoot, 5 %), and
//              Settled: the last tenth of the record within +-2 % of the step around the set
//              value.
//
// Every quantity is the response figures' (step_response_figures.h, with their default
// smoothing and noise allowance); a noise-free record is judged on its samples as they are.
// A response is Feasible when it has figures (one step that the response follows), does not
// run away, and meets both constraints.
//
// Runaway: after the step instant the smoothed response goes more than half the step beyond
// the set value, or more than half the step the wrong way, or, once it has come within half
// the step of the set value, leaves that band again. A runaway is the worst result there is,
// worse than any response that does not run away.
//
// Pure functions; any thread.
#pragma once

#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "tuning/loop_gain_check.h"
#include "tuning/loop_test_kind.h"
#include "tuning/step_response_figures.h"

namespace torvane {

constexpr double kDefaultMaxOvershoot = 5.0;  // %
constexpr double kRunawayFraction = 0.5;      // of the step, around the set value

struct StepScore {
    StepFigures Figures;
    // IaePerStep; +infinity when the record has no step figures (no single step, too few or
    // invalid samples).
    double Iae = std::numeric_limits<double>::infinity();
    double OvershootPercent = 0;
    bool Settled = false;
    bool Runaway = false;
    bool Feasible = false;
    // How far an infeasible response misses the constraints (0 when it meets them): the
    // overshoot beyond the allowed one plus the tail's deviation beyond the band, both in % of
    // the step; +infinity for a response without figures or one that runs away.
    double Violation = std::numeric_limits<double>::infinity();
};

StepScore ScoreStep(const StepResponse& response, double maxOvershootPercent = kDefaultMaxOvershoot);

// True when `a` is the better result: feasible before infeasible; among feasible ones the
// lower Iae; among infeasible ones the smaller Violation, then the lower Iae. A runaway or a
// record without figures is never better than anything.
bool BetterScore(const StepScore& a, const StepScore& b);

// ---- the tuner
//
// It knows the drive only through the step tests it asks for: nothing depends on how a drive
// scales its gains. It searches P and I (D stays as it started) in the logarithm of each gain,
// inside the page's limits, and ends with gains that were tested and confirmed by a repeat test,
// or with the gains it started from.
//
// Safety, whatever the search wants:
//   - the first test runs the start gains;
//   - every gain asked for is finite and inside [Min, Max] of its term;
//   - a gain grows at most x2 from the best tested so far in one test (a gain that is 0 in the
//     best so far may go to kFirstGainFraction of its term's range at most);
//   - a response that runs away is the worst result (ScoreStep, BetterScore);
//   - a failed test ends the run (Fail);
//   - the result is only ever gains that were tested, then confirmed by a repeat.

constexpr int kDefaultMaxTests = 30;
constexpr double kMaxGainGrowth = 2.0;
constexpr double kFirstGainFraction = 1.0 / 8;

struct GainBounds {
    LoopGains Min, Max;  // inclusive, per term
};

// The loop page's limits of `loop`'s P, I and D (the parameter field table).
GainBounds PageGainBounds(LoopTest loop);

struct AutoTuneOptions {
    double MaxOvershootPercent = kDefaultMaxOvershoot;
    int MaxTests = kDefaultMaxTests;  // every test counts, the first and the repeats included
};

struct AutoTuneRequest {
    LoopTest Loop = LoopTest::Speed;
    LoopGains Start;  // the drive's present gains
    GainBounds Bounds;
    AutoTuneOptions Options;
};

// One test the tuner ran: its number (1 for the first), the gains and their score.
struct TunedTest {
    int Number = 0;
    LoopGains Gains;
    StepScore Score;
    bool Repeat = false;  // a repeat of gains tested before, to confirm them
};

enum class AutoTuneEnd : uint8_t {
    Running,
    Tuned,       // tuned gains found and confirmed (they may equal the start gains)
    NoBetter,    // nothing better than the start gains was confirmed: Tuned = Start
    TestFailed,  // a test failed (Fail): Tuned = Start
    Cancelled,   // Cancel: Tuned = Start
};

struct AutoTuneResult {
    AutoTuneEnd End = AutoTuneEnd::Running;
    LoopGains Start, Tuned;
    StepScore StartScore;  // the first test's
    StepScore TunedScore;  // the confirming repeat's (the first test's when Tuned = Start)
    std::vector<TunedTest> Tests;
    bool Improved() const { return End == AutoTuneEnd::Tuned && !(Tuned == Start); }
};

// Ask and tell: Next() names the gains of the next test, and the caller runs it and hands the
// response to Tell (or reports with Fail that it could not be run). Driven alike by a blocking
// loop (RunAutoTune, the command line) and by a window's timer.
//
// The search, in log2 of P and of I (D stays as it started):
//   - a compass search from the best gains so far: a poll tries P and I up and down by the
//     present step (x2 at first), the likely direction first (down when the response
//     overshoots, up when it is slow; a gain still at 0 gets its first value; the move that
//     reached the best point again), moves to the first point that is better, and halves the
//     step when none is, down to kMinLogStep;
//   - then one step to where the tests around the best point say the best lies (per gain, the
//     least of a parabola through log IAE, held inside the overshoot limit by a straight line
//     through the overshoots, never across a point that did not settle);
//   - "better": feasible before infeasible (BetterScore); between feasible points a lower IAE
//     by more than kMinImprovement and more than kNoiseMargin standard deviations of what the
//     measurement noise alone moves the two IAEs by (estimated from each record's noise);
//   - while searching, the overshoot allowed is kSearchOvershootShare of the user's, so that
//     the best point does not sit on the limit where a repeat's noise would throw it out;
//   - last, the best point is repeated: the repeat must meet the user's constraints, the
//     search's overshoot and beat the start. A point within kMinLogStep of gains that hum or
//     run away (not settled with kCliffIae times its IAE) is repeated twice. Failing that, the
//     next best is tried while tests remain; failing all, the start gains stay.
constexpr double kMinLogStep = 1.0 / 4;
constexpr double kSearchOvershootShare = 0.85;
constexpr double kMinImprovement = 0.01;
constexpr double kNoiseMargin = 2.0;
constexpr double kCliffIae = 3.0;

class AutoTuner {
public:
    explicit AutoTuner(const AutoTuneRequest& request);

    // The gains of the next test; the same until Tell or Fail. nullopt once the run is over.
    std::optional<LoopGains> Next() const;
    void Tell(const StepResponse& response);
    void Fail();
    void Cancel();

    bool Done() const { return result_.End != AutoTuneEnd::Running; }
    int TestsRun() const { return static_cast<int>(result_.Tests.size()); }
    int MaxTests() const { return request_.Options.MaxTests; }
    // The best test so far (nullopt before the first).
    std::optional<TunedTest> Best() const;
    const AutoTuneResult& Result() const { return result_; }
    const AutoTuneRequest& Request() const { return request_; }

private:
    struct Move {
        double P = 0, I = 0;  // log2 of the factor each gain is multiplied by
    };
    void Choose();  // sets next_ or ends the run
    void Poll();    // fills polls_ around the best point at the present step
    bool NextSearchPoint();
    void NextConfirmation();
    std::optional<LoopGains> Moved(const LoopGains& from, Move m) const;
    bool Tested(const LoopGains& g) const;
    std::optional<size_t> TestOf(const LoopGains& g) const;
    bool OnCliff(size_t k) const;
    std::optional<Move> ModelMove() const;
    bool SearchBetter(size_t a, size_t b) const;
    void Finish(AutoTuneEnd end);

    AutoTuneRequest request_;
    AutoTuneResult result_;
    std::optional<LoopGains> next_;
    Move nextMove_;
    std::optional<size_t> best_;  // index into result_.Tests, by the search's ranking
    std::vector<StepScore> searchScores_;  // each test under the search's overshoot limit
    std::vector<double> iaeNoise_;         // what the noise alone moves each test's IAE by
    std::vector<Move> polls_;              // the moves still to try around the best point
    Move lastMove_;                        // the move that reached the best point
    double step_ = 1.0;                    // log2 of the factor a move multiplies a gain by
    bool modelTried_ = false;
    bool confirming_ = false;
    std::vector<size_t> refuted_;  // tests whose repeat failed
    size_t confirmed_ = 0;         // the test the running repeat confirms
    int repeatsLeft_ = 0;          // repeats it still needs
};

// Runs one step test with the gains given and returns its response, or nullopt when the test
// failed (the caller has told the user why).
using StepTestRunner = std::function<std::optional<StepResponse>(const LoopGains&)>;

// The whole run, blocking: Next, the runner, Tell (or Fail), until done. `cancelled`, when
// given, is asked before each test.
AutoTuneResult RunAutoTune(const AutoTuneRequest& request, const StepTestRunner& run,
                           const std::function<bool()>& cancelled = {});

}  // namespace torvane
