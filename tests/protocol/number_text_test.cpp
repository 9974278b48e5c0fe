// Numbers read and written with the dot whatever the C library's locale: the forms match
// printf's in the "C" locale, and stay so under a decimal-comma locale (de_DE.UTF-8, which
// scripts/setup.sh generates).
#include "protocol/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <string>

#include "protocol/frame.h"

namespace torvane {
namespace {

std::string Printf(const char* format, double value) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// Switches LC_ALL for the scope of a test; fails the test when the locale is missing.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) : old_(std::setlocale(LC_ALL, nullptr)) {
        ok_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~ScopedLocale() { std::setlocale(LC_ALL, old_.c_str()); }
    bool Ok() const { return ok_; }

private:
    std::string old_;
    bool ok_ = false;
};

// A decimal-comma locale, by the platform's name for it.
#ifdef _WIN32
constexpr const char* kDecimalCommaLocale = "German_Germany.1252";
#else
constexpr const char* kDecimalCommaLocale = "de_DE.UTF-8";
#endif

const double kValues[] = {
    0.0,    0.5,   -2.5,    48.5, 1e-7, 1e6,       1234567, 123456.7,          65535.0,
    -0.125, 1e300, -1e-300, 2500, 1e16, 0.1 + 0.2, 360.0,   179.99725341796875};

TEST(NumberText, FormsAreThoseOfPrintfInTheCLocale) {
    ScopedLocale c("C");
    ASSERT_TRUE(c.Ok());
    for (double v : kValues) {
        EXPECT_EQ(FormatG(v), Printf("%g", v)) << v;
        EXPECT_EQ(FormatG(v, 16), Printf("%.16g", v)) << v;
        if (std::fabs(v) < 1e20) {
            EXPECT_EQ(FormatFixed(v, 5), Printf("%.5f", v)) << v;
        }
    }
    EXPECT_EQ(FormatD(-2147483648LL), "-2147483648");
}

TEST(NumberText, ADecimalCommaLocaleChangesNothing) {
    ScopedLocale de(kDecimalCommaLocale);
    ASSERT_TRUE(de.Ok()) << "the " << kDecimalCommaLocale
                         << " locale is missing: run scripts/setup.sh";
    // The C library itself now prints a comma: what the tool must not do.
    ASSERT_EQ(Printf("%g", 0.5), "0,5");

    EXPECT_EQ(FormatG(0.5), "0.5");
    EXPECT_EQ(FormatG(1e6), "1e+06");
    EXPECT_EQ(FormatFixed(360.0, 5), "360.00000");
    EXPECT_EQ(LeadingDouble("2.5"), 2.5);
    EXPECT_EQ(LeadingDouble(" -0.125e1x"), -1.25);
    EXPECT_EQ(LeadingDouble("2,5"), 2.0);  // a comma ends the number, as in the C locale
    std::string message;
    EXPECT_EQ(CheckRange("3", 0.5, 2.5, message), 2);
    EXPECT_EQ(message, "allowed band 0.5 up to 2.5");
    EXPECT_EQ(CheckRange("2.5", 0.5, 2.5, message), 0);
}

TEST(NumberText, DecimalsBeyondDoubleReadAsStrtodReadsThem) {
    ScopedLocale c("C");
    for (const char* text : {"1e999", "-1e999", "1e-999", "-0.0001e-400", "0.000e999", "12",
                             "123456789012345678901234567890", ".5", "5.", "+7e2", "4.9e-324",
                             "2.2250738585072014e-308"}) {
        const std::string t = text;
        const double expected = std::strtod(text, nullptr);
        const double got = DecimalToDouble(t.data(), t.data() + t.size());
        EXPECT_EQ(got, expected) << text;
        EXPECT_EQ(std::signbit(got), std::signbit(expected)) << text;
    }
}

}  // namespace
}  // namespace torvane
