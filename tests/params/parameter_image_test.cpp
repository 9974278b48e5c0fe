// The .dat image byte by byte, and the list page's 37 rows.
#include "params/parameter_image.h"

#include <gtest/gtest.h>

#include "params/parameter_diff.h"
#include "params/parameter_fields.h"
#include "params/parameter_list.h"
#include "protocol/frame.h"

#define FWCOLON "\xEF\xBC\x9A"

namespace torvane {
namespace {

std::string Hex(const ParameterImage& img, size_t from, size_t n) {
    return HexBytes(img.data() + from, n);
}

TEST(ParameterImage, ByteExamples) {
    ParameterSet set;
    ParameterImage img = EncodeParameterImage(set, 1);
    EXPECT_EQ(Hex(img, 0, 92), HexBytes(std::vector<uint8_t>(92, 0).data(), 92));
    EXPECT_EQ(Hex(img, 92, 4), "00 00 00 01");

    set.Motor.PolePairs = 4;
    set.Motor.FeedbackType = 2;
    set.Motor.EncoderLines = 2500;
    set.Motor.RatedCurrent = 3.0f;
    img = EncodeParameterImage(set, 10000);
    EXPECT_EQ(Hex(img, 0, 8), "04 02 09 C4 40 40 00 00");
    EXPECT_EQ(Hex(img, 92, 4), "00 00 27 10");
}

TEST(ParameterImage, EveryOffset) {
    ParameterSet set;
    set.Motor.LockedRotorCurrent = 1.0f;
    set.Motor.RatedRotorSpeed = -2;
    set.Application.AppliedCurrentRating = 2.0f;
    set.Application.AppliedLockedRotorCurrent = -2.0f;
    set.Application.MaximumSpeed = 0x01020304;
    set.Application.Acceleration = 5;
    set.Application.Deceleration = 6;
    set.Application.StopDeceleration = 7;
    set.Application.AppliedMaxPos = 8;
    set.Application.AppliedMinPos = -9;
    set.Application.MotorDirection = 1;
    set.Matching = {1, 2, 3, 0xFF, 0xFE, 0xABCD};
    set.Loop = {0.5f, 1, 2, 4, 8, 16, 32, 64, 0.25f};
    const ParameterImage img = EncodeParameterImage(set, 0xA1B2C3D4);
    EXPECT_EQ(Hex(img, 8, 8), "3F 80 00 00 FF FF FF FE");
    EXPECT_EQ(Hex(img, 16, 32),
              "40 00 00 00 C0 00 00 00 01 02 03 04 00 00 00 05 00 00 00 06 00 00 00 07 "
              "00 00 00 08 FF FF FF F7");
    EXPECT_EQ(Hex(img, 48, 8), "01 01 02 03 FF FE AB CD");
    EXPECT_EQ(Hex(img, 56, 4), "3F 00 00 00");
    EXPECT_EQ(Hex(img, 88, 8), "3E 80 00 00 A1 B2 C3 D4");
}

TEST(ParameterImage, RoundTripOfEveryFieldTheFileHolds) {
    std::vector<FieldId> inFile;
    for (FieldId id : DownloadedFields()) {
        if (id != FieldId::CurrentFlag) inFile.push_back(id);
    }
    ASSERT_EQ(inFile.size(), 30u);
    ParameterSet written;
    int n = 1;
    for (FieldId id : inFile) {
        SetField(written, id, FieldValue{n, static_cast<float>(n) + 0.125f});
        ++n;
    }
    written.Matching.HallDirection = 0xFF;  // -1 as a signed byte
    const ParameterImage img = EncodeParameterImage(written, 123456789);

    // The fields the file does not hold keep the values the set had.
    ParameterSet read;
    read.Motor.MotorHallSequence = 6;
    read.Application.CurrentFlag = 1;
    read.Application.InitialPosition = -5;
    read.Application.MaxPos = 10.99f;
    read.Application.MinPos = 1.5f;
    read.Custom.CustomValues[3] = 77;
    read.Custom.CustomFlags[31] = 1;
    uint32_t counts = 0;
    DecodeParameterImage(img, read, counts);
    EXPECT_EQ(counts, 123456789u);
    for (FieldId id : inFile) {
        EXPECT_TRUE(SameField(read, written, id)) << FieldInfo(id).Name;
    }
    EXPECT_EQ(read.Motor.MotorHallSequence, 6);
    EXPECT_EQ(read.Application.CurrentFlag, 1);
    EXPECT_EQ(read.Application.InitialPosition, -5);
    EXPECT_EQ(read.Application.MaxPos, 10.99f);
    EXPECT_EQ(read.Application.MinPos, 1.5f);
    EXPECT_EQ(read.Custom.CustomValues[3], 77);
    EXPECT_EQ(read.Custom.CustomFlags[31], 1);
}

TEST(ParameterImage, MotorDirectionReadFromBitZeroOnly) {
    const struct {
        uint8_t byte;
        uint8_t direction;
    } cases[] = {{0x00, 0}, {0x01, 1}, {0x03, 1}, {0x02, 0}, {0xFF, 1}};
    for (const auto& c : cases) {
        ParameterImage img{};
        img[48] = c.byte;
        ParameterSet set;
        uint32_t counts = 0;
        DecodeParameterImage(img, set, counts);
        EXPECT_EQ(set.Application.MotorDirection, c.direction) << int(c.byte);
    }
    ParameterSet set;
    set.Application.MotorDirection = 1;
    EXPECT_EQ(EncodeParameterImage(set, 1)[48], 0x01);
}

TEST(ParameterList, ThirtySevenRowsAsThePageShowsThem) {
    ParameterSet set;
    set.Motor = {4, 2, 2500, 3.0f, 6.5f, 3000, 5};
    set.Matching = {1, 1, 0, 0xFF, 0x80, 0xFFFE};
    set.Application.AppliedCurrentRating = 5.0f;
    set.Application.AppliedLockedRotorCurrent = 0.1f;
    set.Application.MaximumSpeed = 2500;
    set.Application.Acceleration = 100;
    set.Application.Deceleration = -1;
    set.Application.StopDeceleration = 0;
    set.Application.AppliedMaxPos = 10;
    set.Application.AppliedMinPos = 0;
    set.Application.MotorDirection = 1;
    set.Loop = {0.5f, 0.02f, 0, 2.5f, 0.1f, 0, 1, 0, 1.23456789f};
    const std::vector<std::string> expected = {
        "Motor Parameters",
        "Pole Pairs" FWCOLON "4",
        "Feedback Type" FWCOLON "2",
        "Number of encoder lines" FWCOLON "2500",
        "Rating Current" FWCOLON "3",
        "Locked-rotor Current" FWCOLON "6.5",
        "Rated Rotor Speed" FWCOLON "3000",
        "",
        "Matching Parameter",
        "Match Marks" FWCOLON "1",
        "The phase of graviation sequence" FWCOLON "1",
        "Hall line sequence" FWCOLON "0",
        "Hall Direction" FWCOLON "-1",
        "Encoder Direction" FWCOLON "-128",
        "Initial electrical Angle" FWCOLON "-2",
        "",
        "Application Parameter",
        "Applied Current Rating" FWCOLON "5",
        "Applied Locked-rotor Current" FWCOLON "0.1",
        "Applied Maximum Revolution" FWCOLON "2500",
        "Acceleration " FWCOLON "100",
        "Deceleration" FWCOLON "-1",
        "Stop Deceleration" FWCOLON "0",
        "Applied MaxPos" FWCOLON "10",
        "Applied MinPos" FWCOLON "0",
        "Motor Direction" FWCOLON "1",
        "",
        "The loop parameters",
        "Current Loop P" FWCOLON "0.5",
        "Current Loop I" FWCOLON "0.02",
        "Current Loop D" FWCOLON "0",
        "Speed Loop P" FWCOLON "2.5",
        "Speed Loop I" FWCOLON "0.1",
        "Speed Loop D" FWCOLON "0",
        "Position P" FWCOLON "1",
        "Position I" FWCOLON "0",
        "Position D" FWCOLON "1.23457",
    };
    const std::vector<ListRow> rows = ParameterListRows(set);
    ASSERT_EQ(rows.size(), kListRowCount);
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].Text(), expected[i]) << "row " << i + 1;
    EXPECT_EQ(rows[1].Unit, "pairs");
    EXPECT_EQ(rows[19].Unit, "RPM");
    EXPECT_EQ(rows[7].Value, "");
}

}  // namespace
}  // namespace torvane
