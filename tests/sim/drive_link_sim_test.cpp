// The whole stack against the simulated drive: DriveLink over the real SerialPort and the
// drive's pseudo-terminal. What the tool reads is what the drive holds, a loop test runs end
// to end, and every misbehaviour reaches the tool the way a real line would deliver it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "protocol/drive_link.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "serial/serial_port.h"
#include "sim/simulated_drive.h"
#include "sim/step_test_model.h"

namespace torvane::sim {
namespace {

using namespace std::chrono_literals;

class DriveLinkSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTimeScale(0.02);  // 5000 ms waits take 100 ms; the drive runs 50 times as fast
        SimOptions options;
        options.Pacing = false;
        drive = std::make_unique<SimulatedDrive>(options);
        ASSERT_TRUE(drive->Start());
        std::string reason;
        ASSERT_TRUE(port.Open(drive->SlavePath(), &reason)) << reason;
        link.StartExtractor();
    }
    void TearDown() override {
        port.ClearPortOpen();
        EXPECT_TRUE(link.StopExtractor());
        EXPECT_TRUE(port.Close());
        drive.reset();
        SetTimeScale(1.0);
    }
    DriveError Control(uint16_t word) {
        return link.WriteRegister(reg::kControlWord, PackControlWord(link.Payload(), word));
    }
    // Polls a test status register the way the console's progress timer does.
    bool WaitForStatus(RegisterAddress reg, uint8_t wanted) {
        for (int i = 0; i < 200; ++i) {
            const uint8_t count = reg == reg::kMatchingGroup ? 7 : 1;
            if (link.ReadRegister(reg, count) != kSuccess) return false;
            uint8_t status = 0;
            if (reg == reg::kCurrentTestStatus) status = state.CurrentTestStatus;
            if (reg == reg::kSpeedTestStatus) status = state.SpeedTestStatus;
            if (reg == reg::kPositionTestStatus) status = state.PositionTestStatus;
            if (reg == reg::kMatchingGroup) status = state.Params.Matching.HallDirection;
            if (status == wanted) return true;
            std::this_thread::sleep_for(Period(500));
        }
        return false;
    }
    std::unique_ptr<SimulatedDrive> drive;
    SerialPort port;
    DriveState state;
    MotionFields motion;
    DriveLink link{port, state, motion};
};

TEST_F(DriveLinkSimTest, TheHandshakeReadsTheDrivesBlocks) {
    const struct {
        RegisterAddress address;
        uint8_t count;
    } reads[] = {{reg::kIdentification, 34},   {reg::kLiveStatus, 26}, {reg::kCanSettings, 2},
                 {reg::kWorkMode, 18},         {reg::kMotorGroup, 17}, {reg::kMatchingGroup, 7},
                 {reg::kApplicationGroup, 37}, {reg::kDriveLimits, 24}};
    for (const auto& r : reads) {
        ASSERT_EQ(link.ReadRegister(r.address, r.count), kSuccess) << std::hex << r.address;
    }
    EXPECT_EQ(state.ModelString, "KVD417");
    EXPECT_EQ(state.IdString, "TVS-0000417");
    EXPECT_EQ(LongStatusSize(state), 26);
    EXPECT_EQ(state.MotorState, 0);
    EXPECT_EQ(state.StatusFaultWord, 0);
    EXPECT_EQ(state.CanBaudCode, 4);
    EXPECT_EQ(state.CanAddressCode, 1);
    EXPECT_EQ(motion.WorkMode, 1);
    EXPECT_EQ(state.Params.Motor.PolePairs, 4);
    EXPECT_EQ(state.Params.Motor.EncoderLines, 2500);
    EXPECT_EQ(state.Params.Motor.RatedCurrent, 5.0f);
    EXPECT_EQ(state.Params.Matching.MatchMarks, 1);
    EXPECT_EQ(state.Params.Application.MaximumSpeed, 2500);
    EXPECT_EQ(state.Params.Application.AppliedCurrentRating, 5.0f);
    EXPECT_EQ(state.DriveLimitFloat(1), 15.0f);
    EXPECT_EQ(static_cast<int32_t>(state.DriveLimits[5]), 1000000);
    const auto log = drive->Requests();
    ASSERT_EQ(log.size(), std::size(reads));
    EXPECT_EQ(HexBytes(log[0].Bytes.data(), log[0].Bytes.size()), "5A A5 04 01 21 00 22 D9 DF");
}

TEST_F(DriveLinkSimTest, EnableRunAndWatch) {
    EXPECT_EQ(Control(control::kRun), DriveErrorFromNibble(9));
    ASSERT_EQ(link.WriteRegister(reg::kWorkMode, PackWorkMode(link.Payload(), 1)), kSuccess);
    ASSERT_EQ(Control(control::kEnable), kSuccess);
    ASSERT_TRUE(WaitForStatus(reg::kMatchingGroup, 1));  // initialised
    ASSERT_EQ(link.WriteRegister(reg::kSpeedSetpoint, PackSpeedSetpoint(link.Payload(), 800, 0)),
              kSuccess);
    ASSERT_EQ(Control(control::kRun), kSuccess);
    std::this_thread::sleep_for(Period(2000));
    state.AutoUpdate = 1;
    ASSERT_EQ(link.ReadRegister(reg::kLiveStatus, 26), kSuccess);
    EXPECT_EQ(state.MotorState, 2);
    EXPECT_GT(state.LiveSpeed, 700);
    EXPECT_GT(state.LivePosition, 0);
    EXPECT_GT(state.PhaseCurrent, 0.2f);
    EXPECT_NEAR(state.BusVoltage, 48.0f, 0.5f);
}

