// AutoTuneRun: automatic tuning of one loop on the drive. The tuner (auto_tune.h) names the
// gains of each test; the run tests them one after another as the loop page's Test button
// would (loop_step_test.h), tells the tuner each response, and at the end leaves the drive's
// gain register with the gains the run ends with. Nothing is ever stored to the drive's flash.
// The loop page's Auto-tune button (on a 20 ms timer) and `torvane-cli autotune` (in a loop)
// drive it alike, one Tick at a time.
//
// Before the run the caller has run the loop's test check (step_test_check.h) and stored what
// it produced (StoreStepTestCheck), so the test parameters are staged in DriveState.
//
// How a run ends, and what the drive's gain register holds then:
//   - Finished: the tuner ended (tuned gains confirmed, or none better than the start gains);
//     the tuned gains are written (with Restore, the original gains).
//   - Cancelled (Cancel: the box's button, Ctrl-C): the stop word if a test runs, then the
//     original gains written back.
//   - Failed: a test failed (a write or read failed, the drive answered with an error, the time
//     limit passed), or the last write did: the run ends there. The stop word is sent if the
//     test may still run and the drive still answers; the original gains are written back.
//   When the original gains cannot be written back (a drive that stops answering: "Device no
//   response"), the message names the gains the drive may still hold: the last test's.
// The ParameterSet's loop gains follow what was last written to the gain register.
//
// The messages of the requests and reads (a DriveError's text, kTestTimedOutText) are not shown
// on their own: they open the run's one message, which Report shows once the run is over.
//
// Threads: the thread that runs transactions. Tick and Cancel block for what they send (see
// LoopStepTest; Cancel for up to two writes).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "session/command_context.h"
#include "session/notice_sink.h"
#include "tuning/auto_tune.h"
#include "tuning/loop_gain_check.h"
#include "tuning/loop_step_test.h"
#include "tuning/loop_test_kind.h"
#include "tuning/step_test_analysis.h"

namespace torvane {

// Status polls while a test runs (drive milliseconds, scaled): tests run back to back.
constexpr int kAutoTunePollMs = 20;
constexpr const char* kAutoTuneTitle = "Auto-tune";

struct AutoTuneSetup {
    LoopTest Loop = LoopTest::Speed;
    LoopGains Start;     // the first test's gains
    LoopGains Original;  // what the gain register held before the run
    AutoTuneOptions Options;
    bool Restore = false;  // end with the original gains instead of the tuned ones
};

enum class TuneRunEnd : uint8_t { Running, Finished, Cancelled, Failed };

class AutoTuneRun {
public:
    // After each test that gave a response: the tuner's record of it and the response as the
    // page plots it; the test's capture is still in DriveState.
    using TestHook = std::function<void(const TunedTest&, const StepTestAnalysis&)>;

    explicit AutoTuneRun(const AutoTuneSetup& setup, TestHook onTest = {});

    // One step of the run: start the next test, or poll the running one (and at its end read
    // back its response and tell the tuner), or, once the tuner is done, write the gains the
    // run ends with. Call every kAutoTunePollMs until Done().
    void Tick(CommandContext& ctx);
    // Ends the run now (see above). Nothing once it is done.
    void Cancel(CommandContext& ctx);

    bool Done() const { return end_ != TuneRunEnd::Running; }
    TuneRunEnd End() const { return end_; }
    bool Succeeded() const { return end_ == TuneRunEnd::Finished; }
    // The test that runs now, or the next one: 1 for the first.
    int TestNumber() const;
    const AutoTuner& Tuner() const { return tuner_; }
    const AutoTuneSetup& Setup() const { return setup_; }
    // What the gain register holds once the run is done, when the last write succeeded.
    std::optional<LoopGains> DriveGains() const { return driveGains_; }
    // Once done: what the user is told (see the texts below).
    const std::string& Message() const { return message_; }
    // Shows Message(): a Notice when the run finished, else a Failure (with the warning icon
    // after a cancel, the error icon after a failure).
    void Report(NoticeSink& notices) const;

private:
    // Collects what the requests and reads would show, for the run's one message.
    class Collector : public NoticeSink {
    public:
        void Notice(const std::string& text, NoticeIcon icon = NoticeIcon::None) override;
        bool Confirm(const std::string& text) override;
        const std::vector<std::string>& Texts() const { return texts_; }
        bool NoAnswer() const { return noAnswer_; }

    private:
        std::vector<std::string> texts_;
        bool noAnswer_ = false;
    };

    CommandContext Quiet(CommandContext& ctx) {
        return {ctx.Port, ctx.Link, ctx.Console, collector_, ctx.Timers};
    }
    void Finish(CommandContext& quiet);
    // Stop word when it applies, then the original gains; ends with `end`.
    void EndEarly(CommandContext& quiet, TuneRunEnd end);
    void Compose(bool lastWriteFailed);

    AutoTuneSetup setup_;
    TestHook onTest_;
    AutoTuner tuner_;
    LoopStepTest test_;
    Collector collector_;
    TuneRunEnd end_ = TuneRunEnd::Running;
    int heldTest_ = 0;  // the test whose gains were last sent to the gain register
    LoopGains held_;
    bool restored_ = false;
    std::optional<LoopGains> driveGains_;
    std::string message_;
};

// ---- texts, shared by the page and the command line

// A gain as text: "%g" when that reads back as the same float, else the fewest digits that do
// (up to nine), so that a tested gain printed, or put into an entry and read back by Save, is
// the gain that was tested ("2.934409", not "2.93441").
std::string GainText(float gain);
// The three as the loop page's entries hold them.
GainTexts ExactGainTexts(const LoopGains& gains);
// "P 0.8, I 0.1, D 0" (each with GainText).
std::string GainsText(const LoopGains& gains);
// "Test 3 of at most 30".
std::string TestProgressText(int number, int maxTests);
// "IAE 45.61, overshoot 2.1 %, settled" (or "not settled"); "runs away"; "no step response".
// Numbers with four significant digits; the IAE per unit of step, in period indexes.
std::string ScoreText(const StepScore& score);
// "Test 3: P 1.2, I 0.3, D 0: IAE 45.61, overshoot 2.1 %, settled", " (repeat)" after a
// repeat.
std::string TunedTestLine(const TunedTest& test);
// The best test so far: "Best so far: test 2", its gains, its score; "No test finished yet".
std::vector<std::string> BestSoFarLines(const AutoTuner& tuner);
// "Start: <gains>: <score>" and "Tuned: <gains>: <score>" (the confirming repeat's).
std::vector<std::string> StartAndTunedLines(const AutoTuneResult& result);
// The result beside the page's charts, start -> result: the gains, IAE, overshoot, rise and
// settling time, and the number of tests.
std::vector<std::string> StartToResultLines(const AutoTuneResult& result);

}  // namespace torvane
