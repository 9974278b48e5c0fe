#include "tuning/loop_gain_check.h"

#include "params/entry_text.h"
#include "protocol/number_text.h"

namespace torvane {

FieldId GainField(LoopTest loop, GainTerm term) {
    // The field table lists the nine gains loop by loop, P, I, D.
    return static_cast<FieldId>(static_cast<int>(FieldId::CurrentLoopP) +
                                3 * static_cast<int>(loop) + static_cast<int>(term));
}

const ParameterField& LoopGainBound(LoopTest loop, GainTerm term) {
    return FieldInfo(GainField(loop, term));
}

GainCheck CheckLoopGains(LoopTest loop, const GainTexts& texts) {
    GainCheck result;
    const std::string* entries[] = {&texts.P, &texts.I, &texts.D};
    float* values[] = {&result.Gains.P, &result.Gains.I, &result.Gains.D};
    for (uint8_t term = 0; term < 3; ++term) {
        *values[term] = ReadFloat(*entries[term]);
        if (auto error =
                CheckEntry(GainField(loop, static_cast<GainTerm>(term)), *entries[term], 0)) {
            result.Refused = Refusal{error->Text, error->Icon};
            return result;
        }
    }
    return result;
}

GainTexts GainTextsOf(const LoopGains& gains) {
    return {FormatG(gains.P), FormatG(gains.I), FormatG(gains.D)};
}

LoopGains LoopGainsOf(const LoopGroup& group, LoopTest loop) {
    switch (loop) {
        case LoopTest::Current:
            return {group.CurrentLoopP, group.CurrentLoopI, group.CurrentLoopD};
        case LoopTest::Speed:
            return {group.SpeedLoopP, group.SpeedLoopI, group.SpeedLoopD};
        case LoopTest::Position:
            return {group.PositionLoopP, group.PositionLoopI, group.PositionLoopD};
    }
    return {};
}

void StoreLoopGains(LoopGroup& group, LoopTest loop, const LoopGains& gains) {
    switch (loop) {
        case LoopTest::Current:
            group.CurrentLoopP = gains.P;
            group.CurrentLoopI = gains.I;
            group.CurrentLoopD = gains.D;
            break;
        case LoopTest::Speed:
            group.SpeedLoopP = gains.P;
            group.SpeedLoopI = gains.I;
            group.SpeedLoopD = gains.D;
            break;
        case LoopTest::Position:
            group.PositionLoopP = gains.P;
            group.PositionLoopI = gains.I;
            group.PositionLoopD = gains.D;
            break;
    }
}

std::optional<Refusal> CheckAndStoreAllLoopGains(const std::array<GainTexts, 3>& texts,
                                                 LoopGroup& group) {
    for (LoopTest loop : kLoopTests) {
        const GainCheck check = CheckLoopGains(loop, texts[static_cast<size_t>(loop)]);
        if (!check.Passed()) return check.Refused;
        StoreLoopGains(group, loop, check.Gains);
    }
    return std::nullopt;
}

}  // namespace torvane
