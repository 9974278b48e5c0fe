// The simulated drive's register blocks: what it reads back is what was written, in the
// layout the tool reads, and its factory blocks carry the documented figures.
#include "sim/register_model.h"

#include <gtest/gtest.h>

#include "protocol/register_map.h"
#include "sim/drive_behaviour.h"
#include "sim/request_cutter.h"

namespace torvane::sim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Read(DriveBehaviour& d, RegisterAddress a, uint8_t count) {
    Bytes out(256);
    EXPECT_EQ(d.Read(a, count, out.data()), nibble::kOk) << std::hex << a;
    out.resize(count);
    return out;
}

Bytes Floats(std::initializer_list<float> values) {
    Bytes b;
    for (float v : values) {
        uint8_t f[4];
        PutFloatBE(f, v);
        b.insert(b.end(), f, f + 4);
    }
    return b;
}

Bytes I32(std::initializer_list<int32_t> values) {
    Bytes b;
    for (int32_t v : values) {
        uint8_t f[4];
        PutI32BE(f, v);
        b.insert(b.end(), f, f + 4);
    }
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

TEST(RegisterModel, WrittenBlocksReadBackInTheirLayout) {
    Bytes custom(100);
    for (size_t i = 0; i < custom.size(); ++i) custom[i] = static_cast<uint8_t>(i * 37 + 5);
    const struct {
        RegisterAddress address;
        Bytes bytes;
    } cases[] = {
        {reg::kCanSettings, {5, 9}},
        {reg::kMotorGroup, Cat({{7, 2, 0x04, 0x00}, Floats({3.5f, 9.25f}), I32({2800}), {4}})},
        {reg::kApplicationGroup,
         Cat({{0x03}, Floats({3.0f, 8.0f}), I32({1500, 700, 600, 500, 12, 11, -42})})},
        {reg::kCurrentLoopGains, Floats({1.5f, 0.25f, 0.125f})},
        {reg::kSpeedLoopGains, Floats({2.0f, 0.5f, 0.0f})},
        {reg::kPositionLoopGains, Floats({0.75f, 0.0f, 0.01f})},
        {reg::kMatchingGroup, {1, 0, 1, 0, 1, 0x01, 0x2C}},
        {reg::kWorkMode, Cat({{2}, Floats({-1.5f}), I32({-900}), {1}, I32({123456, 700})})},
        {reg::kCurrentSetpoint, Floats({-2.5f})},
        {reg::kPositionSetpoint, Cat({{1}, I32({-16383, 1000, 5})})},
        {reg::kCurrentTestParams, Cat({{0}, Floats({1.25f}), {0x00, 0x32}})},
        {reg::kSpeedTestParams, I32({1000})},
        {reg::kPositionTestParams, I32({1000, 0, 800, -10240})},
        {reg::kCustomGroup, custom},
    };
    DriveBehaviour drive;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.address);
        ASSERT_EQ(drive.Write(c.address, c.bytes.data(), c.bytes.size()), nibble::kOk);
        EXPECT_EQ(Read(drive, c.address, static_cast<uint8_t>(c.bytes.size())), c.bytes);
    }
    // Reads may take the front of a block.
    EXPECT_EQ(Read(drive, reg::kMotorGroup, 4), (Bytes{7, 2, 0x04, 0x00}));
}

TEST(RegisterModel, TheSpeedSetpointIsTakenInRpmAndReportedInCountsPerSecond) {
    DriveBehaviour drive;  // factory encoder: 2500 lines, 10000 counts per revolution
    const struct {
        int32_t rpm, counts;
    } cases[] = {{1000, 166667}, {-1500, -250000}, {1, 167}, {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rpm);
        const Bytes written = I32({c.rpm, 77});
        ASSERT_EQ(drive.Write(reg::kSpeedSetpoint, written.data(), 8), nibble::kOk);
        EXPECT_EQ(Read(drive, reg::kSpeedSetpoint, 8), I32({c.counts, 77}));
        // The work-mode block reports the set-point as it was written.
        EXPECT_EQ(GetI32BE(Read(drive, reg::kWorkMode, 18).data() + 5), c.rpm);
    }
}

