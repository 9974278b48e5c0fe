// The simulated drive over its pseudo-terminal, spoken to with raw frames: replies, result
// nibbles, robustness against garbage, pacing, the request log and every misbehaviour switch.
#include "sim/simulated_drive.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <thread>

#include "protocol/register_map.h"
#include "serial/timing.h"
#include "sim/sim_line.h"

namespace torvane::sim {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Control;
using test::Data;
using test::Nibble;
using test::RawLine;
using test::ReadRequest;
using test::WriteRequest;

bool CrcOk(const Bytes& frame) {
    if (frame.size() < kFrameOverhead) return false;
    const uint16_t crc = Crc16(frame.data(), frame.size() - 2);
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

class SimulatedDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTimeScale(0.01);
        SimOptions options;
        options.Pacing = false;
        drive = std::make_unique<SimulatedDrive>(options);
        std::string error;
        ASSERT_TRUE(drive->Start(&error)) << error;
        line = std::make_unique<RawLine>(drive->SlavePath());
        ASSERT_TRUE(line->IsOpen());
    }
    void TearDown() override {
        line.reset();
        drive.reset();
        SetTimeScale(1.0);
    }
    std::unique_ptr<SimulatedDrive> drive;
    std::unique_ptr<RawLine> line;
};

TEST_F(SimulatedDriveTest, AnswersAReadWithTheBlockInItsLayout) {
    const Bytes reply = line->Transact(ReadRequest(reg::kIdentification, 34));
    ASSERT_EQ(reply.size(), 34u + 9u);
    EXPECT_EQ(HexBytes(reply.data(), 7), "5A A5 26 01 21 00 22");
    EXPECT_TRUE(CrcOk(reply));
    const Bytes data = Data(reply);
    EXPECT_EQ(std::string(data.begin() + 16, data.begin() + 23), "KVD417?");

    const Bytes ack = line->Transact(WriteRequest(reg::kCanSettings, {5, 7}));
    EXPECT_EQ(HexBytes(ack.data(), 7), "5A A5 04 02 03 00 02");
    EXPECT_TRUE(CrcOk(ack));
    EXPECT_EQ(HexBytes(Data(line->Transact(ReadRequest(reg::kCanSettings, 2))).data(), 2), "05 07");
}

TEST_F(SimulatedDriveTest, ResultNibblesOnTheWire) {
    Bytes badCrc = ReadRequest(reg::kLiveStatus, 6);
    badCrc.back() ^= 0x55;
    const struct {
        const char* what;
        Bytes request;
        uint8_t function;  // of the reply
    } cases[] = {
        {"bad CRC", badCrc, 0x11},
        {"unknown function", test::Frame(5, reg::kLiveStatus, 6, {}), 0x25},
        {"unknown address", ReadRequest(0x7777, 2), 0x31},
        {"write to a read-only block", WriteRequest(reg::kLiveStatus, {0, 0}), 0x82},
        {"run while disabled", Control(control::kRun), 0x92},
        {"count that is not the data", test::Frame(2, reg::kCanSettings, 3, {1, 2}), 0x52},
    };
    for (const auto& c : cases) {
        const Bytes reply = line->Transact(c.request);
        ASSERT_EQ(reply.size(), 9u) << c.what;
        EXPECT_EQ(reply[3], c.function) << c.what;
        EXPECT_EQ(reply[4], c.request[4]) << c.what;  // the address is echoed
        EXPECT_EQ(reply[5], c.request[5]) << c.what;
        EXPECT_TRUE(CrcOk(reply)) << c.what;
    }
}

TEST_F(SimulatedDriveTest, GarbageOnTheLineDoesNotConfuseIt) {
    // Noise, a header with an impossible length and back-to-back frames in one write.
    Bytes burst = {0x00, 0xFF, 0x5A, 0x13, 0x5A, 0xA5, 0xFC, 0x5A};
    const Bytes a = ReadRequest(reg::kCanSettings, 2);
    const Bytes b = ReadRequest(reg::kMatchingGroup, 7);
    burst.insert(burst.end(), a.begin(), a.end());
    burst.insert(burst.end(), b.begin(), b.end());
    line->Send(burst);
    EXPECT_EQ(line->ReadFrame()[5], 0x00);  // 0x0300
    EXPECT_EQ(line->ReadFrame()[4], 0x22);  // 0x2200

    // A request cut short: after the line has been quiet for the gap, its header is noise and
    // the next request is answered.
    line->Send({0x5A, 0xA5, 0x04, 0x01, 0x12});
    std::this_thread::sleep_for(SimulatedDrive::kFrameGap * 3);
    const Bytes reply = line->Transact(ReadRequest(reg::kCanSettings, 2));
    ASSERT_EQ(reply.size(), 11u);
    EXPECT_EQ(Nibble(reply), 0);
    // A request split over several writes is one request.
    const Bytes whole = ReadRequest(reg::kCanSettings, 2);
    line->Send(Bytes(whole.begin(), whole.begin() + 4));
    line->Send(Bytes(whole.begin() + 4, whole.end()));
    EXPECT_EQ(line->ReadFrame().size(), 11u);
    EXPECT_EQ(drive->RequestCount(), 4u);
}

