// End to end: DriveLink over the real SerialPort and a pseudo-terminal to a scripted peer.
#include "protocol/drive_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "protocol/register_map.h"
#include "serial/timing.h"
#include "support/scripted_peer.h"

namespace torvane {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Chunk;
using test::ReplyFrame;
using test::ScriptedPeer;

RegisterAddress AddressOf(const Bytes& req) { return static_cast<RegisterAddress>(req[4] << 8 | req[5]); }

class Recorder : public ReplyHandler {
public:
    void OnReadReply(RegisterAddress a) override {
        reads.push_back(a);
        thread = std::this_thread::get_id();
    }
    void OnWriteReply(RegisterAddress a) override {
        writes.push_back(a);
        thread = std::this_thread::get_id();
    }
    std::vector<RegisterAddress> reads, writes;
    std::thread::id thread;
};

class DriveLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTimeScale(0.02);  // 5000 ms waits take 100 ms
        std::string reason;
        ASSERT_TRUE(port.Open(peer.SlavePath(), &reason)) << reason;
        link.SetReplyHandler(&handler);
        link.StartExtractor();
    }
    void TearDown() override {
        port.ClearPortOpen();
        EXPECT_TRUE(link.StopExtractor());
        EXPECT_TRUE(port.Close());
        SetTimeScale(1.0);
    }
    ScriptedPeer peer;
    SerialPort port;
    DriveState state;
    MotionFields motion;
    DriveLink link{port, state, motion};
    Recorder handler;
};

TEST_F(DriveLinkTest, ReadSendsTheExactFrameAndDecodesTheReply) {
    peer.SetResponder([](const Bytes&) -> std::vector<Chunk> {
        return {{{}, {0x5A, 0xA5, 0x0B, 0x01, 0x22, 0x00, 0x07, 0x01, 0x01, 0x00, 0x01, 0x00,
                      0x00, 0x5A, 0xED, 0x48}}};
    });
    EXPECT_EQ(link.ReadRegister(reg::kMatchingGroup, 7), kSuccess);
    ASSERT_EQ(peer.Requests().size(), 1u);
    const Bytes req = peer.Requests()[0];
    EXPECT_EQ(HexBytes(req.data(), req.size()), "5A A5 04 01 22 00 07 E8 04");
    EXPECT_EQ(state.Params.Matching.InitialElectricalAngle, 0x005A);
    EXPECT_EQ(state.Params.Matching.HallDirection, 1);
    EXPECT_EQ(handler.reads, std::vector<RegisterAddress>{reg::kMatchingGroup});
    EXPECT_EQ(handler.thread, std::this_thread::get_id());  // display work on the caller's thread
}

TEST_F(DriveLinkTest, WriteCarriesThePayload) {
    EXPECT_EQ(link.WriteRegister(reg::kControlWord, PackControlWord(link.Payload(), control::kEnable)),
              kSuccess);
    const Bytes req = peer.Requests().at(0);
    EXPECT_EQ(HexBytes(req.data(), 9), "5A A5 06 02 60 00 02 02 01");
    EXPECT_EQ(req.size(), 11u);
    EXPECT_EQ(handler.writes, std::vector<RegisterAddress>{reg::kControlWord});
}

TEST_F(DriveLinkTest, TheWayTheReplyArrivesDoesNotMatter) {
    // A 250 ms wait: the late reply at 40 ms stays well inside it on a loaded machine too.
    SetTimeScale(0.05);
    const Bytes reply = ReplyFrame(reg::kCanSettings, 1, {5, 12});
    const Bytes noise = {0x00, 0x5A, 0xFF, 0xA5, 0x5A, 0xA5, 0xFE};  // includes an oversized header
    struct Case {
        const char* name;
        std::vector<Chunk> chunks;
    };
    const Case cases[] = {
        {"whole", {{{}, reply}}},
        {"split in three with pauses",
         {{{}, Bytes(reply.begin(), reply.begin() + 2)},
          {5ms, Bytes(reply.begin() + 2, reply.begin() + 8)},
          {5ms, Bytes(reply.begin() + 8, reply.end())}}},
        {"noise first", {{{}, noise}, {1ms, reply}}},
        {"late, but within the wait", {{40ms, reply}}},
    };
    for (const Case& c : cases) {
        state.CanAddressCode = 0;
        peer.SetResponder([chunks = c.chunks](const Bytes&) { return chunks; });
        EXPECT_EQ(link.ReadRegister(reg::kCanSettings, 2), kSuccess) << c.name;
        EXPECT_EQ(state.CanAddressCode, 12) << c.name;
    }
}

