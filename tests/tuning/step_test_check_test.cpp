#include "tuning/step_test_check.h"

#include <gtest/gtest.h>

#include <string>

namespace torvane {
namespace {

const std::string kComma = "\xEF\xBC\x8C";

class StepTestCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.Params.Matching.MatchMarks = 1;
        state.Params.Motor.RatedCurrent = 5.5f;
        state.Params.Application.MaximumSpeed = 2500;
        state.Params.Application.AppliedMaxPos = 100;
        state.Params.Application.AppliedMinPos = 90;
        state.OneLoopEncoderValue = 4096;
        state.ReductionRatio = 10;
    }
    DriveState state;
    const GainTexts good{"1", "0.5", "0"};
    const GainTexts bad{"1", "9", "0"};
};

TEST_F(StepTestCheckTest, PreconditionsComeFirstInTheirOrder) {
    // Not matched: the current test refuses with it even when the motor is not enabled; the
    // other tests never look at it.
    state.Params.Matching.MatchMarks = 2;
    StepTestCheck check = CheckCurrentTest({good, 0, "1", ""}, state, false);
    EXPECT_EQ(check.Refused, (Refusal{"Motor does not match", NoticeIcon::None}));
    EXPECT_FALSE(check.Gains);
    EXPECT_TRUE(CheckSpeedTest({good, "1000"}, state, true).Passed());

    // Not enabled comes before the gains.
    check = CheckSpeedTest({bad, "1000"}, state, false);
    EXPECT_EQ(check.Refused, (Refusal{"The motor is not enabled", NoticeIcon::None}));
    check = CheckPositionTest({bad, "1000", "10", "0"}, state, false);
    EXPECT_EQ(check.Refused->Text, "The motor is not enabled");

    // The gains come before the test fields.
    check = CheckSpeedTest({bad, "99999"}, state, true);
    EXPECT_EQ(check.Refused,
              (Refusal{LoopGainBound(LoopTest::Speed, GainTerm::I).Message, NoticeIcon::None}));
    EXPECT_FALSE(check.Gains);
}

TEST_F(StepTestCheckTest, FieldChecksHaveTheirMessagesAndInclusiveBounds) {
    struct Case {
        const char* what;
        StepTestCheck check;
        std::string refused;  // empty: passes
    };
    auto current = [&](const char* amplitude) {
        return CheckCurrentTest({good, 0, amplitude, ""}, state, true);
    };
    auto speed = [&](const char* setSpeed) {
        return CheckSpeedTest({good, setSpeed}, state, true);
    };
    auto position = [&](const char* maxSpeed, const char* target) {
        return CheckPositionTest({good, maxSpeed, target, "1000"}, state, true);
    };
    const std::string amplitude = "Current amplitude" + kComma + "input overrun\n";
    const std::string setSpeed = "Set speed" + kComma + "input overrun\n";
    const std::string maxSpeed = "Maximum speed" + kComma + "input overrun\n";
    const std::string target = "Target position" + kComma + "input overrun\n";
    const Case cases[] = {
        {"amplitude at min", current("0.8"), ""},
        {"amplitude at max", current("5.5"), ""},
        {"amplitude below", current("0.79"), amplitude + "allowed band 0.8 up to 5.5"},
        {"amplitude no number", current("x"), amplitude + "allowed band 0.8 up to 5.5"},
        {"set speed at max", speed("2500"), ""},
        {"set speed above", speed("2500.5"), setSpeed + "allowed band 0 up to 2500"},
        {"set speed negative", speed("-1"), setSpeed + "allowed band 0 up to 2500"},
        {"max speed above", position("2501", "10"), maxSpeed + "allowed band 0 up to 2500"},
        // Max speed is checked first, target second.
        {"both above", position("2501", "101"), maxSpeed + "allowed band 0 up to 2500"},
        {"target at max", position("1000", "100"), ""},
        {"target at -min", position("1000", "-90"), ""},
        {"target below", position("1000", "-90.5"), target + "allowed band -90 up to 100"},
        {"target above", position("1000", "100.01"), target + "allowed band -90 up to 100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.refused.empty()) {
            EXPECT_TRUE(c.check.Passed()) << c.check.Refused->Text;
            EXPECT_TRUE(c.check.Fields);
        } else {
            ASSERT_FALSE(c.check.Passed());
            EXPECT_EQ(c.check.Refused->Text, c.refused);
            EXPECT_EQ(c.check.Refused->Icon, NoticeIcon::Error);
            EXPECT_FALSE(c.check.Fields);
            EXPECT_TRUE(c.check.Gains);  // the loop's gains passed before the field failed
        }
    }
}

