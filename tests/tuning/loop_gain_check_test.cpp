#include "tuning/loop_gain_check.h"

#include <gtest/gtest.h>

#include <string>

namespace torvane {
namespace {

const std::string kComma = "\xEF\xBC\x8C";  // the full-width comma of the messages

TEST(LoopGainCheck, BoundsAreInclusiveAndTextThatIsNoNumberIsZero) {
    struct Case {
        LoopTest loop;
        GainTexts texts;
        bool passes;
        GainTerm refused;  // when it does not pass
    };
    const Case cases[] = {
        {LoopTest::Current, {"5", "5", "1"}, true, GainTerm::P},
        {LoopTest::Current, {"5.0001", "0", "0"}, false, GainTerm::P},
        {LoopTest::Current, {"0", "5.0001", "0"}, false, GainTerm::I},
        {LoopTest::Current, {"0", "0", "1.0001"}, false, GainTerm::D},
        {LoopTest::Current, {"0", "0", "5"}, false, GainTerm::D},  // D is bounded by 1
        {LoopTest::Speed, {"5", "5", "5"}, true, GainTerm::P},
        {LoopTest::Speed, {"0", "0", "5.0001"}, false, GainTerm::D},
        {LoopTest::Position, {"2.5", "2.5", "2.5"}, true, GainTerm::P},
        {LoopTest::Position, {"2.5001", "0", "0"}, false, GainTerm::P},
        {LoopTest::Position, {"0", "0", "5"}, false, GainTerm::D},
        // Leading number only; none gives 0, which is inside.
        {LoopTest::Speed, {"abc", "", "  1.5xyz"}, true, GainTerm::P},
        {LoopTest::Speed, {"-0", "0", "0"}, true, GainTerm::P},
        {LoopTest::Speed, {"-0.001", "0", "0"}, false, GainTerm::P},
        {LoopTest::Speed, {"1e400", "0", "0"}, false, GainTerm::P},  // infinite
        // Compared after rounding to single precision: this is 5.0f.
        {LoopTest::Speed, {"5.0000001", "0", "0"}, true, GainTerm::P},
        // The first failure wins, in the order P, I, D.
        {LoopTest::Current, {"1", "9", "9"}, false, GainTerm::I},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.texts.P + " " + c.texts.I + " " + c.texts.D);
        const GainCheck check = CheckLoopGains(c.loop, c.texts);
        EXPECT_EQ(check.Passed(), c.passes);
        if (!c.passes) {
            ASSERT_TRUE(check.Refused);
            EXPECT_EQ(check.Refused->Text, LoopGainBound(c.loop, c.refused).Message);
            EXPECT_EQ(check.Refused->Icon, NoticeIcon::None);
        }
    }
    const GainCheck check = CheckLoopGains(LoopTest::Speed, {"abc", "", "  1.5xyz"});
    EXPECT_EQ(check.Gains, (LoopGains{0.0f, 0.0f, 1.5f}));
}

TEST(LoopGainCheck, MessagesAreThePagesOwn) {
    const struct {
        LoopTest loop;
        GainTerm term;
        std::string text;
    } cases[] = {
        {LoopTest::Current, GainTerm::P,
         "P value of current loop" + kComma +
             "input overrun \n allowed band Greater than 0  and less than 5"},
        {LoopTest::Current, GainTerm::I,
         "I value of current loop" + kComma +
             "input overrun \n allowed band Greater than 0  and less than 5"},
        {LoopTest::Current, GainTerm::D,
         "D value of current loop" + kComma +
             "input overrun \n allowed band Greater than0  and less than 1"},
        {LoopTest::Speed, GainTerm::P,
         "P value of speed loop" + kComma +
             "input overrun \n allowed band Greater than 0 and less than 5"},
        {LoopTest::Speed, GainTerm::I,
         "I value of speed loop" + kComma +
             "input overrun \n allowed band Greater than 0 and less than 5"},
        {LoopTest::Speed, GainTerm::D,
         "D value of speed loop" + kComma +
             "input overrun \n allowed band Greater than 0 and less than 5"},
        {LoopTest::Position, GainTerm::P,
         "P value of position loop" + kComma +
             "input overrun \n allowed band Greater than 0  and less than 2.5"},
        {LoopTest::Position, GainTerm::I,
         "I value of position loop" + kComma +
             "input overrun \n allowed band Greater than 0  and less than 2.5"},
        {LoopTest::Position, GainTerm::D,
         "D value of position loop" + kComma +
             "input overrun \n allowed band Greater than 0  and less than 2.5"},
    };
    for (const auto& c : cases) {
        const ParameterField& bound = LoopGainBound(c.loop, c.term);
        EXPECT_EQ(bound.Message, c.text);
        EXPECT_EQ(bound.Min, 0.0);
        // The same row refuses `params set` with the same text.
        const auto refused = CheckEntry(bound.Id, "9", 0);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->Text, c.text);
        EXPECT_EQ(refused->Icon, NoticeIcon::None);
    }
}

TEST(LoopGainCheck, InitialTextsUseG) {
    EXPECT_EQ(GainTextsOf({0.8f, 0.1f, 0.0f}), (GainTexts{"0.8", "0.1", "0"}));
    EXPECT_EQ(GainTextsOf({2.5f, 1e-7f, 123456789.0f}), (GainTexts{"2.5", "1e-07", "1.23457e+08"}));
    // What the page shows reads back as the same float.
    const GainCheck check = CheckLoopGains(LoopTest::Speed, GainTextsOf({0.8f, 0.1f, 3.14159274f}));
    EXPECT_EQ(check.Gains, (LoopGains{0.8f, 0.1f, 3.14159f}));
}

TEST(LoopGainCheck, NextStoresEachLoopThatPassedUpToTheFirstFailure) {
    const LoopGroup before{0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};

    // Current loop P of 7: the current loop's message, nothing stored for any loop.
    LoopGroup group = before;
    auto refused =
        CheckAndStoreAllLoopGains({{{"7", "1", "0"}, {"1", "1", "1"}, {"1", "1", "1"}}}, group);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->Text, LoopGainBound(LoopTest::Current, GainTerm::P).Message);
    EXPECT_EQ(LoopGainsOf(group, LoopTest::Current), (LoopGains{0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(LoopGainsOf(group, LoopTest::Speed), (LoopGains{0.5f, 0.5f, 0.5f}));

    // A bad speed loop: the current loop is already stored, the position loop is not.
    group = before;
    refused =
        CheckAndStoreAllLoopGains({{{"1", "2", "0.5"}, {"1", "6", "1"}, {"2", "2", "2"}}}, group);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->Text, LoopGainBound(LoopTest::Speed, GainTerm::I).Message);
    EXPECT_EQ(LoopGainsOf(group, LoopTest::Current), (LoopGains{1.0f, 2.0f, 0.5f}));
    EXPECT_EQ(LoopGainsOf(group, LoopTest::Speed), (LoopGains{0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(LoopGainsOf(group, LoopTest::Position), (LoopGains{0.5f, 0.5f, 0.5f}));

    group = before;
    EXPECT_FALSE(CheckAndStoreAllLoopGains(
        {{{"1", "2", "0.5"}, {"3", "0.2", "0"}, {"2.5", "0", "0.1"}}}, group));
    EXPECT_EQ(LoopGainsOf(group, LoopTest::Speed), (LoopGains{3.0f, 0.2f, 0.0f}));
    EXPECT_EQ(LoopGainsOf(group, LoopTest::Position), (LoopGains{2.5f, 0.0f, 0.1f}));
}

}  // namespace
}  // namespace torvane
