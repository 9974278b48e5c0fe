#include "tuning/loop_gain_check.h"

#include <charconv>

#include "protocol/frame.h"

namespace torvane {

namespace {

// The double blanks and the missing blank in "Greater than0" are the texts users know.
constexpr GainBound kBounds[3][3] = {
    {
        {0, 5,
         "P value of current loop\xEF\xBC\x8Cinput overrun \n allowed band Greater than 0  and "
         "less than 5"},
        {0, 5,
         "I value of current loop\xEF\xBC\x8Cinput overrun \n allowed band Greater than 0  and "
         "less than 5"},
        {0, 1,
         "D value of current loop\xEF\xBC\x8Cinput overrun \n allowed band Greater than0  and "
         "less than 1"},
    },
    {
        {0, 5,
         "P value of speed loop\xEF\xBC\x8Cinput overrun \n allowed band Greater than 0 and less "
         "than 5"},
        {0, 5,
         "I value of speed loop\xEF\xBC\x8Cinput overrun \n allowed band Greater than 0 and less "
         "than 5"},
        {0, 5,
         "D value of speed loop\xEF\xBC\x8Cinput overrun \n allowed band Greater than 0 and less "
         "than 5"},
    },
    {
        {0, 2.5,
         "P value of position loop\xEF\xBC\x8Cinput overrun \n allowed band Greater than 0  and "
         "less than 2.5"},
        {0, 2.5,
         "I value of position loop\xEF\xBC\x8Cinput overrun \n allowed band Greater than 0  and "
         "less than 2.5"},
        {0, 2.5,
         "D value of position loop\xEF\xBC\x8Cinput overrun \n allowed band Greater than 0  and "
         "less than 2.5"},
    },
};

}  // namespace

const GainBound& LoopGainBound(LoopTest loop, GainTerm term) {
    return kBounds[static_cast<size_t>(loop)][static_cast<size_t>(term)];
}

GainCheck CheckLoopGains(LoopTest loop, const GainTexts& texts) {
    GainCheck result;
    const std::string* entries[] = {&texts.P, &texts.I, &texts.D};
    float* values[] = {&result.Gains.P, &result.Gains.I, &result.Gains.D};
    for (size_t term = 0; term < 3; ++term) {
        // The value is compared as the float that will be stored, so 5.00000001 (which is 5.0f)
        // passes as 5.
        const float value = static_cast<float>(LeadingDouble(*entries[term]));
        *values[term] = value;
        const GainBound& bound = kBounds[static_cast<size_t>(loop)][term];
        // Written so that a NaN (which no text yields today) would fail too.
        if (!(value >= bound.Min && value <= bound.Max)) {
            result.Refused = Refusal{bound.Message, NoticeIcon::None};
            return result;
        }
    }
    return result;
}

GainTexts GainTextsOf(const LoopGains& gains) {
    auto g = [](float v) {
        char buffer[32];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(v),
                                     std::chars_format::general, 6);
        return std::string(buffer, r.ptr);
    };
    return {g(gains.P), g(gains.I), g(gains.D)};
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