// More noise than the 1024-byte receive buffer holds, then the reply: the port keeps
// listening, the transaction succeeds and "Serial data overflow" is raised once.
TEST_F(DriveLinkTest, AfterAnOverflowTheLinkStillHears) {
    std::atomic<int> overflows{0};
    link.SetPortEventHandler([&](PortEvent e) {
        if (e == PortEvent::Overflow) ++overflows;
    });
    const auto noise = [](size_t n) {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 37 + 11);
        for (uint8_t& x : b)
            if (x == 0x5A) x = 0x5B;            // no header in it...
        b.insert(b.end(), {0x5A, 0xA5, 0xF0});  // ...but a stray one that can never complete
        return b;
    };
    const Bytes reply = ReplyFrame(reg::kCanSettings, 1, {5, 12});
    struct Case {
        const char* name;
        std::vector<Chunk> chunks;
    };
    const Case cases[] = {
        {"noise, then the reply", {{{}, noise(1500)}, {20ms, reply}}},
        {"noise up to the top, then a reply split across the overflow",
         {{{}, noise(1015)},
          {20ms, Bytes(reply.begin(), reply.begin() + 5)},
          {20ms, Bytes(reply.begin() + 5, reply.end())}}},
        {"a long stream of noise",
         {{{}, noise(1500)}, {5ms, noise(900)}, {5ms, noise(900)}, {20ms, reply}}},
    };
    SetTimeScale(0.1);  // 500 ms: room for the noise at any load
    for (const Case& c : cases) {
        overflows = 0;
        state.CanAddressCode = 0;
        peer.SetResponder([chunks = c.chunks](const Bytes&) { return chunks; });
        EXPECT_EQ(link.ReadRegister(reg::kCanSettings, 2), kSuccess) << c.name;
        EXPECT_EQ(state.CanAddressCode, 12) << c.name;
        EXPECT_EQ(overflows, 1) << c.name;
        EXPECT_EQ(port.RxCountNow(), 0) << c.name;
    }
}

TEST_F(DriveLinkTest, FailuresAndTheirCodes) {
    struct Case {
        const char* name;
        std::function<std::vector<Chunk>(const Bytes&)> respond;
        DriveError expected;
    };
    const Case cases[] = {
        {"silent", [](const Bytes&) { return std::vector<Chunk>{}; }, kDeviceNoResponse},
        {"error nibble 2 on a write",
         [](const Bytes& r) { return std::vector<Chunk>{{{}, ReplyFrame(AddressOf(r), 2, {}, 2)}}; },
         0xF2},
        {"error nibble 9",
         [](const Bytes& r) { return std::vector<Chunk>{{{}, ReplyFrame(AddressOf(r), 2, {}, 9)}}; },
         0xF9},
        {"reply for an unknown register",
         [](const Bytes&) { return std::vector<Chunk>{{{}, ReplyFrame(0x4321, 2, {})}}; },
         kDeviceNoResponse},
        {"bit 3 set", [](const Bytes& r) { return std::vector<Chunk>{{{}, ReplyFrame(AddressOf(r), 0x0A, {})}}; },
         kDeviceNoResponse},
    };
    for (const Case& c : cases) {
        handler.writes.clear();
        peer.SetResponder(c.respond);
        EXPECT_EQ(link.WriteRegister(reg::kControlWord, PackControlWord(link.Payload(), control::kRun)),
                  c.expected)
            << c.name;
        EXPECT_TRUE(handler.writes.empty()) << c.name;  // no display work after a failure
    }
    EXPECT_STREQ(DriveErrorText(0xF2), "Error Function code ");
}

TEST_F(DriveLinkTest, ALateReplyNeverCompletesTheNextTransaction) {
    // The first read is answered after its wait has run out; the second is not answered.
    // Owned by the responder: the peer's thread may still hold it when the test body ends.
    auto n = std::make_shared<std::atomic<int>>(0);
    peer.SetResponder([n](const Bytes& r) -> std::vector<Chunk> {
        if ((*n)++ == 0) return {{150ms, ReplyFrame(AddressOf(r), 1, {4, 77})}};
        return {};
    });
    EXPECT_EQ(link.ReadRegister(reg::kCanSettings, 2), kDeviceNoResponse);
    std::this_thread::sleep_for(100ms);  // the late reply arrives while nothing waits
    EXPECT_EQ(link.ReadRegister(reg::kCanSettings, 2), kDeviceNoResponse);
    EXPECT_EQ(state.CanAddressCode, 0);  // the stale reply stored nothing
    EXPECT_TRUE(handler.reads.empty());
}

