#include "protocol/reply_dispatcher.h"

#include <gtest/gtest.h>

#include "protocol/register_map.h"
#include "support/scripted_peer.h"

namespace torvane {
namespace {

using test::Bytes;
using test::ReplyFrame;

struct Fixture {
    DriveState state;
    MotionFields motion;
    CaptureCursor capture;
    ReplyDispatcher dispatcher{state, motion, capture};
    bool Feed(const Bytes& f, std::optional<RegisterAddress> pending) {
        return dispatcher.Dispatch(f.data(), f.size(), pending);
    }
};

TEST(ReplyDispatcher, WhichFramesAnswerTheWaitingRequest) {
    struct Case {
        const char* name;
        Bytes frame;
        std::optional<RegisterAddress> pending;
        bool answers;
        uint8_t replyStatus;
    };
    Bytes wrongLength = ReplyFrame(0x0300, 1, {4, 1});
    wrongLength[2] = 5;  // cut out with 9 bytes but claims one data byte
    Bytes dropped = ReplyFrame(0x0300, 1 | 0x08, {4, 1});
    const Case cases[] = {
        {"read reply to its request", ReplyFrame(0x0300, 1, {4, 1}), 0x0300, true, 0},
        {"error nibble, any address", ReplyFrame(0x1234, 2, {}, 2), 0x6000, true, 0x20},
        {"reply for another register", ReplyFrame(0x0300, 1, {4, 1}), 0x1000, false, 0xAA},
        {"late reply, nothing waiting", ReplyFrame(0x0300, 1, {4, 1}), std::nullopt, false, 0xAA},
        {"late error reply, nothing waiting", ReplyFrame(0x0300, 1, {}, 3), std::nullopt, false, 0xAA},
        {"bit 3 of the function set", dropped, 0x0300, false, 0xAA},
        {"length byte does not match", wrongLength, 0x0300, false, 0xAA},
        {"unknown register", ReplyFrame(0x4444, 1, {1}), 0x4444, false, 0xAA},
        {"bare acknowledgement 0x5000", ReplyFrame(0x5000, 2, {}), 0x6000, true, 0},
        {"write reply", ReplyFrame(0x6000, 2, {}), 0x6000, true, 0},
    };
    for (const Case& c : cases) {
        Fixture fx;
        fx.state.ReplyStatus = 0xAA;
        fx.state.CanBaudCode = 9;
        EXPECT_EQ(fx.Feed(c.frame, c.pending), c.answers) << c.name;
        EXPECT_EQ(fx.state.ReplyStatus, c.replyStatus) << c.name;
        const bool decoded = c.answers && c.replyStatus == 0 && c.frame[3] == 1;
        EXPECT_EQ(fx.state.CanBaudCode, decoded ? 4 : 9) << c.name;
    }
}

TEST(ReplyDispatcher, WriteRepliesStoreNothing) {
    Fixture fx;
    fx.state.CanBaudCode = 9;
    EXPECT_TRUE(fx.Feed(ReplyFrame(0x0300, 2, {4, 1}), 0x0300));
    EXPECT_EQ(fx.state.CanBaudCode, 9);
}

TEST(ReplyDispatcher, CaptureBlocksAdvanceAndStayInBounds) {
    Fixture fx;
    fx.capture.CaptureRemaining = 300;
    Bytes block(128);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
    EXPECT_TRUE(fx.Feed(ReplyFrame(0x8000, 1, block), 0x8000));
    EXPECT_TRUE(fx.Feed(ReplyFrame(0x8080, 1, block), 0x8080));
    EXPECT_EQ(fx.capture.CaptureOffset, 256);
    EXPECT_EQ(fx.capture.CaptureRemaining, 44);
    // The drive sends more than asked: only the 44 remaining bytes are taken.
    EXPECT_TRUE(fx.Feed(ReplyFrame(0x8100, 1, block), 0x8100));
    EXPECT_EQ(fx.capture.CaptureOffset, 300);
    EXPECT_EQ(fx.capture.CaptureRemaining, 0);
    EXPECT_EQ(fx.state.CaptureBuffer[299], 43);
    EXPECT_EQ(fx.state.CaptureBuffer[300], 0);

    // A short block copies only what it carries; the rest of the block reads 0.
    Fixture shortBlock;
    shortBlock.state.CaptureBuffer.fill(0xEE);
    shortBlock.capture.CaptureRemaining = 128;
    EXPECT_TRUE(shortBlock.Feed(ReplyFrame(0x8000, 1, Bytes(10, 7)), 0x8000));
    EXPECT_EQ(shortBlock.state.CaptureBuffer[9], 7);
    EXPECT_EQ(shortBlock.state.CaptureBuffer[10], 0);
    EXPECT_EQ(shortBlock.state.CaptureBuffer[127], 0);
    EXPECT_EQ(shortBlock.state.CaptureBuffer[128], 0xEE);

    // At the end of the buffer nothing is written past it, whatever the cursor says.
    Fixture end;
    end.capture.CaptureOffset = 8192 - 64;
    end.capture.CaptureRemaining = 128;
    EXPECT_TRUE(end.Feed(ReplyFrame(0x9FC0, 1, block), 0x9FC0));
    EXPECT_EQ(end.state.CaptureBuffer[8191], 63);
}

}  // namespace
}  // namespace torvane