TEST_F(SimulatedDriveTest, EveryRequestIsRecorded) {
    Bytes bad = ReadRequest(reg::kLiveStatus, 6);
    bad[7] ^= 1;
    const std::vector<Bytes> sent = {ReadRequest(reg::kIdentification, 34),
                                     WriteRequest(reg::kCanSettings, {4, 2}), bad,
                                     Control(control::kEnable)};
    for (const Bytes& f : sent) line->Transact(f);
    ASSERT_TRUE(drive->WaitForRequests(sent.size()));
    const auto log = drive->Requests();
    ASSERT_EQ(log.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(log[i].Bytes, sent[i]);
        EXPECT_EQ(log[i].Function, sent[i][3]);
        EXPECT_EQ(log[i].Address, sent[i][4] << 8 | sent[i][5]);
        EXPECT_EQ(log[i].Count, sent[i][6]);
        EXPECT_EQ(log[i].CrcOk, i != 2);
        EXPECT_TRUE(log[i].Answered);
    }
    drive->ClearRequests();
    EXPECT_EQ(drive->RequestCount(), 0u);
    EXPECT_FALSE(drive->WaitForRequests(1, 10ms));
}

TEST_F(SimulatedDriveTest, SilenceSwitches) {
    const Bytes status = ReadRequest(reg::kLiveStatus, 6);
    const Bytes can = ReadRequest(reg::kCanSettings, 2);

    drive->SetSilent(true);
    line->Send(status);
    ASSERT_TRUE(drive->WaitForRequests(1));
    EXPECT_TRUE(line->Quiet(100ms));
    EXPECT_FALSE(drive->Requests().back().Answered);
    drive->SetSilent(false);
    EXPECT_FALSE(line->Transact(status).empty());

    drive->SilenceNext(2);
    for (int i = 0; i < 2; ++i) {
        line->Send(status);
        ASSERT_TRUE(drive->WaitForRequests(3 + static_cast<size_t>(i)));
    }
    EXPECT_TRUE(line->Quiet(100ms));
    EXPECT_FALSE(line->Transact(status).empty());  // the third is answered

    drive->SilenceAddress(reg::kLiveStatus);
    line->Send(status);
    ASSERT_TRUE(drive->WaitForRequests(6));
    EXPECT_TRUE(line->Quiet(100ms));
    EXPECT_EQ(line->Transact(can).size(), 11u);  // other addresses are answered
    drive->ClearMisbehaviour();
    EXPECT_FALSE(line->Transact(status).empty());
}

TEST_F(SimulatedDriveTest, AForcedResultIsNotExecuted) {
    drive->AnswerWithResult(6, reg::kControlWord, 1);
    EXPECT_EQ(line->Transact(Control(control::kEnable))[3], 0x62);
    EXPECT_FALSE(drive->WithBehaviour([](DriveBehaviour& d) { return d.Enabled(); }));
    EXPECT_EQ(line->Transact(Control(control::kEnable))[3], 0x02);  // once only
    EXPECT_TRUE(drive->WithBehaviour([](DriveBehaviour& d) { return d.Enabled(); }));
}

TEST_F(SimulatedDriveTest, MangledReplies) {
    const Bytes request = ReadRequest(reg::kCanSettings, 2);
    const Bytes normal = line->Transact(request);
    ASSERT_EQ(normal.size(), 11u);

    Misbehaviour rule;
    rule.Count = 1;
    rule.Noise = {0x00, 0x5A, 0x33};
    rule.OversizedLength = 0xFB;
    rule.SetBit3 = true;
    drive->AddMisbehaviour(rule);
    line->Send(request);
    const Bytes got = line->ReadBytes(3 + 3 + normal.size());
    ASSERT_EQ(got.size(), 3 + 3 + normal.size());
    EXPECT_EQ(HexBytes(got.data(), 6), "00 5A 33 5A A5 FB");
    const Bytes reply(got.begin() + 6, got.end());
    EXPECT_EQ(reply[3], 0x09);  // read reply with bit 3
    EXPECT_TRUE(std::equal(reply.begin() + 4, reply.end() - 2, normal.begin() + 4));
    EXPECT_TRUE(CrcOk(reply));

    Misbehaviour split;
    split.Count = 1;
    split.PieceSize = 4;
    split.PiecePause = 200ms;
    drive->AddMisbehaviour(split);
    line->Send(request);
    const Bytes first = line->ReadSome(2s);
    EXPECT_EQ(first.size(), 4u);  // the rest comes after the pause
    Bytes all = first;
    const Bytes rest = line->ReadBytes(normal.size() - first.size());
    all.insert(all.end(), rest.begin(), rest.end());
    EXPECT_EQ(all, normal);
}

