#include "protocol/frame.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "protocol/number_text.h"

namespace torvane {

namespace {

// The two byte tables of the reflected polynomial 0xA001, built once at compile time.
struct CrcTables {
    std::array<uint8_t, 256> High{};
    std::array<uint8_t, 256> Low{};
    constexpr CrcTables() {
        for (unsigned i = 0; i < 256; ++i) {
            uint16_t crc = static_cast<uint16_t>(i);
            for (int b = 0; b < 8; ++b) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
            Low[i] = static_cast<uint8_t>(crc & 0xFF);
            High[i] = static_cast<uint8_t>(crc >> 8);
        }
    }
};
constexpr CrcTables kCrc;

}  // namespace

uint16_t Crc16(const uint8_t* bytes, size_t count) {
    uint8_t lo = 0xFF, hi = 0xFF;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t idx = lo ^ bytes[i];
        lo = hi ^ kCrc.Low[idx];
        hi = kCrc.High[idx];
    }
    return static_cast<uint16_t>(hi << 8 | lo);
}

size_t BuildFrame(uint8_t* frame, uint8_t function, RegisterAddress address, uint8_t count,
                  uint8_t dataBytes) {
    frame[0] = kHeader1;
    frame[1] = kHeader2;
    frame[2] = static_cast<uint8_t>(dataBytes + 4);
    frame[3] = function;
    frame[4] = static_cast<uint8_t>(address >> 8);
    frame[5] = static_cast<uint8_t>(address & 0xFF);
    frame[6] = count;
    const size_t crcAt = kDataOffset + dataBytes;
    const uint16_t crc = Crc16(frame, crcAt);
    frame[crcAt] = static_cast<uint8_t>(crc & 0xFF);
    frame[crcAt + 1] = static_cast<uint8_t>(crc >> 8);
    return crcAt + 2;
}

void PutU32BE(uint8_t* dst, uint32_t v) {
    dst[0] = static_cast<uint8_t>(v >> 24);
    dst[1] = static_cast<uint8_t>(v >> 16);
    dst[2] = static_cast<uint8_t>(v >> 8);
    dst[3] = static_cast<uint8_t>(v);
}
void PutU16BE(uint8_t* dst, uint16_t v) {
    dst[0] = static_cast<uint8_t>(v >> 8);
    dst[1] = static_cast<uint8_t>(v);
}
void PutU8(uint8_t* dst, uint8_t v) { dst[0] = v; }
void PutBit(uint8_t* dst, uint8_t flag, unsigned bit) {
    const uint8_t mask = static_cast<uint8_t>(1u << (bit & 7));
    *dst = flag ? (*dst | mask) : (*dst & ~mask);
}
void GetU32BE(const uint8_t* src, void* dst4) {
    const uint32_t v = GetU32(src);
    std::memcpy(dst4, &v, 4);
}
void GetU16BE(const uint8_t* src, uint16_t* dst) { *dst = GetU16(src); }
void GetU8(const uint8_t* src, uint8_t* dst) { *dst = src[0]; }
void GetBit(const uint8_t* src, uint8_t* dst, unsigned bit) { *dst = (src[0] >> (bit & 7)) & 1; }

void PutFloatBE(uint8_t* dst, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    PutU32BE(dst, bits);
}
void PutI32BE(uint8_t* dst, int32_t value) { PutU32BE(dst, static_cast<uint32_t>(value)); }
float GetFloatBE(const uint8_t* src) {
    float f;
    GetU32BE(src, &f);
    return f;
}
int32_t GetI32BE(const uint8_t* src) { return static_cast<int32_t>(GetU32(src)); }
uint32_t GetU32(const uint8_t* s) {
    return uint32_t{s[0]} << 24 | uint32_t{s[1]} << 16 | uint32_t{s[2]} << 8 | uint32_t{s[3]};
}
uint16_t GetU16(const uint8_t* s) { return static_cast<uint16_t>(s[0] << 8 | s[1]); }

double LeadingDouble(const std::string& text) {
    // Entries are decimal (no hex floats, "inf" or "nan") with a dot whatever the locale: cut
    // the text to its decimal prefix and read that without the C library's locale.
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
    const char* q = p;
    if (*q == '+' || *q == '-') ++q;
    bool digits = false;
    while (*q >= '0' && *q <= '9') ++q, digits = true;
    if (*q == '.') {
        ++q;
        while (*q >= '0' && *q <= '9') ++q, digits = true;
    }
    if (!digits) return 0.0;
    if (*q == 'e' || *q == 'E') {
        const char* e = q + 1;
        if (*e == '+' || *e == '-') ++e;
        if (*e >= '0' && *e <= '9') {
            while (*e >= '0' && *e <= '9') ++e;
            q = e;
        }
    }
    return DecimalToDouble(p, q);
}

int64_t LeadingInteger(const std::string& text) {
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    int64_t value = 0;
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    for (; *p >= '0' && *p <= '9'; ++p) {
        const int d = *p - '0';
        if (value > (kMax - d) / 10) return negative ? std::numeric_limits<int64_t>::min() : kMax;
        value = value * 10 + d;
    }
    return negative ? -value : value;
}

uint8_t CheckRange(const std::string& text, double min, double max, std::string& message) {
    const double value = LeadingDouble(text);
    if (value > max || min > value) {
        // Formatted without the C library's locale: a comma locale must not print "0,5".
        message = "allowed band " + FormatG(min, 16) + " up to " + FormatG(max, 16);
        return 2;
    }
    return 0;
}

int32_t SaturateToI32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int32_t RpmToCounts(float rpm, uint32_t countsPerRev) {
    const float x = rpm / 60.0f * static_cast<float>(countsPerRev);
    // The half is added in double, as C's x + 0.5 does: in float, from 2^23 counts/s up,
    // x + 0.5f rounds to even and an odd x lands one count too far.
    const double wide = x;
    return SaturateToI32(wide >= 0.0 ? wide + 0.5 : wide - 0.5);
}

float CountsToRpm(int32_t counts, uint32_t countsPerRev) {
    const float r = static_cast<float>(countsPerRev);
    if (r == 0.0f) return 0.0f;  // no revolution defined: show 0 rather than inf
    return static_cast<float>(counts) * 60.0f / r;
}

std::string HexBytes(const uint8_t* bytes, size_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        if (i) out += ' ';
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

}  // namespace torvane
