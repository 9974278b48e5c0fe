#include "protocol/number_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace torvane {

namespace {

std::string ToChars(double value, std::chars_format format, int precision) {
    // Enough for any double in %f with a few decimals (up to 309 integer digits).
    char buffer[400];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
    if (error != std::errc()) return "0";
    return std::string(buffer, end);
}

}  // namespace

std::string FormatG(double value, int precision) {
    // to_chars with a precision formats as printf does in the "C" locale; unlike snprintf it
    // never looks at LC_NUMERIC.
    return ToChars(value, std::chars_format::general, precision);
}

std::string FormatD(long long value) {
    return std::to_string(value);
}

std::string FormatFixed(double value, int decimals) {
    return ToChars(value, std::chars_format::fixed, decimals);
}

double DecimalToDouble(const char* first, const char* last) {
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) negative = (*first++ == '-');
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // from_chars leaves the value alone; strtod gives HUGE_VAL on overflow and 0 on
        // underflow. Tell them apart by the decimal exponent of the first significant digit.
        long exponent10 = 0;
        const char* p = first;
        long leadingPlaces = 0;  // digits before the point, from the first non-zero one
        bool seenNonZero = false;
        bool afterPoint = false;
        long zerosAfterPoint = 0;
        for (; p != last && *p != 'e' && *p != 'E'; ++p) {
            if (*p == '.') {
                afterPoint = true;
            } else if (*p != '0' || seenNonZero) {
                if (!seenNonZero && afterPoint) exponent10 = -(zerosAfterPoint + 1);
                seenNonZero = true;
                if (!afterPoint) ++leadingPlaces;
            } else if (afterPoint) {
                ++zerosAfterPoint;
            }
        }
        if (leadingPlaces > 0) exponent10 = leadingPlaces - 1;
        if (p != last) {
            long e = 0;
            bool eNegative = false;
            ++p;
            if (p != last && (*p == '+' || *p == '-')) eNegative = (*p++ == '-');
            for (; p != last && e < 100000; ++p) e = e * 10 + (*p - '0');
            exponent10 += eNegative ? -e : e;
        }
        value = exponent10 > 0 ? HUGE_VAL : 0.0;
    } else if (error != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

}  // namespace torvane
