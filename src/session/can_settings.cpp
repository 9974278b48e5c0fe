#include "session/can_settings.h"

#include "protocol/frame.h"
#include "protocol/number_text.h"

namespace torvane {

std::string CanAddressText(uint8_t addressCode) {
    return FormatD(addressCode + 140);
}

std::optional<int> CanBaudItem(uint8_t baudCode) {
    if (baudCode == 4) return 0;
    if (baudCode == 5) return 1;
    return std::nullopt;
}

uint8_t CanAddressCode(const std::string& text) {
    // Kept in 8 bits on purpose: the drive's field is one byte, and out-of-range addresses wrap
    // as they always have. Unsigned arithmetic: a saturated huge entry must not overflow.
    return static_cast<uint8_t>((static_cast<uint64_t>(LeadingInteger(text)) - 140u) & 0xFFu);
}

uint8_t CanBaudCode(int index) {
    return static_cast<uint8_t>(index + 4);
}

}  // namespace torvane