TEST_F(DriveLinkTest, AReplyForAnotherRegisterIsNotTaken) {
    peer.SetResponder([](const Bytes&) {
        return std::vector<Chunk>{{{}, ReplyFrame(reg::kMotorGroup, 1, Bytes(17, 1))}};
    });
    EXPECT_EQ(link.ReadRegister(reg::kCanSettings, 2), kDeviceNoResponse);
    EXPECT_EQ(state.Params.Motor.PolePairs, 0);
}

TEST_F(DriveLinkTest, QuickWriteIgnoresTheResultButNotSilence) {
    std::array<uint8_t, kTxFrameSize> frame{};
    const uint8_t n = PackControlWord(frame.data() + kDataOffset, control::kStoreParameters);
    peer.SetResponder([](const Bytes& r) {
        return std::vector<Chunk>{{{}, ReplyFrame(AddressOf(r), 2, {}, 8)}};
    });
    // The full 1000 ms for the reply that comes: a loaded machine may take longer than the
    // scaled 20 ms to deliver it.
    SetTimeScale(1.0);
    EXPECT_EQ(link.WriteRegisterQuick(reg::kControlWord, n, frame), 0);
    EXPECT_TRUE(handler.writes.empty());
    SetTimeScale(0.02);
    peer.SetResponder([](const Bytes&) { return std::vector<Chunk>{}; });
    EXPECT_EQ(link.WriteRegisterQuick(reg::kControlWord, n, frame), 1);
}

Bytes CaptureData(RegisterAddress a, uint8_t count) {
    Bytes d(count);
    for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>((a - 0x8000 + i) * 7);
    return d;
}

TEST_F(DriveLinkTest, CaptureReadsBlocksOf128) {
    struct Case {
        uint16_t reported;
        std::vector<std::string> blocks;  // address and count of each block read
        uint16_t offset;
    };
    const Case cases[] = {
        {300, {"80 00 80", "80 80 80", "81 00 2C"}, 300},
        {0, {}, 0},
        {60000, {}, 8192},  // more than the buffer can hold: read as 8192
    };
    for (const Case& c : cases) {
        const size_t before = peer.Requests().size();
        peer.AnswerReads([reported = c.reported](RegisterAddress a, uint8_t count) {
            if (a == reg::kSpeedTestLength)
                return Bytes{static_cast<uint8_t>(reported >> 8), static_cast<uint8_t>(reported)};
            return CaptureData(a, count);
        });
        ASSERT_EQ(link.ReadBackCapture(reg::kSpeedTestLength), kSuccess);
        EXPECT_EQ(link.Capture.CaptureOffset, c.offset);
        const auto reqs = peer.Requests();
        if (!c.blocks.empty()) {
            ASSERT_EQ(reqs.size() - before, c.blocks.size() + 1);
            for (size_t i = 0; i < c.blocks.size(); ++i)
                EXPECT_EQ(HexBytes(reqs[before + 1 + i].data() + 4, 3), c.blocks[i]);
        }
        if (c.offset == 8192) {
            EXPECT_EQ(reqs.size() - before, 1u + 64u);
            EXPECT_EQ(state.CaptureBuffer[8191], static_cast<uint8_t>(8191 * 7));
        }
    }
}

TEST_F(DriveLinkTest, ALostPortEndsTheWaitAtOnce) {
    std::atomic<bool> lost{false};
    link.SetPortEventHandler([&](PortEvent e) {
        if (e == PortEvent::Lost) lost = true;
    });
    SetTimeScale(100.0);  // a 5000 ms wait would now take over eight minutes
    peer.SetResponder([](const Bytes&) { return std::vector<Chunk>{}; });
    std::thread unplug([&] {
        peer.WaitRequests(1);  // unplugged while the request waits for its reply
        peer.HangUp();
    });
    EXPECT_EQ(link.ReadRegister(reg::kCanSettings, 2), kDeviceNoResponse);
    unplug.join();
    EXPECT_TRUE(lost);
    EXPECT_EQ(link.ReadRegister(reg::kCanSettings, 2), kDeviceNoResponse);  // still at once
    SetTimeScale(0.02);
}

TEST(DriveLinkClosed, TransactionsOnAClosedPortFailAtOnce) {
    SerialPort port;
    DriveState state;
    MotionFields motion;
    DriveLink link(port, state, motion);
    SetTimeScale(100.0);
    EXPECT_EQ(link.ReadRegister(reg::kCanSettings, 2), kDeviceNoResponse);
    SetTimeScale(1.0);
}

}  // namespace
}  // namespace torvane
