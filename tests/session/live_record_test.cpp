// The live record's text without a drive: the rows (numbers with the dot whatever the locale),
// the time column, the local start time with its offset, and the recorder's file: exactly the
// preamble and one row a sample, with failed reads counted and a write that fails named.
#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "session/live_record.h"
#include "session/status_display.h"

namespace torvane {
namespace {

using std::chrono::milliseconds;

DriveState Live(float volts, float amps, int32_t speed, int32_t position, uint8_t temperature,
                uint8_t motorState, uint16_t faults) {
    DriveState s;
    s.BusVoltage = volts;
    s.PhaseCurrent = amps;
    s.LiveSpeed = speed;
    s.LivePosition = position;
    s.MotorTemperature = temperature;
    s.MotorState = motorState;
    s.StatusFaultWord = faults;
    return s;
}

ConsoleState Axis(float ratio, float encoder, int32_t position) {
    ConsoleState c;
    c.RatioInput = ratio;
    c.EncoderInput = encoder;
    TakeOutputAxis(c, position);
    return c;
}

TEST(LiveRecordRows, AsTheLivePreviewShowsThem) {
    const struct {
        long long ms;
        DriveState state;
        ConsoleState axis;
        const char* row;
    } cases[] = {
        {0, Live(48.0f, 0, 0, 0, 25, 0, 0), Axis(1, 65535, 0), "0.000,48,0,0,0,0,0.00000,25,0,0\n"},
        {1234, Live(47.5f, 1.25f, -1500, -123456, 31, 2, 0x0104), Axis(10, 4096, -123456),
         "1.234,47.5,1.25,-1500,-123456,-12345,-1085.00977,31,2,260\n"},
        {3600000, Live(1e6f, 0.000125f, 2500, 65535, 90, 1, 0xFFFF), Axis(1, 65535, 65535),
         "3600.000,1e+06,0.000125,2500,65535,65535,360.00000,90,1,65535\n"},
        // A ratio or encoder value of 0 has no quotient: 0.
        {50, Live(48.25f, 0.5f, 10, 100, 26, 1, 0), Axis(0, 0, 100),
         "0.050,48.25,0.5,10,100,0,0.00000,26,1,0\n"},
    };
    // A locale with a decimal comma, where the system has one: the file keeps its dots.
    const char* comma = std::setlocale(LC_ALL, "de_DE.UTF-8");
    for (const auto& c : cases)
        EXPECT_EQ(LiveRecordRow(milliseconds(c.ms), c.state, c.axis), c.row);
    if (comma) std::setlocale(LC_ALL, "C");
}

#ifndef _WIN32
TEST(LiveRecordTimes, LocalTimeWithItsOffset) {
    const char* old = std::getenv("TZ");
    const std::string kept = old ? old : "";
    const std::time_t t = 1796823000;  // 2026-12-09 13:30:00 UTC
    const struct {
        const char* zone;
        const char* text;
    } cases[] = {
        {"UTC0", "2026-12-09T13:30:00+00:00"},
        {"CET-1", "2026-12-09T14:30:00+01:00"},
        {"EST5", "2026-12-09T08:30:00-05:00"},
        {"IST-5:30", "2026-12-09T19:00:00+05:30"},
    };
    for (const auto& c : cases) {
        setenv("TZ", c.zone, 1);
        tzset();
        EXPECT_EQ(LocalIsoTime(t), c.text) << c.zone;
        if (std::string(c.zone) == "CET-1") {
            EXPECT_EQ(LiveRecordFileName(t), "Live20261209-143000.csv");
        }
    }
    if (old) {
        setenv("TZ", kept.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}
#endif

TEST(LiveRecorder, ThePreambleThenARowASample) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "torvane-live-record-test.csv";
    LiveRecordInfo info;
    info.Model = "KVD417";
    info.Port = "/dev/ttyUSB0";
    info.Started = std::time(nullptr);
    LiveRecorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.Open(path.string(), info, &error)) << error;
    const auto t0 = LiveRecorder::Clock::now();
    const DriveState s = Live(48, 0, 0, 7, 25, 0, 0);
    const ConsoleState axis = Axis(1, 65535, 7);
    EXPECT_TRUE(recorder.Sample(s, axis, t0 + milliseconds(20)));
    recorder.FailedRead();
    EXPECT_TRUE(recorder.Sample(s, axis, t0 + milliseconds(120)));
    EXPECT_TRUE(recorder.Sample(s, axis, t0 + milliseconds(1170)));
    EXPECT_TRUE(recorder.Close());
    EXPECT_EQ(recorder.Samples(), 3u);
    EXPECT_EQ(recorder.FailedReads(), 1u);
    std::stringstream text;
    {
        // Closed before the remove below: Windows does not remove a file that is open.
        std::ifstream in(path, std::ios::binary);
        text << in.rdbuf();
    }
    EXPECT_EQ(text.str(), "# Torvane live record\n# model: KVD417\n# port: /dev/ttyUSB0\n"
                          "# started: " + LocalIsoTime(info.Started) +
                              "\n# period_ms: 50\n" + kLiveRecordHeaderRow +
                              "\n"
                              "0.000,48,0,0,7,7,0.03845,25,0,0\n"
                              "0.100,48,0,0,7,7,0.03845,25,0,0\n"
                              "1.150,48,0,0,7,7,0.03845,25,0,0\n");
    std::filesystem::remove(path);
}

#ifdef __linux__
TEST(LiveRecorder, AFileThatCannotBeWrittenIsNamed) {
    // A device that takes no byte: the first write fails, and says where and why.
    LiveRecorder recorder;
    std::string error;
    EXPECT_FALSE(recorder.Open("/dev/full", LiveRecordInfo{}, &error));
    EXPECT_EQ(error, "cannot write /dev/full: No space left on device");
    EXPECT_FALSE(recorder.IsOpen());
    EXPECT_FALSE(recorder.Open("/no/such/folder/live.csv", LiveRecordInfo{}, &error));
    EXPECT_EQ(error, "cannot create /no/such/folder/live.csv: No such file or directory");
}
#endif

}  // namespace
}  // namespace torvane