TEST_F(SimulatedDriveTest, LateRepliesKeepTheirOrder) {
    drive->AnswerLate(300ms, 1);
    line->Send(ReadRequest(reg::kCanSettings, 2));
    line->Send(ReadRequest(reg::kMatchingGroup, 7));
    EXPECT_TRUE(line->Quiet(100ms));
    const Bytes first = line->ReadFrame();
    const Bytes second = line->ReadFrame();
    EXPECT_EQ(first[4], 0x03);
    EXPECT_EQ(second[4], 0x22);
}

TEST_F(SimulatedDriveTest, ACaptureCountAboveTheBuffer) {
    drive->ReportCaptureLength(9000);
    const Bytes reply = line->Transact(ReadRequest(reg::kSpeedTestLength, 2));
    EXPECT_EQ(HexBytes(Data(reply).data(), 2), "23 28");
    drive->ReportCaptureLength(0);
    EXPECT_EQ(HexBytes(Data(line->Transact(ReadRequest(reg::kSpeedTestLength, 2))).data(), 2),
              "00 00");
}

TEST_F(SimulatedDriveTest, RestartingIsSilentForAMoment) {
    SetTimeScale(1.0);  // the 0.3 s restart at full length
    EXPECT_EQ(line->Transact(WriteRequest(reg::kReset, {})).size(), 9u);
    line->Send(ReadRequest(reg::kCanSettings, 2));
    ASSERT_TRUE(drive->WaitForRequests(2));
    EXPECT_FALSE(drive->Requests().back().Answered);
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(line->Transact(ReadRequest(reg::kCanSettings, 2)).size(), 11u);
}

TEST_F(SimulatedDriveTest, HangingUpLooksLikeAnUnpluggedAdapter) {
    EXPECT_EQ(line->Transact(WriteRequest(reg::kCanSettings, {5, 3})).size(), 9u);
    const std::string before = drive->SlavePath();
    drive->HangUp();
    EXPECT_FALSE(drive->Running());
    bool hungUp = false;
    line->ReadSome(2s, &hungUp);
    EXPECT_TRUE(hungUp);

    // Plugged in again: a new terminal, the same drive.
    ASSERT_TRUE(drive->Start());
    RawLine again(drive->SlavePath());
    ASSERT_TRUE(again.IsOpen());
    EXPECT_EQ(HexBytes(Data(again.Transact(ReadRequest(reg::kCanSettings, 2))).data(), 2), "05 03");
}

TEST_F(SimulatedDriveTest, TheToolsExclusiveLockEndsWithItsClose) {
    const std::string path = drive->SlavePath();
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ioctl(fd, TIOCEXCL), 0);
    close(fd);
    // Without the drive's help the lock would outlive the close, and only root could open the
    // port again (root passes the lock, so ask the terminal whether it is still set).
    bool cleared = false;
    for (int i = 0; i < 400 && !cleared; ++i) {
        const int again = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        int exclusive = 1;
        if (again >= 0) {
            ioctl(again, TIOCGEXCL, &exclusive);
            close(again);
        }
        cleared = again >= 0 && exclusive == 0;
        if (!cleared) std::this_thread::sleep_for(5ms);
    }
    EXPECT_TRUE(cleared);
}

TEST(SimulatedDrivePacing, RepliesTakeTheirTimeOnTheWire) {
    SimOptions options;
    options.BaudRate = 9600;
    SimulatedDrive drive(options);
    ASSERT_TRUE(drive.Start());
    RawLine line(drive.SlavePath());
    const auto start = std::chrono::steady_clock::now();
    const Bytes reply = line.Transact(ReadRequest(0x8000, 128));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(reply.size(), 137u);
    // (9 + 137) bytes of 10 bits at 9600 baud: at least 152 ms, never sooner.
    EXPECT_GE(elapsed, 150ms);
}

TEST(SimulatedDriveStart, StartIsIdempotentAndStopEnds) {
    SimulatedDrive drive;
    EXPECT_EQ(drive.SlavePath(), "");
    ASSERT_TRUE(drive.Start());
    const std::string path = drive.SlavePath();
    EXPECT_TRUE(drive.Start());
    EXPECT_EQ(drive.SlavePath(), path);
    drive.Stop();
    EXPECT_FALSE(drive.Running());
    drive.Stop();
}

}  // namespace
}  // namespace torvane::sim
