#include "params/entry_text.h"

#include <cmath>
#include <limits>

#include "protocol/frame.h"

namespace torvane {

uint8_t ReadU8(const std::string& text) {
    return static_cast<uint8_t>(static_cast<uint64_t>(LeadingInteger(text)) & 0xFF);
}

uint16_t ReadU16(const std::string& text) {
    return static_cast<uint16_t>(static_cast<uint64_t>(LeadingInteger(text)) & 0xFFFF);
}

int32_t ReadI32(const std::string& text) {
    const int64_t v = LeadingInteger(text);
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

float NarrowToFloat(double value) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (value > kMax) return std::numeric_limits<float>::infinity();
    if (value < -kMax) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

float ReadFloat(const std::string& text) {
    return NarrowToFloat(LeadingDouble(text));
}

}  // namespace torvane