TEST(RegisterModel, TheWorkModeBlockReportsTheSetpointsLastWritten) {
    DriveBehaviour drive;
    const Bytes current = Floats({-2.5f});
    const Bytes speed = I32({-1500, 0});
    const Bytes position = Cat({{1}, I32({-16383, 1000, 5})});
    ASSERT_EQ(drive.Write(reg::kCurrentSetpoint, current.data(), 4), nibble::kOk);
    ASSERT_EQ(drive.Write(reg::kSpeedSetpoint, speed.data(), 8), nibble::kOk);
    ASSERT_EQ(drive.Write(reg::kPositionSetpoint, position.data(), 13), nibble::kOk);
    const uint8_t mode = 2;
    ASSERT_EQ(drive.Write(reg::kWorkMode, &mode, 1), nibble::kOk);
    EXPECT_EQ(Read(drive, reg::kWorkMode, 18),
              Cat({{2}, Floats({-2.5f}), I32({-1500}), {1}, I32({-16383, 1000})}));
}

TEST(RegisterModel, ShortWritesKeepTheFieldsTheyDoNotCarry) {
    DriveBehaviour drive;
    const Bytes before1000 = Read(drive, reg::kMotorGroup, 17);
    const Bytes before1100 = Read(drive, reg::kApplicationGroup, 37);
    const Bytes before2300 = Read(drive, reg::kWorkMode, 18);

    const Bytes motor = Cat({{6, 1, 0x03, 0xE8}, Floats({2.0f, 6.0f}), I32({2000})});  // 16
    ASSERT_EQ(drive.Write(reg::kMotorGroup, motor.data(), motor.size()), nibble::kOk);
    Bytes expected = motor;
    expected.push_back(before1000[16]);  // Motor Hall Sequence stays
    EXPECT_EQ(Read(drive, reg::kMotorGroup, 17), expected);

    const Bytes app = Cat({{0x01}, Floats({4.0f, 9.0f}), I32({2000, 500, 0, 0, 50, 50})});  // 33
    ASSERT_EQ(drive.Write(reg::kApplicationGroup, app.data(), app.size()), nibble::kOk);
    expected = app;
    expected.insert(expected.end(), before1100.begin() + 33, before1100.end());
    EXPECT_EQ(Read(drive, reg::kApplicationGroup, 37), expected);

    const uint8_t mode = 0;
    ASSERT_EQ(drive.Write(reg::kWorkMode, &mode, 1), nibble::kOk);
    expected = before2300;
    expected[0] = 0;
    EXPECT_EQ(Read(drive, reg::kWorkMode, 18), expected);
}

TEST(RegisterModel, FactoryBlocks) {
    DriveBehaviour drive;
    // Pole pairs 4, incremental encoder of 2500 lines, 5 A rated, 15 A locked rotor, 3000 rpm.
    EXPECT_EQ(HexBytes(Read(drive, reg::kMotorGroup, 17).data(), 17),
              "04 01 09 C4 40 A0 00 00 41 70 00 00 00 00 0B B8 01");
    // Matched, calibrated, tested, not yet initialised, electrical angle 90.
    EXPECT_EQ(HexBytes(Read(drive, reg::kMatchingGroup, 7).data(), 7), "01 01 01 00 00 00 5A");
    EXPECT_EQ(HexBytes(Read(drive, reg::kCanSettings, 2).data(), 2), "04 01");

    const Bytes id = Read(drive, reg::kIdentification, 34);
    EXPECT_EQ(std::string(id.begin(), id.begin() + 12), "TVS-0000417?");
    EXPECT_EQ(std::string(id.begin() + 16, id.begin() + 23), "KVD417?");

    // Four floats (A, A, V, V), then 3000 and 6000 rpm in counts/s of 10000 counts/rev.
    const Bytes limits = Read(drive, reg::kDriveLimits, 24);
    EXPECT_EQ(GetFloatBE(limits.data()), 15.0f);
    EXPECT_EQ(GetFloatBE(limits.data() + 4), 5.0f);
    EXPECT_EQ(GetFloatBE(limits.data() + 8), 60.0f);
    EXPECT_EQ(GetFloatBE(limits.data() + 12), 20.0f);
    EXPECT_EQ(GetI32BE(limits.data() + 16), 500000);
    EXPECT_EQ(GetI32BE(limits.data() + 20), 1000000);

    // The count limits follow the encoder.
    const Bytes motor = Cat({{4, 1, 0x03, 0xE8}, Floats({5.0f, 15.0f}), I32({3000}), {1}});
    ASSERT_EQ(drive.Write(reg::kMotorGroup, motor.data(), motor.size()), nibble::kOk);
    EXPECT_EQ(GetI32BE(Read(drive, reg::kDriveLimits, 24).data() + 20), 400000);
}

