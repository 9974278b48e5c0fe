// libFuzzer target: arbitrary byte streams through the frame cutter and the reply dispatcher, in
// chunks as a serial line delivers them, with a 1024-byte receive buffer handled the way
// SerialPort's RxBuffer is (append behind the count, cut, drop the consumed front).
//
// Input: a 9-byte set-up, then the byte stream.
//   [0]    chunk sizes: bits 0-6 = largest chunk - 1; bit 7 = vary sizes (1 .. largest)
//   [1]    seed of the chunk-size sequence
//   [2]    the outstanding request: 0 none, 1..kKnown a register the dispatcher knows,
//          0xF0..0xF7 a capture block (0x8000 + CaptureOffset), 0xF8..0xFF the address in [3..4]
//   [3..4] that address, big-endian
//   [5..6] CaptureRemaining, [7..8] CaptureOffset (folded into the states ReadBackCapture can
//          produce: remaining <= 8192, offset + remaining <= 8192), unless [2] is 0xF4..0xF7,
//          which keeps them as given, to show a wild cursor still writes nothing out of bounds
// After each taken reply the same kind of request is armed again, as a polling console or a
// capture read-back would do.
//
// Invariants (a breach traps): the cutter consumes no more than it was given and exactly up to
// the end of its last frame; frames come in order, inside the buffer, each 5A A5 + length byte
// <= 250 + length + 5 bytes long. A frame the dispatcher does not take changes nothing; a taken
// success reply carries the outstanding address (or the bare acknowledgement), and every reply
// that answers the outstanding request (an error reply, or the register's own) is taken; a
// capture block writes only its own part of CaptureBuffer and never moves CaptureOffset beyond
// 8192 + 128 (with a sane cursor); a register reply never touches CaptureBuffer; decoded
// identity strings fit their fields.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "protocol/drive_state.h"
#include "protocol/frame.h"
#include "protocol/frame_extractor.h"
#include "protocol/register_map.h"
#include "protocol/reply_dispatcher.h"

namespace {

using namespace torvane;

constexpr size_t kSetup = 9;
constexpr size_t kRxSize = 1024;  // SerialPort's RxBuffer
constexpr size_t kIdField = 16;
constexpr size_t kModelField = size::kIdentification - kIdField;

constexpr RegisterAddress kKnown[] = {
    reg::kCanSettings,        reg::kMotorGroup,
    reg::kApplicationGroup,   reg::kLiveStatus,
    reg::kCurrentLoopGains,   reg::kSpeedLoopGains,
    reg::kPositionLoopGains,  reg::kIdentification,
    reg::kDriveLimits,        reg::kMatchingGroup,
    reg::kWorkMode,           reg::kCurrentSetpoint,
    reg::kSpeedSetpoint,      reg::kPositionSetpoint,
    reg::kCurrentTestStatus,  reg::kCurrentTestLength,
    reg::kSpeedTestStatus,    reg::kSpeedTestLength,
    reg::kPositionTestStatus, reg::kPositionTestLength,
    reg::kCustomGroup,        reg::kClearFaults,
    reg::kEncoderCalibration, reg::kCurrentTestParams,
    reg::kSpeedTestParams,    reg::kPositionTestParams,
    reg::kAcknowledge,        reg::kReset,
    reg::kControlWord,
};
constexpr size_t kKnownCount = sizeof kKnown / sizeof kKnown[0];

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// The object representation of the state, to see exactly which bytes a dispatch changed.
void TakeBytes(const DriveState& s, std::vector<uint8_t>& into) {
    const auto* p = reinterpret_cast<const uint8_t*>(&s);
    into.assign(p, p + sizeof s);
}

struct Fixture {
    DriveState State;
    MotionFields Motion;
    CaptureCursor Capture;
    ReplyDispatcher Dispatcher{State, Motion, Capture};
    uint8_t RxFrame[kRxSize] = {};
    std::vector<uint8_t> BeforeBytes, AfterBytes;  // kept to spare an allocation per frame

