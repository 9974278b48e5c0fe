#include "tuning/step_test_analysis.h"

#include "tuning/test_records.h"

namespace torvane {

namespace {

template <class Records>
void AddSamples(StepResponse& response, const Records& records) {
    for (const auto& r : records) {
        response.X.push_back(static_cast<double>(r.PeriodIndex));
        response.Set.push_back(static_cast<double>(r.SetValue));
        response.Actual.push_back(static_cast<double>(r.ActualValue));
    }
}

}  // namespace

StepResponse ResponseFromCapture(LoopTest test, std::span<const uint8_t> capture,
                                 size_t byteCount) {
    StepResponse response;
    response.PeriodMs = TraitsOf(test).PeriodMs;
    switch (test) {
        case LoopTest::Current: {
            double x = 0;
            for (const CurrentTestRecord& r : DecodeCurrentTestRecords(capture, byteCount)) {
                response.X.push_back(x);
                response.Set.push_back(r.SetValue);
                response.Actual.push_back(r.ActualValue);
                x += 1;
            }
            break;
        }
        case LoopTest::Speed:
            AddSamples(response, DecodeSpeedTestRecords(capture, byteCount));
            break;
        case LoopTest::Position:
            AddSamples(response, DecodePositionTestRecords(capture, byteCount));
            break;
    }
    return response;
}

StepTestAnalysis AnalyseStepTest(LoopTest test, const DriveState& state) {
    StepTestAnalysis analysis;
    analysis.Test = test;
    const size_t byteCount = CaptureLength(state, test);
    analysis.Records = RecordCount(test, byteCount);
    analysis.Plot = PlotStepResponse(test, state.CaptureBuffer, byteCount);
    analysis.Response = ResponseFromCapture(test, state.CaptureBuffer, byteCount);
    analysis.Figures = ComputeStepFigures(analysis.Response);
    return analysis;
}

StepTestOutcome FinishStepTest(LoopTest test, const DriveState& state, std::time_t now,
                               const std::string& outPath) {
    StepTestOutcome outcome;
    outcome.Analysis = AnalyseStepTest(test, state);
    if (outPath.empty()) {
        outcome.Saved = SaveTestData(test, state, now);
    } else {
        outcome.Saved.Path = outPath;
        outcome.Saved.Error =
            AppendTestData(outPath, test, state.CaptureBuffer, CaptureLength(state, test));
    }
    outcome.FigureLines = FormatStepFigures(outcome.Analysis.Figures);
    return outcome;
}

}  // namespace torvane
