// The loop page's gain checks: the P, I and D entries of one loop, read as numbers, kept in
// single precision and compared with inclusive bounds. Their messages are the page's own, shown
// with an OK button and no icon.
//
// This table is the rule for the loop gains wherever they are entered (the loop page, its Test
// buttons, the command-line tool).
//
// Pure functions; any thread.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "protocol/drive_state.h"
#include "session/notice_sink.h"
#include "tuning/loop_test_kind.h"

namespace torvane {

// What a check refuses with: the text and icon of one notice.
struct Refusal {
    std::string Text;
    NoticeIcon Icon = NoticeIcon::None;
    bool operator==(const Refusal&) const = default;
};

// The three entries of one loop as typed.
struct GainTexts {
    std::string P, I, D;
    bool operator==(const GainTexts&) const = default;
};

struct LoopGains {
    float P = 0, I = 0, D = 0;
    bool operator==(const LoopGains&) const = default;
};

enum class GainTerm : uint8_t { P = 0, I = 1, D = 2 };

struct GainBound {
    double Min;
    double Max;
    const char* Message;  // the whole text shown when the value is outside [Min, Max]
};

// Bounds and message of one gain.
const GainBound& LoopGainBound(LoopTest loop, GainTerm term);

struct GainCheck {
    std::optional<Refusal> Refused;  // the first gain out of range, in the order P, I, D
    LoopGains Gains;                 // the three values read (meaningful when not refused)
    bool Passed() const { return !Refused; }
};

// Reads each text's leading number (none gives 0), narrows it to float and checks it.
GainCheck CheckLoopGains(LoopTest loop, const GainTexts& texts);

LoopGains LoopGainsOf(const LoopGroup& group, LoopTest loop);
// The page's initial texts for gains: each value with "%g" (C conventions, whatever the locale).
GainTexts GainTextsOf(const LoopGains& gains);
void StoreLoopGains(LoopGroup& group, LoopTest loop, const LoopGains& gains);

// Next / Save: the current, speed and position checks in this order. Each loop whose check
// passes is stored in `group` at once; the first failure ends it and is returned (the loops
// after it are neither checked nor stored). nullopt: all three passed and are stored.
std::optional<Refusal> CheckAndStoreAllLoopGains(const std::array<GainTexts, 3>& texts,
                                                 LoopGroup& group);

}  // namespace torvane
