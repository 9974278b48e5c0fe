// Step tests: the records are laid out as the tool reads them, better gains give a better
// step response, and nonsense stays bounded.
#include "sim/step_test_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "sim/plant_presets.h"

namespace torvane::sim {
namespace {

struct Record {
    double set, actual, period, fourth;
};

std::vector<Record> Records(const std::vector<uint8_t>& capture, size_t bytes, bool current,
                            bool floatFourth) {
    std::vector<Record> out;
    const size_t size = current ? 8 : 16;
    for (size_t k = 0; k < bytes / size; ++k) {
        const uint8_t* r = capture.data() + k * size;
        if (current) {
            out.push_back({GetFloatBE(r), GetFloatBE(r + 4), static_cast<double>(k), 0});
        } else {
            out.push_back({static_cast<double>(GetI32BE(r)), static_cast<double>(GetI32BE(r + 4)),
                           static_cast<double>(GetU32(r + 8)),
                           floatFourth ? GetFloatBE(r + 12) : GetI32BE(r + 12)});
        }
    }
    return out;
}

// Integral of the absolute error after the step, relative to the step's size.
double Iae(const std::vector<Record>& records, double step) {
    double sum = 0;
    for (size_t k = kStepRecord; k < records.size(); ++k) {
        sum += std::abs(records[k].set - records[k].actual);
    }
    return sum / (std::abs(step) * static_cast<double>(records.size() - kStepRecord));
}

enum class Loop { Current, Speed, Position };

std::vector<Record> RunTest(Loop loop, float p, float i, float d, size_t* bytes = nullptr) {
    const PlantParameters& plant = DefaultPlant();
    const PlantNoise noise{true, 7};
    DriveParameters params = FactoryParameters();
    TestParameters test;
    test.CurrentAmplitude = 2.0f;
    test.SpeedSetSpeed = 1000;
    test.PositionMaxSpeed = 1000;
    test.PositionAcceleration = 5000;
    test.PositionTarget = 40000;
    // Tuned inner loops under the speed and position tests.
    params.Loop.CurrentLoopP = 2.2f;
    params.Loop.CurrentLoopI = 1.5f;
    std::vector<uint8_t> capture(kCaptureBytes);
    size_t n = 0;
    switch (loop) {
        case Loop::Current:
            params.Loop.CurrentLoopP = p;
            params.Loop.CurrentLoopI = i;
            params.Loop.CurrentLoopD = d;
            n = RunCurrentStepTest(plant, params, test, noise, capture.data());
            break;
        case Loop::Speed:
            params.Loop.SpeedLoopP = p;
            params.Loop.SpeedLoopI = i;
            params.Loop.SpeedLoopD = d;
            n = RunSpeedStepTest(plant, params, test, noise, capture.data());
            break;
        case Loop::Position:
            params.Loop.SpeedLoopP = 1.5f;
            params.Loop.SpeedLoopI = 2.0f;
            params.Loop.PositionLoopP = p;
            params.Loop.PositionLoopI = i;
            params.Loop.PositionLoopD = d;
            n = RunPositionStepTest(plant, params, test, 0, noise, capture.data());
            break;
    }
    if (bytes) *bytes = n;
    return Records(capture, n, loop == Loop::Current, loop == Loop::Speed);
}

TEST(StepTestModel, RecordsAreLaidOutAsTheToolReadsThem) {
    size_t bytes = 0;
    auto current = RunTest(Loop::Current, 2.2f, 1.5f, 0.0f, &bytes);
    EXPECT_EQ(bytes, 4096u);
    ASSERT_EQ(current.size(), 512u);
    EXPECT_EQ(current[kStepRecord - 1].set, 0.0);
    EXPECT_EQ(current[kStepRecord].set, 2.0);
    EXPECT_NEAR(current.back().actual, 2.0, 0.05);

    auto speed = RunTest(Loop::Speed, 1.5f, 2.0f, 0.0f, &bytes);
    EXPECT_EQ(bytes, 8192u);
    ASSERT_EQ(speed.size(), 512u);
    for (size_t k = 0; k < speed.size(); ++k) {
        EXPECT_EQ(speed[k].period, 8.0 * k);
        EXPECT_EQ(speed[k].set, k < kStepRecord ? 0 : 1000);
    }
    EXPECT_NEAR(speed.back().actual, 1000, 30);
    EXPECT_GT(speed[kStepRecord + 1].fourth, 1.0);  // the current that accelerates the shaft

    auto position = RunTest(Loop::Position, 0.3f, 0.3f, 0.0f, &bytes);
    EXPECT_EQ(bytes, 8192u);
    ASSERT_EQ(position.size(), 512u);
    const double stride = position[1].period - position[0].period;
    EXPECT_GE(stride, 1.0);
    for (size_t k = 0; k < position.size(); ++k) EXPECT_EQ(position[k].period, stride * k);
    EXPECT_EQ(position.back().set, 40000);
    EXPECT_NEAR(position.back().actual, 40000, 100);
    // The fourth value is the speed in 0.1 rpm: the tool plots it divided by 10.
    double fastest = 0;
    for (const Record& r : position) fastest = std::max(fastest, r.fourth / 10);
    EXPECT_NEAR(fastest, 1000, 60);
}

TEST(StepTestModel, BetterGainsGiveABetterStepResponse) {
    const struct {
        Loop loop;
        float poor[3], good[3];
        double step;
    } cases[] = {
        {Loop::Current, {0.2f, 0.02f, 0}, {2.2f, 1.5f, 0}, 2.0},
        {Loop::Speed, {0.2f, 0.02f, 0}, {1.5f, 2.0f, 0}, 1000},
        {Loop::Position, {0.02f, 0, 0}, {0.3f, 0.3f, 0}, 40000},
    };
    for (const auto& c : cases) {
        const double poor = Iae(RunTest(c.loop, c.poor[0], c.poor[1], c.poor[2]), c.step);
        const double good = Iae(RunTest(c.loop, c.good[0], c.good[1], c.good[2]), c.step);
        EXPECT_LT(good, 0.5 * poor) << static_cast<int>(c.loop) << ": " << good << " vs " << poor;
    }
}

TEST(StepTestModel, NonsenseInputsStayBounded) {
    DriveParameters params = FactoryParameters();
    params.Loop.CurrentLoopP = std::nanf("");
    params.Loop.SpeedLoopP = -3.0f;
    params.Loop.PositionLoopP = 1e30f;
    params.Motor.EncoderLines = 0;
    TestParameters test;
    test.CurrentAmplitude = std::numeric_limits<float>::infinity();
    test.SpeedSetSpeed = INT32_MAX;
    test.PositionTarget = INT32_MIN;
    test.PositionMaxSpeed = 0;
    std::vector<uint8_t> capture(kCaptureBytes);
    for (const PlantParameters& plant : PlantPresets()) {
        for (const PlantNoise noise : {PlantNoise{true, 1}, PlantNoise{false, 0}}) {
            EXPECT_EQ(RunCurrentStepTest(plant, params, test, noise, capture.data()), 4096u);
            for (size_t k = 0; k < 512; ++k) {
                EXPECT_TRUE(std::isfinite(GetFloatBE(&capture[8 * k + 4])));
            }
            EXPECT_EQ(RunSpeedStepTest(plant, params, test, noise, capture.data()), 8192u);
            EXPECT_EQ(RunPositionStepTest(plant, params, test, INT32_MAX, noise, capture.data()),
                      8192u);
        }
    }
}

}  // namespace
}  // namespace torvane::sim
