#include "protocol/register_map.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace torvane {
namespace {

std::string Hex(const uint8_t* p, uint8_t n) { return HexBytes(p, n); }

TEST(RegisterMap, PackRoutinesLayOutTheBlocks) {
    uint8_t p[128];
    MotorGroup m;
    m.PolePairs = 4;
    m.FeedbackType = 2;
    m.EncoderLines = 2500;
    m.RatedCurrent = 1.0f;
    m.LockedRotorCurrent = 2.0f;
    m.RatedRotorSpeed = -1;
    m.MotorHallSequence = 3;
    ASSERT_EQ(PackMotorGroup(p, m), 17);
    EXPECT_EQ(Hex(p, 17), "04 02 09 C4 3F 80 00 00 40 00 00 00 FF FF FF FF 03");
    ASSERT_EQ(PackMotorGroupDownload(p, m), 16);

    ApplicationGroup a;
    a.MotorDirection = 1;
    ASSERT_EQ(PackApplicationGroup(p, a), 37);
    EXPECT_EQ(p[0], 0x01);
    a.CurrentFlag = 1;
    a.AppliedMaxPos = 10;
    a.InitialPosition = 0x01020304;
    PackApplicationGroup(p, a);
    EXPECT_EQ(p[0], 0x03);
    EXPECT_EQ(Hex(p + 25, 4), "00 00 00 0A");
    EXPECT_EQ(Hex(p + 33, 4), "01 02 03 04");

    ASSERT_EQ(PackPositionSetpoint(p, 1, -2, 300, 7), 13);
    EXPECT_EQ(Hex(p, 13), "01 FF FF FF FE 00 00 01 2C 00 00 00 07");
    ASSERT_EQ(PackPositionTest(p, 1000, 2000, -3), 16);
    EXPECT_EQ(Hex(p, 16), "00 00 03 E8 00 00 00 00 00 00 07 D0 FF FF FF FD");
    ASSERT_EQ(PackCurrentTest(p, 0, 1.0f, 50), 7);
    EXPECT_EQ(Hex(p, 7), "00 3F 80 00 00 00 32");
    ASSERT_EQ(PackCanSettings(p, 5, 0x0C), 2);
    EXPECT_EQ(Hex(p, 2), "05 0C");
    ASSERT_EQ(PackControlWord(p, control::kEnable), 2);
    EXPECT_EQ(Hex(p, 2), "02 01");

    CustomGroup c;
    c.CustomFlags[0] = 1;
    c.CustomFlags[9] = 5;  // any non-zero flag sets its bit
    c.CustomFlags[31] = 1;
    c.CustomValues[23] = -1;
    ASSERT_EQ(PackCustomGroup(p, c), 100);
    EXPECT_EQ(Hex(p, 4), "01 02 00 80");
    EXPECT_EQ(Hex(p + 96, 4), "FF FF FF FF");
}

TEST(RegisterMap, BlocksRoundTripThroughTheDecoder) {
    uint8_t p[128];
    DriveState s;
    MotionFields m;

    MotorGroup mg{7, 2, 1000, 3.5f, 7.25f, 3000, 6};
    PackMotorGroup(p, mg);
    DecodeReadReply(reg::kMotorGroup, p, 17, s, m);
    EXPECT_EQ(std::memcmp(&s.Params.Motor.RatedCurrent, &mg.RatedCurrent, 4), 0);
    EXPECT_EQ(s.Params.Motor.EncoderLines, 1000);
    EXPECT_EQ(s.Params.Motor.MotorHallSequence, 6);

    CustomGroup cg;
    cg.CustomFlags[8] = 1;
    cg.CustomValues[4] = 12345;
    PackCustomGroup(p, cg);
    DecodeReadReply(reg::kCustomGroup, p, 100, s, m);
    EXPECT_EQ(s.Params.Custom.CustomFlags[8], 1);
    EXPECT_EQ(s.Params.Custom.CustomFlags[9], 0);
    EXPECT_EQ(s.Params.Custom.CustomValues[4], 12345);

    PackLoopGains(p, 0.5f, 0.25f, 0.125f);
    DecodeReadReply(reg::kSpeedLoopGains, p, 12, s, m);
    EXPECT_EQ(s.Params.Loop.SpeedLoopI, 0.25f);
    EXPECT_EQ(s.Params.Loop.CurrentLoopI, 0.0f);
}

TEST(RegisterMap, TheMotorGroupSetsCountsPerRevFromItsEncoderLines) {
    uint8_t p[32];
    const struct {
        uint16_t lines;
        size_t carried;  // data bytes the reply carries
        uint32_t countsPerRev;
    } cases[] = {
        {2500, 17, 10000},
        {0, 17, 1},      // no lines reported: the figure stays
        {2500, 3, 1},    // the lines are not all there: nothing taken
        {65535, 4, 262140},
    };
    for (const auto& c : cases) {
        DriveState s;
        MotionFields m;
        MotorGroup mg{4, 1, c.lines, 5.0f, 15.0f, 3000, 1};
        PackMotorGroup(p, mg);
        DecodeReadReply(reg::kMotorGroup, p, c.carried, s, m);
        EXPECT_EQ(s.CountsPerRev, c.countsPerRev) << c.lines << " lines, " << c.carried << " bytes";
    }
}

TEST(RegisterMap, LiveStatusDependsOnAutoUpdateAndModel) {
    uint8_t d[26];
    for (int i = 0; i < 26; ++i) d[i] = static_cast<uint8_t>(i + 1);
    DriveState s;
    MotionFields m;
    DecodeReadReply(reg::kLiveStatus, d, 22, s, m);
    EXPECT_EQ(s.MotorTemperature, 1);
    EXPECT_EQ(s.MotorState, 2);
    EXPECT_EQ(s.StatusFaultWord, 0x0304);
    EXPECT_EQ(s.StatusWord2, 0x0506);
    EXPECT_EQ(s.LiveSpeed, 0);  // Auto Update clear: live fields unchanged
    EXPECT_EQ(s.BusVoltage, 0.0f);

    s.AutoUpdate = 1;
    DecodeReadReply(reg::kLiveStatus, d, 26, s, m);
    EXPECT_EQ(s.LiveSpeed, 0x0708090A);
    EXPECT_EQ(s.LivePosition, 0x0B0C0D0E);
    EXPECT_EQ(s.StatusExtra, 0u);  // only for the long-status model
    s.ModelString = "KVD417";
    EXPECT_EQ(LongStatusSize(s), 26);
    DecodeReadReply(reg::kLiveStatus, d, 26, s, m);
    EXPECT_EQ(s.StatusExtra, 0x1718191Au);
    s.ModelString = "KVD418";
    EXPECT_EQ(LongStatusSize(s), 22);
}

TEST(RegisterMap, ShortRepliesKeepFieldsTheyDoNotCarry) {
    DriveState s;
    MotionFields m;
    s.AutoUpdate = 1;
    s.BusVoltage = 48.0f;
    s.LiveSpeed = 77;
    const uint8_t six[6] = {30, 1, 0, 0, 0, 0};
    DecodeReadReply(reg::kLiveStatus, six, 6, s, m);  // the 500 ms poll's short form
    EXPECT_EQ(s.MotorTemperature, 30);
    EXPECT_EQ(s.LiveSpeed, 77);
    EXPECT_EQ(s.BusVoltage, 48.0f);
    // Nine bytes: LiveSpeed is carried, LivePosition only in part, so it stays.
    s.LivePosition = 5;
    const uint8_t nine[9] = {30, 1, 0, 0, 0, 0, 0, 0, 0};
    DecodeReadReply(reg::kLiveStatus, nine, 9, s, m);
    EXPECT_EQ(s.LiveSpeed, 77);
    EXPECT_EQ(s.LivePosition, 5);
}

TEST(RegisterMap, IdentityStrings) {
    DriveState s;
    MotionFields m;
    uint8_t d[34] = {};
    std::memcpy(d, "ABC?xxxxxxxxxxxx", 16);
    std::memcpy(d + 16, "KVD417?", 7);
    DecodeReadReply(reg::kIdentification, d, 34, s, m);
    EXPECT_EQ(s.IdString, "ABC");
    EXPECT_EQ(s.ModelString, "KVD417");
    EXPECT_EQ(LongStatusSize(s), 26);
    // Without a '?', each string stops at the end of its own field.
    std::memset(d, 'A', 34);
    DecodeReadReply(reg::kIdentification, d, 34, s, m);
    EXPECT_EQ(s.IdString, std::string(16, 'A'));
    EXPECT_EQ(s.ModelString, std::string(18, 'A'));
    // Zero padding ends a string too.
    std::memset(d, 0, 34);
    std::memcpy(d + 16, "KVD417", 6);
    DecodeReadReply(reg::kIdentification, d, 34, s, m);
    EXPECT_EQ(s.IdString, "");
    EXPECT_EQ(s.ModelString, "KVD417");
}

TEST(RegisterMap, DerivedValues) {
    DriveState s;
    MotionFields m;
    uint8_t d[37] = {};
    PutI32BE(d + 25, 10);
    PutI32BE(d + 29, -3);
    s.Params.Application.MaxPos = 10.99f;
    DecodeReadReply(reg::kApplicationGroup, d, 37, s, m);
    EXPECT_EQ(s.Params.Application.MaxPos, 10.0f);
    EXPECT_EQ(s.Params.Application.MinPos, -3.0f);

    uint8_t lim[24] = {};
    PutFloatBE(lim, 20.0f);
    PutI32BE(lim + 16, 1000);
    PutI32BE(lim + 20, 50);
    DecodeReadReply(reg::kDriveLimits, lim, 24, s, m);
    EXPECT_EQ(s.SpeedLimit, 3000.0f);  // CountsPerRev 1: value 6 x 60
    EXPECT_EQ(s.SpeedLimitA, 60000.0f);
    EXPECT_EQ(s.DriveLimitFloat(1), 20.0f);
    s.CountsPerRev = 10000;
    PutI32BE(lim + 20, 500000);
    DecodeReadReply(reg::kDriveLimits, lim, 24, s, m);
    EXPECT_EQ(s.SpeedLimit, 3000.0f);
    s.CountsPerRev = 0;  // cannot come from the pages, must not divide by zero
    DecodeReadReply(reg::kDriveLimits, lim, 24, s, m);
    EXPECT_EQ(s.SpeedLimit, 0.0f);
}

TEST(RegisterMap, SetpointReadsLeaveTheExtraWordAlone) {
    DriveState s;
    MotionFields m;
    m.SetpointExtra = 42;
    uint8_t d[13];
    PackSpeedSetpoint(d, 1234, 99);
    DecodeReadReply(reg::kSpeedSetpoint, d, 8, s, m);
    EXPECT_EQ(m.SpeedSetpoint, 1234);
    PackPositionSetpoint(d, 1, -500, 60, 99);
    DecodeReadReply(reg::kPositionSetpoint, d, 13, s, m);
    EXPECT_EQ(m.PositionType, 1);
    EXPECT_EQ(m.PositionSetpoint, -500);
    EXPECT_EQ(m.PositionSpeed, 60);
    EXPECT_EQ(m.SetpointExtra, 42);

    uint8_t w[18] = {2};
    PutFloatBE(w + 1, 1.5f);
    PutI32BE(w + 5, -7);
    w[9] = 1;
    PutI32BE(w + 10, 100);
    PutI32BE(w + 14, 200);
    DecodeReadReply(reg::kWorkMode, w, 18, s, m);
    EXPECT_EQ(m.WorkMode, 2);
    EXPECT_EQ(m.CurrentSetpoint, 1.5f);
    EXPECT_EQ(m.SpeedSetpoint, -7);
    EXPECT_EQ(m.PositionSetpoint, 100);
    EXPECT_EQ(m.PositionSpeed, 200);
}

TEST(RegisterMap, MatchingGroupFromTheWire) {
    DriveState s;
    MotionFields m;
    const uint8_t d[7] = {0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0x5A};
    DecodeReadReply(reg::kMatchingGroup, d, 7, s, m);
    const MatchingGroup& g = s.Params.Matching;
    EXPECT_EQ(g.MatchMarks, 1);
    EXPECT_EQ(g.GraviationSequence, 1);
    EXPECT_EQ(g.HallLineSequence, 0);
    EXPECT_EQ(g.HallDirection, 1);
    EXPECT_EQ(g.EncoderDirection, 0);
    EXPECT_EQ(g.InitialElectricalAngle, 0x005A);
}

}  // namespace
}  // namespace torvane