    uint8_t PendingKind = 0;
    RegisterAddress FixedAddress = 0;
    std::optional<RegisterAddress> Pending;
    bool SaneCursor = true;

    void Arm() {
        if (PendingKind == 0) {
            Pending.reset();
        } else if (PendingKind <= kKnownCount) {
            Pending = kKnown[PendingKind - 1];
        } else if (PendingKind >= 0xF0 && PendingKind <= 0xF7) {
            Pending = static_cast<RegisterAddress>(reg::kCaptureFirst + Capture.CaptureOffset);
        } else {
            Pending = FixedAddress;
        }
    }

    size_t CaptureAt() const {
        return static_cast<size_t>(reinterpret_cast<const uint8_t*>(State.CaptureBuffer.data()) -
                                   reinterpret_cast<const uint8_t*>(&State));
    }
    size_t ReplyStatusAt() const {
        return static_cast<size_t>(reinterpret_cast<const uint8_t*>(&State.ReplyStatus) -
                                   reinterpret_cast<const uint8_t*>(&State));
    }

    // What DriveLink does with one cut frame: copy, dispatch, clear the copy.
    void OnFrame(const uint8_t* frame, size_t size) {
        Check(size <= kMaxFrameSize && size <= sizeof RxFrame);
        std::memcpy(RxFrame, frame, size);

        TakeBytes(State, BeforeBytes);
        const std::vector<uint8_t>& before = BeforeBytes;
        const std::string idBefore = State.IdString, modelBefore = State.ModelString;
        uint8_t motionBefore[sizeof(MotionFields)];
        std::memcpy(motionBefore, &Motion, sizeof Motion);
        const CaptureCursor cursorBefore = Capture;
        const std::optional<RegisterAddress> pending = Pending;

        const bool taken = Dispatcher.Dispatch(RxFrame, size, pending);
        TakeBytes(State, AfterBytes);
        const std::vector<uint8_t>& after = AfterBytes;
        const uint8_t function = frame[3];
        const RegisterAddress address = static_cast<RegisterAddress>(frame[4] << 8 | frame[5]);

        // Replies that answer the outstanding request must be taken: an error reply whatever its
        // address, a success reply for the outstanding register or capture block.
        if (pending && size >= kFrameOverhead - 2) {
            if ((function & 0xF0) != 0) Check(taken);
            const bool answers = address == *pending || address == reg::kAcknowledge;
            if ((function & 0xF8) == 0 && answers &&
                (IsKnownRegister(address) || IsCaptureBlock(address)))
                Check(taken);
        }
        if (!taken) {
            Check(after == before && State.IdString == idBefore &&
                  State.ModelString == modelBefore);
            Check(std::memcmp(&Motion, motionBefore, sizeof Motion) == 0);
            Check(Capture.CaptureOffset == cursorBefore.CaptureOffset &&
                  Capture.CaptureRemaining == cursorBefore.CaptureRemaining);
        } else {
            Check(pending.has_value());
            Check(State.ReplyStatus == (function & 0xF0));
            const bool error = (function & 0xF0) != 0;
            if (!error) Check(address == *pending || address == reg::kAcknowledge);
            const bool capture = !error && IsCaptureBlock(address) && !IsKnownRegister(address);
            const size_t cap = CaptureAt();
            const size_t status = ReplyStatusAt();
            if (capture) {
                // Only the block's own slice of CaptureBuffer (and the status byte) may change.
                const size_t block =
                    std::min<size_t>(cursorBefore.CaptureRemaining, size::kCaptureBlock);
                const size_t from =
                    cap + std::min<size_t>(cursorBefore.CaptureOffset, kCaptureBufferSize);
                const size_t to = cap + std::min<size_t>(size_t{cursorBefore.CaptureOffset} + block,
                                                         kCaptureBufferSize);
                for (size_t i = 0; i < after.size(); ++i)
                    if (i != status && (i < from || i >= to)) Check(after[i] == before[i]);
                Check(Capture.CaptureOffset == cursorBefore.CaptureOffset + block);
                Check(Capture.CaptureRemaining == cursorBefore.CaptureRemaining - block);
                if (SaneCursor) Check(Capture.CaptureOffset <= kCaptureBufferSize + 128);
                Check(std::memcmp(&Motion, motionBefore, sizeof Motion) == 0);
            } else {
                // A register reply or an error never writes into the capture.
                Check(std::equal(after.begin() + static_cast<long>(cap),
                                 after.begin() + static_cast<long>(cap + kCaptureBufferSize),
                                 before.begin() + static_cast<long>(cap)));
                Check(Capture.CaptureOffset == cursorBefore.CaptureOffset &&
                      Capture.CaptureRemaining == cursorBefore.CaptureRemaining);
                if (error) {
                    for (size_t i = 0; i < after.size(); ++i)
                        if (i != status) Check(after[i] == before[i]);
                }
            }
            Check(State.IdString.size() <= kIdField && State.ModelString.size() <= kModelField);
            Check(State.IdString.find('?') == std::string::npos &&
                  State.ModelString.find('?') == std::string::npos);
            Arm();
        }
        std::memset(RxFrame, 0, size);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kSetup) return 0;
    Fixture fx;
    const size_t largest = size_t{data[0] & 0x7Fu} + 1;
    const bool vary = (data[0] & 0x80) != 0;
    uint32_t rng = 0x9E3779B9u ^ data[1];
    fx.PendingKind = data[2];
    if (fx.PendingKind > kKnownCount && fx.PendingKind < 0xF0) fx.PendingKind = 0;
    fx.FixedAddress = static_cast<RegisterAddress>(data[3] << 8 | data[4]);
    uint16_t remaining = static_cast<uint16_t>(data[5] << 8 | data[6]);
    uint16_t offset = static_cast<uint16_t>(data[7] << 8 | data[8]);
    fx.SaneCursor = !(fx.PendingKind >= 0xF4 && fx.PendingKind <= 0xF7);
    if (fx.SaneCursor) {
        remaining = static_cast<uint16_t>(remaining % (kCaptureBufferSize + 1));
        offset = static_cast<uint16_t>(offset % (kCaptureBufferSize - remaining + 1));
    }
    fx.Capture.CaptureRemaining = remaining;
    fx.Capture.CaptureOffset = offset;
    fx.Arm();

