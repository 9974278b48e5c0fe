#include "protocol/frame_extractor.h"

#include "protocol/frame.h"

namespace torvane {

size_t CutFrames(const uint8_t* bytes, size_t count,
                 const std::function<void(const uint8_t* frame, size_t size)>& onFrame) {
    size_t consumed = 0;
    size_t i = 0;
    while (i + 2 < count) {
        if (bytes[i] != kHeader1 || bytes[i + 1] != kHeader2) {
            ++i;
            continue;
        }
        const uint8_t lengthByte = bytes[i + 2];
        if (lengthByte > kMaxLengthByte) {  // cannot describe a frame: resynchronise after it
            ++i;
            continue;
        }
        const size_t size = size_t{lengthByte} + 5;
        if (size > count - i) {  // not complete yet; a later header may still be complete
            ++i;
            continue;
        }
        onFrame(bytes + i, size);
        i += size;
        consumed = i;
    }
    return consumed;
}

}  // namespace torvane
