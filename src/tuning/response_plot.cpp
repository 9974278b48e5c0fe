#include "tuning/response_plot.h"

#include "tuning/test_records.h"

namespace torvane {

ResponsePlot PlotStepResponse(LoopTest test, std::span<const uint8_t> capture, size_t byteCount) {
    ResponsePlot plot;
    plot.UpperSet.Colour = colour::kRed;
    plot.UpperActual.Colour = colour::kGreen;
    plot.UpperDeviation.Colour = colour::kBlue;
    plot.LowerActual.Colour = colour::kRed;
    switch (test) {
        case LoopTest::Current: {
            plot.UpperSet.Append = AppendKind::Value;
            plot.UpperActual.Append = AppendKind::Value;
            const auto records = DecodeCurrentTestRecords(capture, byteCount);
            double x = 0;
            for (const CurrentTestRecord& r : records) {
                plot.UpperSet.Points.push_back({x, r.SetValue});
                plot.UpperActual.Points.push_back({x, r.ActualValue});
                x += 1;
            }
            break;
        }
        case LoopTest::Speed:
            for (const SpeedTestRecord& r : DecodeSpeedTestRecords(capture, byteCount)) {
                const double x = r.PeriodIndex;
                plot.UpperSet.Points.push_back({x, static_cast<double>(r.SetValue)});
                plot.UpperActual.Points.push_back({x, static_cast<double>(r.ActualValue)});
                plot.LowerActual.Points.push_back({x, r.FourthValue});
            }
            break;
        case LoopTest::Position:
            for (const PositionTestRecord& r : DecodePositionTestRecords(capture, byteCount)) {
                const double x = r.PeriodIndex;
                plot.UpperSet.Points.push_back({x, static_cast<double>(r.SetValue)});
                plot.UpperActual.Points.push_back({x, static_cast<double>(r.ActualValue)});
                // In 64 bits the difference of two 32-bit values is exact; it cannot wrap.
                const int64_t deviation = int64_t{r.ActualValue} - int64_t{r.SetValue};
                plot.UpperDeviation.Points.push_back({x, static_cast<double>(deviation)});
                plot.LowerActual.Points.push_back({x, static_cast<double>(r.FourthValue / 10)});
            }
            break;
    }
    return plot;
}

}  // namespace torvane
