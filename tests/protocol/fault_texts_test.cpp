#include "protocol/fault_texts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace torvane {
namespace {

using Texts = std::vector<std::string>;

TEST(DecodeFaultWordTest, ListsSetBitsInBitOrder) {
    struct Case {
        uint16_t word;
        Texts texts;
    };
    const Case cases[] = {
        {0x0000, {}},
        {0xC000, {}},  // bits 14 and 15 carry no text
        {0x0005, {"Hard case overflow recovery position", "Undervoltage error"}},
        {0x0008, {"Undervoltage error Overvoltage error"}},
        {0x0020, {"retain"}},
        {0x2000, {"Encoder calibration error"}},
        {0xA001, {"Hard case overflow recovery position", "Encoder calibration error"}},
        {0x1800, {"Internal temperature error", "Motor temperature error"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeFaultWord(c.word), c.texts) << "word 0x" << std::hex << c.word;
    }
}

TEST(DecodeFaultWordTest, EveryBitHasItsOwnTextAndAllBitsGiveFourteen) {
    std::set<std::string> seen;
    for (int bit = 0; bit < kFaultBitCount; ++bit) {
        const Texts texts = DecodeFaultWord(static_cast<uint16_t>(1u << bit));
        ASSERT_EQ(texts.size(), 1u) << "bit " << bit;
        EXPECT_EQ(texts[0], kFaultBitTexts[bit]);
        seen.insert(texts[0]);
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kFaultBitCount));

    const Texts all = DecodeFaultWord(0xFFFF);
    ASSERT_EQ(all.size(), static_cast<size_t>(kFaultBitCount));
    EXPECT_EQ(all.front(), "Hard case overflow recovery position");
    EXPECT_EQ(all.back(), "Encoder calibration error");
}

TEST(FaultTextsTest, FixedTextsKeepTheirExactSpelling) {
    // The two "no error" texts differ in case on purpose: one is the pane, one the cleared state.
    EXPECT_STREQ(kNoFaultText, "no error");
    EXPECT_STREQ(kFaultsClearedText, "No Error");
    EXPECT_STREQ(kWrongCanBaudText, "Wrong CAN baud rate");
    EXPECT_STREQ(kInvalidWorkModeText, "Invalid working mode");
    EXPECT_STREQ(kMatchCompletedText, "Match completed,please close\u2026\u2026\uFF01");
    EXPECT_STREQ(kMatchFailedText, "Failed to match. please close\u2026\u2026\uFF01");
}

}  // namespace
}  // namespace torvane
