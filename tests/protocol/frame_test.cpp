#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace torvane {
namespace {

TEST(Crc16, CheckValueAndEmptyRange) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x4B37);
    EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);
}

TEST(BuildFrame, RequestsAreExactOnTheWire) {
    struct Case {
        uint8_t function;
        RegisterAddress address;
        std::vector<uint8_t> data;
        uint8_t count;
        std::string wire;
    };
    const Case cases[] = {
        {kFunctionRead, 0x2100, {}, 34, "5A A5 04 01 21 00 22 D9 DF"},
        {kFunctionRead, 0x2200, {}, 7, "5A A5 04 01 22 00 07 E8 04"},
    };
    for (const Case& c : cases) {
        uint8_t frame[kTxFrameSize] = {};
        std::copy(c.data.begin(), c.data.end(), frame + kDataOffset);
        const size_t n = BuildFrame(frame, c.function, c.address, c.count,
                                    static_cast<uint8_t>(c.data.size()));
        EXPECT_EQ(HexBytes(frame, n), c.wire);
    }
    // A write: length = count + 4, the CRC over header to last data byte, low byte first.
    uint8_t frame[kTxFrameSize] = {};
    PutU16BE(frame + kDataOffset, 0x0201);
    const size_t n = BuildFrame(frame, kFunctionWrite, 0x6000, 2, 2);
    ASSERT_EQ(n, 11u);
    EXPECT_EQ(HexBytes(frame, 7 + 2), "5A A5 06 02 60 00 02 02 01");
    const uint16_t crc = Crc16(frame, 9);
    EXPECT_EQ(frame[9], crc & 0xFF);
    EXPECT_EQ(frame[10], crc >> 8);
}

TEST(Codecs, BigEndianAndBitPatterns) {
    uint8_t b[4] = {};
    PutU16BE(b, 0x1202);
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ(b[1], 0x02);
    PutU32BE(b, 0x01020304);
    EXPECT_EQ(HexBytes(b, 4), "01 02 03 04");
    const uint8_t one[4] = {0x3F, 0x80, 0x00, 0x00};
    float f = 0;
    GetU32BE(one, &f);
    EXPECT_EQ(f, 1.0f);
    PutFloatBE(b, -2.5f);
    EXPECT_EQ(GetFloatBE(b), -2.5f);
    PutI32BE(b, -2);
    EXPECT_EQ(HexBytes(b, 4), "FF FF FF FE");
    EXPECT_EQ(GetI32BE(b), -2);

    uint8_t byte = 0x80;
    PutBit(&byte, 5, 0);  // any non-zero flag sets
    EXPECT_EQ(byte, 0x81);
    PutBit(&byte, 0, 7);  // zero clears, the rest stays
    EXPECT_EQ(byte, 0x01);
    uint8_t bit = 9;
    const uint8_t src = 0xFE;
    GetBit(&src, &bit, 0);
    EXPECT_EQ(bit, 0);
    GetBit(&src, &bit, 7);
    EXPECT_EQ(bit, 1);
}

TEST(CheckRange, BoundsPrefixesAndMessage) {
    struct Case {
        const char* text;
        double min, max;
        uint8_t status;
    };
    const Case cases[] = {
        {"0", 0, 2500, 0},     {"2500", 0, 2500, 0}, {"2500.0001", 0, 2500, 2},
        {"-0.5", 0, 2500, 2},  {"12abc", 0, 12, 0},  {"13abc", 0, 12, 2},
        {"", 1, 2, 2},         {"", 0, 1, 0},        {"  7e1", 0, 70, 0},
        {"abc", -1, 1, 0},     {"0x10", 0, 1, 0},    {"inf", 0, 1, 0},
        {"1e400", 0, 1e300, 2},
    };
    for (const Case& c : cases) {
        std::string message = "untouched";
        EXPECT_EQ(CheckRange(c.text, c.min, c.max, message), c.status) << c.text;
        if (c.status == 0) {
            EXPECT_EQ(message, "untouched") << c.text;
        }
    }
    std::string message;
    ASSERT_EQ(CheckRange("2600", 0, 2500, message), 2);
    EXPECT_EQ(message, "allowed band 0 up to 2500");
    ASSERT_EQ(CheckRange("9", 0.8, 5.25, message), 2);
    EXPECT_EQ(message, "allowed band 0.8 up to 5.25");
}

TEST(Rpm, SinglePrecisionAndRounding) {
    struct Case {
        float rpm;
        uint32_t countsPerRev;
        int32_t counts;
    };
    const Case cases[] = {
        {1.0f, 4000, 67},  // 66.67 rounded
        {-1.0f, 4000, -67},
        {30.0f, 1, 1},  // 0.5 rounds away from zero
        {-30.0f, 1, -1},
        {0.0f, 10000, 0},
        // x = 8738133 in float (above 2^23): the half added in double keeps it, where
        // 8738133.5f would round to even, 8738134.
        {4000.0f, 131072, 8738133},
        {-4000.0f, 131072, -8738133},
        // Huge and non-finite entries saturate instead of being undefined.
        {1e30f, 10000, std::numeric_limits<int32_t>::max()},
        {-1e30f, 10000, std::numeric_limits<int32_t>::min()},
        {std::nanf(""), 10000, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RpmToCounts(c.rpm, c.countsPerRev), c.counts)
            << c.rpm << " rpm, R " << c.countsPerRev;
    }
    EXPECT_FLOAT_EQ(CountsToRpm(67, 4000), 1.005f);
    EXPECT_EQ(CountsToRpm(100, 0), 0.0f);
}

TEST(LeadingNumbers, ReadLikeTheEntries) {
    EXPECT_EQ(LeadingInteger(" -12x"), -12);
    EXPECT_EQ(LeadingInteger("2.7"), 2);
    EXPECT_EQ(LeadingInteger("x"), 0);
    EXPECT_EQ(LeadingInteger("99999999999999999999999"), std::numeric_limits<int64_t>::max());
    EXPECT_DOUBLE_EQ(LeadingDouble("1499.5rpm"), 1499.5);
    EXPECT_DOUBLE_EQ(LeadingDouble(".5"), 0.5);
    EXPECT_DOUBLE_EQ(LeadingDouble("-"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingDouble("3e"), 3.0);
}

}  // namespace
}  // namespace torvane
