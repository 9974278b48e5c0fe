// What the loop page and the command-line tool make of a step test once its capture has been
// read back: the plot, the response as samples, and its figures, all from the test's length
// field and the capture buffer of DriveState.
//
// Pure functions; any thread (on a DriveState that no transaction is filling).
#pragma once

#include <cstddef>
#include <ctime>
#include <span>
#include <string>
#include <vector>

#include "protocol/drive_state.h"
#include "tuning/loop_test_kind.h"
#include "tuning/response_plot.h"
#include "tuning/step_response_figures.h"
#include "tuning/test_data_file.h"

namespace torvane {

// The records as samples: X is the record number for the current test, the period index for
// the others; set and actual values as recorded. PeriodMs from the test's traits.
StepResponse ResponseFromCapture(LoopTest test, std::span<const uint8_t> capture, size_t byteCount);

struct StepTestAnalysis {
    LoopTest Test = LoopTest::Current;
    size_t Records = 0;
    ResponsePlot Plot;
    StepResponse Response;
    StepFigures Figures;
};

StepTestAnalysis AnalyseStepTest(LoopTest test, const DriveState& state);

// The end of a step test for the command-line tool, once ReadBackCapture succeeded: the
// analysis, the test data file appended to `outPath` (empty: the page's file name for `now`
// in the working directory) and the figures as text. Blocks for the file's writes.
struct StepTestOutcome {
    StepTestAnalysis Analysis;
    TestDataSave Saved;  // Saved.Error: the message to print; the data were not (all) saved
    std::vector<std::string> FigureLines;
};
StepTestOutcome FinishStepTest(LoopTest test, const DriveState& state, std::time_t now,
                               const std::string& outPath = {});

}  // namespace torvane
