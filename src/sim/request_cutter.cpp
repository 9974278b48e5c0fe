#include "sim/request_cutter.h"

#include "protocol/frame.h"

namespace torvane::sim {

RequestCut CutRequest(const uint8_t* bytes, size_t count) {
    size_t i = 0;
    while (i < count) {
        if (bytes[i] != kHeader1) {
            ++i;
            continue;
        }
        if (i + 1 >= count) return {i, 0};  // a lone 5A at the end may start a header
        if (bytes[i + 1] != kHeader2) {
            ++i;
            continue;
        }
        if (i + 2 >= count) return {i, 0};
        const uint8_t length = bytes[i + 2];
        if (length < kMinLength || length > kMaxLength) {
            ++i;
            continue;
        }
        const size_t size = static_cast<size_t>(length) + 5;
        if (count - i < size) return {i, 0};
        return {i, size};
    }
    return {count, 0};
}

}  // namespace torvane::sim