TEST_F(StepTestCheckTest, ValuesAreReadAsThePageReadsThem) {
    StepTestCheck check = CheckCurrentTest({good, 0, "1.25A", "70000"}, state, true);
    ASSERT_TRUE(check.Fields);
    EXPECT_EQ(check.Fields->CurrentTestAmplitude, 1.25f);
    EXPECT_EQ(check.Fields->CurrentTestFrequency, 70000 % 65536);  // kept in 16 bits
    EXPECT_EQ(check.Fields->CurrentTestType, 0);

    check = CheckSpeedTest({good, "150.7"}, state, true);
    EXPECT_EQ(check.Fields->SpeedTestSetSpeed, 150);

    const struct {
        const char* degrees;
        float encoder, ratio;
        int32_t counts;
    } targets[] = {
        {"90", 4096, 10, 10240},
        {"-90", 4096, 10, -10240},
        {"0.01", 4096, 10, 1},  // 1.1377... truncated
        {"-0.01", 4096, 10, -1},
        // The product in single precision is 20333160, in double 20333159.4: 56481, not 56480.
        {"49.15", 4096, 101, 56481},
        {"10", 0, 10, 0},  // no encoder value entered yet
    };
    for (const auto& t : targets) {
        SCOPED_TRACE(t.degrees);
        state.OneLoopEncoderValue = t.encoder;
        state.ReductionRatio = t.ratio;
        state.Params.Application.AppliedMaxPos = 100;
        check = CheckPositionTest({good, "1500.9", t.degrees, "-250x"}, state, true);
        ASSERT_TRUE(check.Fields);
        EXPECT_EQ(check.Fields->PositionTestTarget, t.counts);
        EXPECT_EQ(check.Fields->PositionTestMaxSpeed, 1500);
        EXPECT_EQ(check.Fields->PositionTestAcceleration, -250);
    }
    // A target far beyond 32 bits saturates instead of wrapping.
    EXPECT_EQ(PositionTargetCounts(3e9f, 4096, 100), INT32_MAX);
    EXPECT_EQ(PositionTargetCounts(-3e9f, 4096, 100), INT32_MIN);
}

TEST_F(StepTestCheckTest, StoringTakesTheGainsEvenWhenAFieldWasRefused) {
    state.SpeedTestSetSpeed = 42;
    StepTestCheck check = CheckSpeedTest({{"3", "0.2", "0"}, "9999"}, state, true);
    ASSERT_FALSE(check.Passed());
    StoreStepTestCheck(check, state);
    EXPECT_EQ(state.Params.Loop.SpeedLoopP, 3.0f);
    EXPECT_EQ(state.Params.Loop.SpeedLoopI, 0.2f);
    EXPECT_EQ(state.SpeedTestSetSpeed, 42);

    check = CheckPositionTest({{"2", "0.1", "0"}, "900", "45", "1000"}, state, true);
    ASSERT_TRUE(check.Passed());
    StoreStepTestCheck(check, state);
    EXPECT_EQ(state.Params.Loop.PositionLoopP, 2.0f);
    EXPECT_EQ(state.PositionTestMaxSpeed, 900);
    EXPECT_EQ(state.PositionTestDegrees, 45.0f);
    EXPECT_EQ(state.PositionTestTarget, 5120);
    EXPECT_EQ(state.PositionTestAcceleration, 1000);
    EXPECT_EQ(state.SpeedTestSetSpeed, 42);  // another test's fields stay
    EXPECT_EQ(state.Params.Loop.SpeedLoopP, 3.0f);
}

}  // namespace
}  // namespace torvane
