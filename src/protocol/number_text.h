// Numbers as the tool reads and writes them: the C conventions (a dot for the decimal point,
// no digit grouping), whatever locale the process or the user runs under. Pure; any thread.
#pragma once

#include <string>

namespace torvane {

// printf-style "%.<precision>g" of `value` ("0.5", "1e+06", "2500"), without the C library's
// locale: a comma locale still gets a dot.
std::string FormatG(double value, int precision = 6);
// "%d".
std::string FormatD(long long value);
// printf-style "%.<decimals>f" ("360.00000"), without the C library's locale.
std::string FormatFixed(double value, int decimals);

// The decimal number in [first, last), which must match [+-]digits[.digits][(e|E)[+-]digits]
// with at least one digit before the exponent (LeadingDouble cuts it so). Read with the dot
// whatever the locale; a magnitude beyond double gives +-HUGE_VAL, one below it +-0.0, as
// strtod does.
double DecimalToDouble(const char* first, const char* last);

}  // namespace torvane
