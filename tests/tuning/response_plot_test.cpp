#include "tuning/response_plot.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>

#include "protocol/frame.h"
#include "tuning/step_test_analysis.h"
#include "tuning/test_records.h"

namespace torvane {
namespace {

using Capture = std::array<uint8_t, kCaptureBufferSize>;

// Record k of a 16-byte layout: set, actual, period index, fourth value pattern.
void PutRecord16(Capture& c, size_t k, int32_t set, int32_t actual, uint32_t index,
                 uint32_t fourth) {
    PutI32BE(&c[16 * k], set);
    PutI32BE(&c[16 * k + 4], actual);
    PutU32BE(&c[16 * k + 8], index);
    PutU32BE(&c[16 * k + 12], fourth);
}

uint32_t FloatBits(float f) {
    uint8_t b[4];
    PutFloatBE(b, f);
    return GetU32(b);
}

TEST(ResponsePlot, CurrentTestAppendsValuesFromTheRecords) {
    Capture c{};
    for (size_t k = 0; k < 512; ++k) {
        PutFloatBE(&c[8 * k], k < 16 ? 0.0f : 1.5f);
        PutFloatBE(&c[8 * k + 4], 0.001f * static_cast<float>(k));
    }
    const ResponsePlot plot = PlotStepResponse(LoopTest::Current, c, 4096);
    EXPECT_EQ(plot.UpperSet.Append, AppendKind::Value);
    EXPECT_EQ(plot.UpperActual.Append, AppendKind::Value);
    ASSERT_EQ(plot.UpperSet.Points.size(), 512u);
    ASSERT_EQ(plot.UpperActual.Points.size(), 512u);
    EXPECT_TRUE(plot.UpperDeviation.Points.empty());
    EXPECT_TRUE(plot.LowerActual.Points.empty());
    EXPECT_EQ(plot.UpperSet.Points[15], (PlotPoint{15, 0.0}));
    EXPECT_EQ(plot.UpperSet.Points[16], (PlotPoint{16, 1.5}));
    EXPECT_EQ(plot.UpperActual.Points[511], (PlotPoint{511, 0.001f * 511.0f}));
    EXPECT_EQ(plot.UpperSet.Colour, colour::kRed);
    EXPECT_EQ(plot.UpperActual.Colour, colour::kGreen);
}

TEST(ResponsePlot, SpeedTestPlotsWholeRecordsAgainstThePeriodIndex) {
    Capture c{};
    for (size_t k = 0; k < 512; ++k) {
        PutRecord16(c, k, 1000, static_cast<int32_t>(k) - 3, static_cast<uint32_t>(8 * k),
                    FloatBits(0.25f * static_cast<float>(k)));
    }
    // 8190 bytes: 511 records, the last 14 bytes are a partial record and ignored.
    const ResponsePlot plot = PlotStepResponse(LoopTest::Speed, c, 8190);
    for (const PlotSeries* s : {&plot.UpperSet, &plot.UpperActual, &plot.LowerActual}) {
        EXPECT_EQ(s->Append, AppendKind::Point);
        EXPECT_EQ(s->Points.size(), 511u);
    }
    EXPECT_TRUE(plot.UpperDeviation.Points.empty());
    EXPECT_EQ(plot.UpperSet.Points[3], (PlotPoint{24, 1000}));
    EXPECT_EQ(plot.UpperActual.Points[0], (PlotPoint{0, -3}));
    EXPECT_EQ(plot.LowerActual.Points[510], (PlotPoint{4080, 127.5}));
    EXPECT_EQ(plot.LowerActual.Colour, colour::kRed);

    EXPECT_EQ(PlotStepResponse(LoopTest::Speed, c, 8192).UpperSet.Points.size(), 512u);
    // A count above the buffer reads what the buffer holds.
    EXPECT_EQ(PlotStepResponse(LoopTest::Speed, c, 9000).UpperSet.Points.size(), 512u);
    EXPECT_EQ(PlotStepResponse(LoopTest::Speed, c, 15).UpperSet.Points.size(), 0u);
}

TEST(ResponsePlot, ByteCountZeroGivesFourEmptySeries) {
    Capture c{};
    c.fill(0x11);
    for (LoopTest test : kLoopTests) {
        const ResponsePlot plot = PlotStepResponse(test, c, 0);
        EXPECT_TRUE(plot.UpperSet.Points.empty());
        EXPECT_TRUE(plot.UpperActual.Points.empty());
        EXPECT_TRUE(plot.UpperDeviation.Points.empty());
        EXPECT_TRUE(plot.LowerActual.Points.empty());
    }
}

TEST(ResponsePlot, PositionTestDividesTheFourthValueByTenTruncatingAndPlotsTheDeviation) {
    const struct {
        int32_t set, actual, fourth;
        double deviation, lower;
    } rows[] = {
        {200, 150, 35, -50, 3},
        {0, 0, -35, 0, -3},
        {5, 9, 9, 4, 0},
        {9, 5, -9, -4, 0},
        {0, 0, 10, 0, 1},
        {INT32_MIN, INT32_MAX, INT32_MIN, 4294967295.0, -214748364},  // exact, no wrap
        {INT32_MAX, INT32_MIN, INT32_MAX, -4294967295.0, 214748364},
    };
    Capture c{};
    size_t k = 0;
    for (const auto& r : rows) {
        PutRecord16(c, k, r.set, r.actual, static_cast<uint32_t>(7 + k),
                    static_cast<uint32_t>(r.fourth));
        ++k;
    }
    const ResponsePlot plot = PlotStepResponse(LoopTest::Position, c, 16 * k);
    ASSERT_EQ(plot.UpperDeviation.Points.size(), k);
    ASSERT_EQ(plot.LowerActual.Points.size(), k);
    EXPECT_EQ(plot.UpperDeviation.Colour, colour::kBlue);
    for (size_t i = 0; i < k; ++i) {
        SCOPED_TRACE(i);
        const double x = static_cast<double>(7 + i);
        EXPECT_EQ(plot.UpperSet.Points[i], (PlotPoint{x, static_cast<double>(rows[i].set)}));
        EXPECT_EQ(plot.UpperActual.Points[i], (PlotPoint{x, static_cast<double>(rows[i].actual)}));
        EXPECT_EQ(plot.UpperDeviation.Points[i], (PlotPoint{x, rows[i].deviation}));
        EXPECT_EQ(plot.LowerActual.Points[i], (PlotPoint{x, rows[i].lower}));
    }
}

TEST(ResponsePlot, RecordsReadTheirFieldsWithTheirTypes) {
    Capture c{};
    PutRecord16(c, 0, -1000, -998, 0xFFFFFFFFu, FloatBits(-0.5f));
    const auto speed = DecodeSpeedTestRecords(c, 16);
    ASSERT_EQ(speed.size(), 1u);
    EXPECT_EQ(speed[0].SetValue, -1000);
    EXPECT_EQ(speed[0].ActualValue, -998);
    EXPECT_EQ(speed[0].PeriodIndex, 0xFFFFFFFFu);  // unsigned
    EXPECT_EQ(speed[0].FourthValue, -0.5f);
    const auto position = DecodePositionTestRecords(c, 16);
    EXPECT_EQ(position[0].FourthValue, static_cast<int32_t>(FloatBits(-0.5f)));
    // The current test's 8-byte records over the same bytes.
    EXPECT_EQ(DecodeCurrentTestRecords(c, 16).size(), 2u);
    // A capture shorter than the count: only what the capture holds.
    EXPECT_EQ(DecodeSpeedTestRecords(std::span<const uint8_t>(c.data(), 40), 8192).size(), 2u);

    // The response for the figures: X is the record number for the current test.
    DriveState state;
    state.CaptureBuffer = c;
    state.CurrentTestLength = 24;
    const StepTestAnalysis analysis = AnalyseStepTest(LoopTest::Current, state);
    EXPECT_EQ(analysis.Records, 3u);
    EXPECT_EQ(analysis.Response.X, (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(analysis.Response.PeriodMs, 0.066);
    state.PositionTestLength = 16;
    EXPECT_EQ(AnalyseStepTest(LoopTest::Position, state).Response.PeriodMs, 0.0);
    EXPECT_EQ(AnalyseStepTest(LoopTest::Position, state).Response.X[0], 4294967295.0);
}

}  // namespace
}  // namespace torvane