TEST(RegisterModel, TheModelDecidesTheLongStatus) {
    const struct {
        std::string model;
        uint8_t longest;
    } cases[] = {{"KVD417", 26}, {"KVD418", 22}, {"", 22}, {"KVD417X", 22}};
    for (const auto& c : cases) {
        SimOptions options;
        options.Model = c.model;
        DriveBehaviour drive(options);
        uint8_t out[128];
        EXPECT_EQ(drive.Read(reg::kLiveStatus, c.longest, out), nibble::kOk) << c.model;
        EXPECT_EQ(drive.Read(reg::kLiveStatus, c.longest + 1, out), nibble::kCommandValue);
        const Bytes id = Read(drive, reg::kIdentification, 34);
        EXPECT_EQ(std::string(id.begin() + 16, id.begin() + 17 + c.model.size()), c.model + "?");
    }
}

TEST(RegisterModel, AccessRules) {
    DriveBehaviour drive;
    uint8_t out[256];
    const uint8_t two[2] = {0, 0};
    const struct {
        const char* what;
        bool read;
        RegisterAddress address;
        uint8_t count;
        uint8_t expected;
    } cases[] = {
        {"unknown block", true, 0x1234, 2, nibble::kAddress},
        {"unknown block", false, 0x1234, 2, nibble::kAddress},
        {"read-only status", false, reg::kLiveStatus, 2, nibble::kReadOnly},
        {"read-only limits", false, reg::kDriveLimits, 2, nibble::kReadOnly},
        {"read-only test status", false, reg::kSpeedTestStatus, 1, nibble::kReadOnly},
        {"read-only capture", false, 0x8000, 2, nibble::kReadOnly},
        {"command has nothing to read", true, reg::kControlWord, 2, nibble::kFunction},
        {"reset has nothing to read", true, reg::kReset, 1, nibble::kFunction},
        {"read past the block", true, reg::kCanSettings, 3, nibble::kCommandValue},
        {"read of nothing", true, reg::kCanSettings, 0, nibble::kCommandValue},
        {"write of the wrong size", false, reg::kCanSettings, 1, nibble::kCommandValue},
        {"capture block above 128", true, 0x8000, 129, nibble::kCommandValue},
        {"capture past its end", true, 0xA000, 1, nibble::kAddress},
        {"last capture byte", true, 0x9FFF, 1, nibble::kOk},
    };
    for (const auto& c : cases) {
        const uint8_t got =
            c.read ? drive.Read(c.address, c.count, out) : drive.Write(c.address, two, c.count);
        EXPECT_EQ(got, c.expected) << c.what;
    }
}

TEST(RequestCutter, FindsFramesInNoise) {
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        size_t skip, size;
    } cases[] = {
        {"a read", {0x5A, 0xA5, 0x04, 0x01, 0x21, 0x00, 0x22, 0xD9, 0xDF}, 0, 9},
        {"noise first", {0x00, 0x5A, 0x11, 0x5A, 0xA5, 0x04, 1, 2, 3, 4, 5, 6}, 3, 9},
        {"incomplete", {0x33, 0x5A, 0xA5, 0x06, 0x02, 0x60}, 1, 0},
        {"lone 5A at the end", {0x01, 0x02, 0x5A}, 2, 0},
        {"length above 250 is noise", {0x5A, 0xA5, 0xFB, 0x5A, 0xA5, 0x04, 1, 2, 3, 4, 5, 6}, 3, 9},
        {"length below 4 is noise", {0x5A, 0xA5, 0x03, 0x5A, 0xA5, 0x04, 1, 2, 3, 4, 5, 6}, 3, 9},
        {"only noise", {0x00, 0xA5, 0x12}, 3, 0},
        {"empty", {}, 0, 0},
    };
    for (const auto& c : cases) {
        const RequestCut cut = CutRequest(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(cut.Skip, c.skip) << c.what;
        EXPECT_EQ(cut.FrameSize, c.size) << c.what;
    }
}

}  // namespace
}  // namespace torvane::sim
