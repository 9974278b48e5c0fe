// Drive frames, their checksum and the field codecs.
//
// Frame layout (requests and replies): 5A A5, length (4 + data bytes), function, address high,
// address low, count, data..., CRC low, CRC high. The CRC (CRC-16/MODBUS) covers every byte
// before it. Everything here is pure computation; any thread may call it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace torvane {

using RegisterAddress = uint16_t;

constexpr uint8_t kHeader1 = 0x5A;
constexpr uint8_t kHeader2 = 0xA5;
constexpr uint8_t kFunctionRead = 1;
constexpr uint8_t kFunctionWrite = 2;
constexpr size_t kFrameOverhead = 9;      // header 2, length, function, address 2, count, CRC 2
constexpr size_t kDataOffset = 7;         // first data byte of a frame
constexpr size_t kMaxFrameSize = 255;     // the length byte and the total size travel in 8 bits
constexpr size_t kTxFrameSize = 256;

// CRC-16/MODBUS of `count` bytes; 0xFFFF for an empty range. Low byte goes first on the wire.
uint16_t Crc16(const uint8_t* bytes, size_t count);

// Completes a frame in `frame` (at least count + 9 bytes): header, length, function, address,
// count, and the CRC after `dataBytes` data bytes, which must already sit at offset 7.
// Returns the total frame size (dataBytes + 9).
size_t BuildFrame(uint8_t* frame, uint8_t function, RegisterAddress address, uint8_t count,
                  uint8_t dataBytes);

// Field codecs: big-endian, they move bit patterns unchanged and never fail.
void PutU32BE(uint8_t* dst, uint32_t value);
void PutU16BE(uint8_t* dst, uint16_t value);
void PutU8(uint8_t* dst, uint8_t value);
void PutBit(uint8_t* dst, uint8_t flag, unsigned bit);  // non-zero flag sets, zero clears
void GetU32BE(const uint8_t* src, void* dst4);           // dst4: any 4-byte object (u32, i32, float)
void GetU16BE(const uint8_t* src, uint16_t* dst);
void GetU8(const uint8_t* src, uint8_t* dst);
void GetBit(const uint8_t* src, uint8_t* dst, unsigned bit);  // stores 0 or 1

// Convenience forms of the 32-bit codec for the typed fields of the register map.
void PutFloatBE(uint8_t* dst, float value);
void PutI32BE(uint8_t* dst, int32_t value);
float GetFloatBE(const uint8_t* src);
int32_t GetI32BE(const uint8_t* src);
uint32_t GetU32(const uint8_t* src);
uint16_t GetU16(const uint8_t* src);

// Leading decimal floating-point number of `text` (blanks skipped, sign, digits, point,
// exponent); 0.0 when there is none. Trailing characters are ignored.
double LeadingDouble(const std::string& text);
// Leading decimal integer (blanks, sign, digits); 0 when there is none. Saturates at the
// bounds of int64 instead of overflowing.
int64_t LeadingInteger(const std::string& text);

// Range check of an entry. Returns 0 when min <= value <= max; otherwise sets `message` to
// "allowed band <min> up to <max>" (%.16g) and returns 2. `message` is untouched on success.
uint8_t CheckRange(const std::string& text, double min, double max, std::string& message);

// Saturating float -> int32 conversion, truncating toward zero; NaN gives 0.
int32_t SaturateToI32(double value);

// rpm <-> feedback counts per second over `countsPerRev` counts per motor revolution,
// in single precision; RpmToCounts rounds half away from zero (and saturates).
int32_t RpmToCounts(float rpm, uint32_t countsPerRev);
float CountsToRpm(int32_t counts, uint32_t countsPerRev);

// "5A A5 04 ..." : two-digit upper-case hex separated by single blanks.
std::string HexBytes(const uint8_t* bytes, size_t count);

}  // namespace torvane
