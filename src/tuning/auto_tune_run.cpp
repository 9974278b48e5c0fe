#include "tuning/auto_tune_run.h"

#include <algorithm>
#include <cmath>

#include "protocol/number_text.h"

namespace torvane {

namespace {

std::string Number(double v) {
    return FormatG(v, 4);
}

// "the speed loop"
std::string LoopName(LoopTest loop) {
    return std::string("the ") + TraitsOf(loop).Name + " loop";
}

std::string Capitalised(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = char(text[0] - 'a' + 'A');
    return text;
}

std::string Periods(const std::optional<double>& periods, const char* none) {
    return periods ? Number(*periods) + " periods" : std::string(none);
}

}  // namespace

// ---- the run

void AutoTuneRun::Collector::Notice(const std::string& text, NoticeIcon /*icon*/) {
    if (const char* none = DriveErrorText(kDeviceNoResponse); none && text == none)
        noAnswer_ = true;
    // The same error from several transactions is told once.
    if (std::find(texts_.begin(), texts_.end(), text) == texts_.end()) texts_.push_back(text);
}

bool AutoTuneRun::Collector::Confirm(const std::string& /*text*/) {
    return false;  // nothing the run calls asks
}

AutoTuneRun::AutoTuneRun(const AutoTuneSetup& setup, TestHook onTest)
    : setup_(setup),
      onTest_(std::move(onTest)),
      tuner_(AutoTuneRequest{setup.Loop, setup.Start, PageGainBounds(setup.Loop), setup.Options}),
      test_(setup.Loop) {}

int AutoTuneRun::TestNumber() const {
    return std::min(tuner_.TestsRun() + 1, std::max(tuner_.MaxTests(), 1));
}

void AutoTuneRun::Tick(CommandContext& ctx) {
    if (Done()) return;
    CommandContext quiet = Quiet(ctx);
    if (test_.State() != LoopStepTest::Phase::Running) {
        const std::optional<LoopGains> next = tuner_.Next();
        if (!next) {
            Finish(quiet);
            return;
        }
        heldTest_ = tuner_.TestsRun() + 1;
        held_ = *next;
        if (test_.Start(quiet, *next) == LoopStepTest::Phase::Failed)
            EndEarly(quiet, TuneRunEnd::Failed);
        return;
    }
    switch (test_.Poll(quiet)) {
        case LoopStepTest::Phase::Running:
            return;
        case LoopStepTest::Phase::Done: {
            const size_t before = tuner_.Result().Tests.size();
            tuner_.Tell(test_.Analysis().Response);
            if (onTest_ && tuner_.Result().Tests.size() > before)
                onTest_(tuner_.Result().Tests.back(), test_.Analysis());
            return;
        }
        case LoopStepTest::Phase::Idle:
        case LoopStepTest::Phase::Failed:
            break;
    }
    EndEarly(quiet, TuneRunEnd::Failed);
}

void AutoTuneRun::Cancel(CommandContext& ctx) {
    if (Done()) return;
    CommandContext quiet = Quiet(ctx);
    EndEarly(quiet, TuneRunEnd::Cancelled);
}

void AutoTuneRun::Finish(CommandContext& quiet) {
    const LoopGains target = setup_.Restore ? setup_.Original : tuner_.Result().Tuned;
    if (const DriveError e = WriteLoopGains(quiet.Link, setup_.Loop, target)) {
        ShowDriveError(quiet.Notices, e);
        end_ = TuneRunEnd::Failed;
        Compose(true);
        return;
    }
    driveGains_ = target;
    end_ = TuneRunEnd::Finished;
    Compose(false);
}

void AutoTuneRun::EndEarly(CommandContext& quiet, TuneRunEnd end) {
    if (end == TuneRunEnd::Cancelled) {
        tuner_.Cancel();
    } else {
        tuner_.Fail();
    }
    // A drive that did not answer is not kept waiting for a stop word as well: the test ends
    // by itself. The original gains matter more and are tried whatever happened.
    if (test_.Unfinished() && !collector_.NoAnswer()) test_.Stop(quiet);
    if (const DriveError e = WriteLoopGains(quiet.Link, setup_.Loop, setup_.Original)) {
        ShowDriveError(quiet.Notices, e);
    } else {
        restored_ = true;
        driveGains_ = setup_.Original;
    }
    end_ = end;
    Compose(false);
}

void AutoTuneRun::Compose(bool lastWriteFailed) {
    const std::string loop = LoopName(setup_.Loop);
    std::string text;
    for (const std::string& t : collector_.Texts()) text += t + "\n";
    const std::string original = "The " + std::string(TraitsOf(setup_.Loop).Name) +
                                 " loop's original gains " + GainsText(setup_.Original) +
                                 " were written back.";
    const std::string mayHold =
        heldTest_ > 0 ? Capitalised(loop) + " may still hold the gains of test " +
                            std::to_string(heldTest_) + ": " + GainsText(held_) + "."
                      : Capitalised(loop) + " holds its gains as before: " +
                            GainsText(setup_.Original) + ".";
    switch (end_) {
        case TuneRunEnd::Running:
            return;
        case TuneRunEnd::Finished: {
            const AutoTuneResult& r = tuner_.Result();
            if (setup_.Restore) {
                text += original;
            } else if (r.Improved()) {
                text += Capitalised(loop) + " keeps the tuned gains " + GainsText(r.Tuned) +
                        "; they are not stored in the drive's flash.";
            } else {
                text += "No better gains found: " + loop + " keeps " + GainsText(r.Tuned) + ".";
            }
            break;
        }
        case TuneRunEnd::Cancelled:
            text += restored_ ? "Auto-tune cancelled. " + original
                              : "Auto-tune cancelled, but the original gains could not be "
                                "written back. " +
                                    mayHold;
            break;
        case TuneRunEnd::Failed:
            if (collector_.NoAnswer()) {
                text += "Auto-tune stopped: the drive does not answer. ";
            } else if (lastWriteFailed) {
                text += "Auto-tune stopped: the gains it ended with could not be written. ";
            } else {
                text += "Auto-tune stopped: test " + std::to_string(std::max(heldTest_, 1)) +
                        " failed. ";
            }
            text += restored_ ? original : mayHold;
            break;
    }
    message_ = text;
}

void AutoTuneRun::Report(NoticeSink& notices) const {
    switch (end_) {
        case TuneRunEnd::Running:
            return;
        case TuneRunEnd::Finished:
            notices.Notice(message_);
            return;
        case TuneRunEnd::Cancelled:
            notices.Failure(message_, NoticeIcon::Warning);
            return;
        case TuneRunEnd::Failed:
            notices.Failure(message_, NoticeIcon::Error);
            return;
    }
}

// ---- texts

std::string GainText(float gain) {
    std::string text;
    for (int precision = 6; precision <= 9; ++precision) {
        text = FormatG(gain, precision);
        const double back = DecimalToDouble(text.data(), text.data() + text.size());
        if (static_cast<float>(back) == gain) break;
    }
    return text;
}

GainTexts ExactGainTexts(const LoopGains& g) {
    return {GainText(g.P), GainText(g.I), GainText(g.D)};
}

std::string GainsText(const LoopGains& g) {
    return "P " + GainText(g.P) + ", I " + GainText(g.I) + ", D " + GainText(g.D);
}

std::string TestProgressText(int number, int maxTests) {
    return "Test " + std::to_string(number) + " of at most " + std::to_string(maxTests);
}

std::string ScoreText(const StepScore& s) {
    if (s.Runaway) return "runs away";
    if (!std::isfinite(s.Iae)) return "no step response";
    return "IAE " + Number(s.Iae) + ", overshoot " + Number(s.OvershootPercent) + " %, " +
           (s.Settled ? "settled" : "not settled");
}

std::string TunedTestLine(const TunedTest& t) {
    std::string line = "Test " + std::to_string(t.Number) + ": " + GainsText(t.Gains) + ": " +
                       ScoreText(t.Score);
    if (t.Repeat) line += " (repeat)";
    return line;
}

std::vector<std::string> BestSoFarLines(const AutoTuner& tuner) {
    const std::optional<TunedTest> best = tuner.Best();
    if (!best) return {"No test finished yet"};
    return {"Best so far: test " + std::to_string(best->Number), GainsText(best->Gains),
            ScoreText(best->Score)};
}

std::vector<std::string> StartAndTunedLines(const AutoTuneResult& r) {
    return {"Start: " + GainsText(r.Start) + ": " + ScoreText(r.StartScore),
            "Tuned: " + GainsText(r.Tuned) + ": " + ScoreText(r.TunedScore)};
}

std::vector<std::string> StartToResultLines(const AutoTuneResult& r) {
    const std::string arrow = " \xE2\x86\x92 ";  // U+2192
    const StepScore& a = r.StartScore;
    const StepScore& b = r.TunedScore;
    const auto iae = [](const StepScore& s) {
        return std::isfinite(s.Iae) ? Number(s.Iae) : std::string("none");
    };
    return {
        "Auto-tune, " + std::to_string(r.Tests.size()) + (r.Tests.size() == 1 ? " test" : " tests"),
        GainsText(r.Start),
        arrow.substr(1) + GainsText(r.Tuned),
        "IAE per unit step: " + iae(a) + arrow + iae(b),
        "Overshoot: " + Number(a.OvershootPercent) + arrow + Number(b.OvershootPercent) + " %",
        "Rise time: " + Periods(a.Figures.RiseTime, "not reached") + arrow +
            Periods(b.Figures.RiseTime, "not reached"),
        "Settling time: " + Periods(a.Figures.SettlingTime, "not settled") + arrow +
            Periods(b.Figures.SettlingTime, "not settled"),
    };
}

}  // namespace torvane
