#include "protocol/frame_extractor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/frame.h"
#include "support/scripted_peer.h"

namespace torvane {
namespace {

using test::Bytes;
using test::ReplyFrame;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Cut {
    std::vector<std::string> frames;
    size_t consumed;
};

Cut CutAll(const Bytes& stream) {
    Cut c;
    c.consumed = CutFrames(stream.data(), stream.size(), [&](const uint8_t* f, size_t n) {
        c.frames.push_back(HexBytes(f, n));
    });
    return c;
}

TEST(CutFrames, FindsCompleteFramesAndKeepsTheRest) {
    const Bytes matching = {0x5A, 0xA5, 0x0B, 0x01, 0x22, 0x00, 0x07, 0x01, 0x01,
                            0x00, 0x01, 0x00, 0x00, 0x5A, 0xED, 0x48};
    const Bytes a = ReplyFrame(0x6000, 2, {});
    const Bytes b = ReplyFrame(0x0300, 1, {0x04, 0x10});
    const Bytes noise = {0x00, 0x5A, 0x13, 0xA5, 0xFF};
    struct Case {
        const char* name;
        Bytes stream;
        std::vector<Bytes> frames;
        size_t consumed;
    };
    const Case cases[] = {
        {"a 0x5A inside the data does not cut the frame", matching, {matching}, 16},
        {"noise then a reply go together", Cat({noise, a}), {a}, noise.size() + a.size()},
        {"two replies in one read", Cat({a, b}), {a, b}, a.size() + b.size()},
        {"an incomplete reply stays", Bytes(a.begin(), a.end() - 1), {}, 0},
        {"a complete reply before an incomplete one", Cat({a, Bytes(b.begin(), b.begin() + 5)}), {a},
         a.size()},
        {"a header cut after its first byte", {0x5A}, {}, 0},
        {"a header without its length byte", {0x5A, 0xA5}, {}, 0},
        // An oversized length byte (above 250) is noise: the reply behind it is still found.
        {"oversized length byte resynchronises", Cat({{0x5A, 0xA5, 0xFB, 0x01}, a}), {a}, 4 + a.size()},
        // A bogus but plausible length waits; a real frame inside it is still found, and
        // everything before that frame goes with it.
        {"a frame inside a header that is still waiting", Cat({{0x5A, 0xA5, 0xC8}, a}), {a}, 3 + a.size()},
        {"nothing but noise", noise, {}, 0},
    };
    for (const Case& c : cases) {
        const Cut cut = CutAll(c.stream);
        std::vector<std::string> want;
        for (const Bytes& f : c.frames) want.push_back(HexBytes(f.data(), f.size()));
        EXPECT_EQ(cut.frames, want) << c.name;
        EXPECT_EQ(cut.consumed, c.consumed) << c.name;
    }
}

TEST(CutFrames, LargestFrameIs255Bytes) {
    Bytes big = ReplyFrame(0x8000, 1, Bytes(246, 0x11));
    ASSERT_EQ(big.size(), 255u);
    EXPECT_EQ(CutAll(big).frames.size(), 1u);
    big[2] = 251;  // one more would not fit in 255 bytes
    big.resize(256);
    EXPECT_TRUE(CutAll(big).frames.empty());
}

}  // namespace
}  // namespace torvane
