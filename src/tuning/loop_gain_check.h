// The loop page's gain checks: the P, I and D entries of one loop, read as numbers, kept in
// single precision and compared with inclusive bounds. Their messages are the page's own, shown
// with an OK button and no icon.
//
// The bounds and messages are the gain rows of the parameter field table
// (params/parameter_fields.h) and each entry is checked by its CheckEntry, the one check of a
// gain wherever it is entered: the loop page, its Test buttons, `steptest` and `params set`.
//
// Pure functions; any thread.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "params/parameter_fields.h"
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

// The parameter field of one gain (Current Loop P ... Position Loop D).
FieldId GainField(LoopTest loop, GainTerm term);
// Its row of the field table: Min and Max (inclusive) and the whole Message shown outside them.
const ParameterField& LoopGainBound(LoopTest loop, GainTerm term);

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