TEST_F(DriveLinkSimTest, ASpeedLoopTestEndToEnd) {
    ASSERT_EQ(Control(control::kEnable), kSuccess);
    ASSERT_TRUE(WaitForStatus(reg::kMatchingGroup, 1));
    ASSERT_EQ(
        link.WriteRegister(reg::kSpeedLoopGains, PackLoopGains(link.Payload(), 2.5f, 0.4f, 0.0f)),
        kSuccess);
    ASSERT_EQ(link.WriteRegister(reg::kSpeedTestParams, PackSpeedTest(link.Payload(), 1000)),
              kSuccess);
    ASSERT_EQ(Control(control::kStartSpeedTest), kSuccess);
    ASSERT_TRUE(WaitForStatus(reg::kSpeedTestStatus, 3));
    ASSERT_EQ(link.ReadBackCapture(reg::kSpeedTestLength), kSuccess);
    EXPECT_EQ(state.SpeedTestLength, 8192);

    DriveParameters params = FactoryParameters();
    params.Loop.SpeedLoopP = 2.5f;
    params.Loop.SpeedLoopI = 0.4f;
    params.Loop.SpeedLoopD = 0.0f;
    TestParameters test;
    test.SpeedSetSpeed = 1000;
    // The drive's records, noise and all, as its plant gave them.
    std::vector<uint8_t> expected(kCaptureBytes);
    drive->WithBehaviour([&](DriveBehaviour& b) {
        return RunSpeedStepTest(b.Plant(), params, test, b.TestNoise(1), expected.data());
    });
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), state.CaptureBuffer.begin()));
    EXPECT_EQ(GetU32(&state.CaptureBuffer[16 * 511 + 8]), 8u * 511u);  // period index
}

TEST_F(DriveLinkSimTest, MisbehaviourAsTheToolSeesIt) {
    const struct {
        const char* what;
        Misbehaviour rule;
        DriveError expected;
    } cases[] = {
        {"silent", {.Count = 1, .Silent = true}, kDeviceNoResponse},
        {"result nibble", {.Count = 1, .ResultNibble = 6}, DriveErrorFromNibble(6)},
        {"bit 3 set", {.Count = 1, .SetBit3 = true}, kDeviceNoResponse},
        {"noise before", {.Count = 1, .Noise = {0x5A, 0x00, 0xA5, 0x5A}}, kSuccess},
        {"oversized length before", {.Count = 1, .OversizedLength = 0xFF}, kSuccess},
        {"split", {.Count = 1, .PieceSize = 3, .PiecePause = 5ms}, kSuccess},
    };
    for (const auto& c : cases) {
        drive->AddMisbehaviour(c.rule);
        state.Params.Matching = {};
        EXPECT_EQ(link.ReadRegister(reg::kMatchingGroup, 7), c.expected) << c.what;
        if (c.expected == kSuccess) {
            EXPECT_EQ(state.Params.Matching.MatchMarks, 1) << c.what;
        }
    }
}

TEST_F(DriveLinkSimTest, ALateReplyDoesNotCompleteTheNextRead) {
    drive->AnswerLate(std::chrono::duration_cast<std::chrono::microseconds>(Period(6000)), 1);
    EXPECT_EQ(link.ReadRegister(reg::kCanSettings, 2), kDeviceNoResponse);
    ASSERT_EQ(link.ReadRegister(reg::kMatchingGroup, 7), kSuccess);
    EXPECT_EQ(state.Params.Matching.MatchMarks, 1);
    EXPECT_EQ(state.Params.Matching.InitialElectricalAngle, 90);
}

TEST_F(DriveLinkSimTest, ACaptureCountAboveTheBufferIsReadAsTheBuffer) {
    drive->ReportCaptureLength(9000);
    ASSERT_EQ(link.ReadBackCapture(reg::kCurrentTestLength), kSuccess);
    EXPECT_EQ(link.Capture.CaptureOffset, 8192);
    EXPECT_EQ(drive->RequestCount(), 1u + 64u);
}

TEST_F(DriveLinkSimTest, HangingUpEndsTheWaitAtOnce) {
    std::atomic<bool> lost{false};
    link.SetPortEventHandler([&](PortEvent e) {
        if (e == PortEvent::Lost) lost = true;
    });
    SetTimeScale(100.0);  // a 5000 ms wait would take over eight minutes
    drive->SetSilent(true);
    std::thread unplug([&] {
        drive->WaitForRequests(1);
        drive->HangUp();
    });
    EXPECT_EQ(link.ReadRegister(reg::kCanSettings, 2), kDeviceNoResponse);
    unplug.join();
    EXPECT_TRUE(lost);
    SetTimeScale(0.02);
}

}  // namespace
}  // namespace torvane::sim