    const uint8_t* stream = data + kSetup;
    const size_t streamSize = size - kSetup;
    uint8_t rx[kRxSize];
    size_t rxCount = 0;
    for (size_t at = 0; at < streamSize;) {
        size_t chunk = largest;
        if (vary) {
            rng ^= rng << 13;
            rng ^= rng >> 17;
            rng ^= rng << 5;
            chunk = rng % largest + 1;
        }
        chunk = std::min(chunk, streamSize - at);
        // The reader stops receiving rather than overflow the buffer.
        if (rxCount + chunk > kRxSize) break;
        std::memcpy(rx + rxCount, stream + at, chunk);
        rxCount += chunk;
        at += chunk;

        size_t lastEnd = 0;
        std::vector<std::pair<size_t, size_t>> frames;  // offset, size
        const size_t consumed = CutFrames(rx, rxCount, [&](const uint8_t* f, size_t n) {
            Check(f >= rx && f + n <= rx + rxCount);
            const size_t off = static_cast<size_t>(f - rx);
            Check(off >= lastEnd);
            Check(f[0] == kHeader1 && f[1] == kHeader2);
            Check(f[2] <= kMaxLengthByte && n == size_t{f[2]} + 5);
            lastEnd = off + n;
            frames.emplace_back(off, n);
        });
        Check(consumed <= rxCount);
        Check(consumed == lastEnd);
        // Dispatch after the cut, as DriveLink does once RxLock is released.
        for (const auto& [off, n] : frames) fx.OnFrame(rx + off, n);
        std::memmove(rx, rx + consumed, rxCount - consumed);
        rxCount -= consumed;
    }
    return 0;
}
