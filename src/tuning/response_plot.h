// The loop page's plot of a step test's response, as data: what each of its four series gets
// after all four were cleared. The page turns it into chart calls (series 0, 1, 2 of the upper
// chart and series 0 of the lower one); the command-line tool and the tests read the same data.
//
//   upper chart, series 0 "setting value":  set value, red
//   upper chart, series 1 "actual value":   actual value, green
//   upper chart, series 2 "deviation value": position test only: actual - set, blue
//   lower chart, series 0 "actual value":   speed test: the fourth value; position test: the
//                                           fourth value / 10; red; none for the current test
// The current test appends with AppendValue (X = the point's number in the series); the
// others with AppendPoint at X = the record's period index.
// The position test's fourth value is divided by 10 as integers, truncating toward zero; its
// deviation is the exact difference of the two 32-bit values. A byte count of 0 gives four empty
// series: the charts are cleared and nothing is drawn.
//
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tuning/loop_test_kind.h"

namespace torvane {

// Windows colour values 0x00BBGGRR, as the chart operations take them.
namespace colour {
constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0xFF0000;
}  // namespace colour

struct PlotPoint {
    double X = 0;
    double Y = 0;
    bool operator==(const PlotPoint&) const = default;
};

enum class AppendKind : uint8_t { Value, Point };

struct PlotSeries {
    AppendKind Append = AppendKind::Point;  // AppendValue(Y) or AppendPoint(X, Y)
    uint32_t Colour = 0;
    std::vector<PlotPoint> Points;  // for AppendValue, X is the point's number (0, 1, 2 ...)
};

struct ResponsePlot {
    PlotSeries UpperSet;        // upper chart, series 0
    PlotSeries UpperActual;     // upper chart, series 1
    PlotSeries UpperDeviation;  // upper chart, series 2
    PlotSeries LowerActual;     // lower chart, series 0
};

// `capture` is the capture buffer, `byteCount` the test's length field.
ResponsePlot PlotStepResponse(LoopTest test, std::span<const uint8_t> capture, size_t byteCount);

}  // namespace torvane
