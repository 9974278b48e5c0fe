// How the parameter pages read a number from an entry's text. Integers: the leading decimal
// integer (blanks, sign, digits; none gives 0) cut to the field's width. Floats: the longest
// leading decimal number (none gives 0) rounded to single precision. Pure; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace torvane {

uint8_t ReadU8(const std::string& text);    // low 8 bits: "-1" gives 255, "2.7" gives 2
uint16_t ReadU16(const std::string& text);  // low 16 bits
// A 32-bit signed field. Beyond the int32 range the value saturates rather than wrapping, so
// an entry too large for the field never turns into a number of the opposite sign.
int32_t ReadI32(const std::string& text);
float ReadFloat(const std::string& text);

// double -> float without undefined behaviour: beyond the float range gives +-infinity.
float NarrowToFloat(double value);

}  // namespace torvane
