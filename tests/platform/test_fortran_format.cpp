// Fixed-width fields as Fortran edit descriptors write them. Every file layout
// of the program rests on these, so the cases are spelled out literally.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/fortran_format.h"

using namespace nimbex;

TEST(FormatI, RightAlignsAndOverflowsToStars) {
    EXPECT_EQ(fmt_i(5, 5), "    5");
    EXPECT_EQ(fmt_i(-12, 4), " -12");
    EXPECT_EQ(fmt_i(12345, 5), "12345");
    EXPECT_EQ(fmt_i(123456, 5), "*****");
    EXPECT_EQ(fmt_i(-1234, 4), "****");
    EXPECT_EQ(fmt_i(0, 1), "0");
}

TEST(FormatF, RoundsAndKeepsThePoint) {
    EXPECT_EQ(fmt_f(0.25, 5, 2), " 0.25");
    EXPECT_EQ(fmt_f(12.0, 6, 0), "   12.");
    EXPECT_EQ(fmt_f(0.0, 6, 0), "    0.");
    EXPECT_EQ(fmt_f(0.4, 6, 0), "    0.");
    EXPECT_EQ(fmt_f(12.6, 7, 0), "    13.");
    EXPECT_EQ(fmt_f(3.14159, 8, 4), "  3.1416");
    EXPECT_EQ(fmt_f(-2.5f, 6, 2), " -2.50");
    EXPECT_EQ(fmt_f(999.9f, 6, 2), "999.90");
    EXPECT_EQ(fmt_f(1000.0f, 6, 2), "******");
    EXPECT_EQ(fmt_f(1234.5f, 5, 0), "1234.");   // an exact tie goes to even
}

TEST(FormatF, LeadingZeroOnlyWhenThereIsRoom) {
    EXPECT_EQ(fmt_f(0.5, 4, 2), "0.50");
    EXPECT_EQ(fmt_f(0.5, 3, 2), ".50");
    EXPECT_EQ(fmt_f(-0.5, 5, 2), "-0.50");
    EXPECT_EQ(fmt_f(-0.5, 4, 2), "-.50");
    EXPECT_EQ(fmt_f(-0.5, 3, 2), "***");
    EXPECT_EQ(fmt_f(0.004, 5, 2), " 0.00");
}

TEST(FormatF, RoundsTheExactBinaryValue) {
    // 0.125 is exact in binary: round half to even; 0.15f is slightly above 0.15.
    EXPECT_EQ(fmt_f(0.125, 5, 2), " 0.12");
    EXPECT_EQ(fmt_f(0.375, 5, 2), " 0.38");
    EXPECT_EQ(fmt_f(0.15f, 4, 1), " 0.2");
    EXPECT_EQ(fmt_f(2.5, 4, 0), "  2.");
    EXPECT_EQ(fmt_f(0.045f, 5, 2), " 0.05");  // 0.045f is just above 0.045
    EXPECT_EQ(fmt_f(0.035, 5, 2), " 0.04");   // and 0.035 (double) just above too
}

TEST(FormatF, NegativeValuesThatRoundToZeroKeepTheirSign) {
    EXPECT_EQ(fmt_f(-0.001, 5, 2), "-0.00");
    EXPECT_EQ(fmt_f(1.0e7f, 10, 0), " 10000000.");
    EXPECT_EQ(fmt_f(1.0e10f, 10, 0), "**********");
}

TEST(FormatF, NotANumberAndInfinity) {
    EXPECT_EQ(fmt_f(std::nan(""), 6, 2), "   NaN");
    EXPECT_EQ(fmt_f(INFINITY, 10, 2), "  Infinity");
    EXPECT_EQ(fmt_f(-INFINITY, 6, 2), "  -Inf");
    EXPECT_EQ(fmt_f(std::nan(""), 2, 0), "**");
}

TEST(FormatE, MantissaBelowOne) {
    EXPECT_EQ(fmt_e(123.456, 12, 6), "0.123456E+03");
    EXPECT_EQ(fmt_e(123.456, 13, 6), " 0.123456E+03");
    EXPECT_EQ(fmt_e(-123.456, 12, 6), "-.123456E+03");
    EXPECT_EQ(fmt_e(0.0, 10, 3), " 0.000E+00");
    EXPECT_EQ(fmt_e(0.00123, 10, 3), " 0.123E-02");
    EXPECT_EQ(fmt_e(1.0e100, 10, 3), " 0.100+101");
    EXPECT_EQ(fmt_e(9.9996, 10, 3), " 0.100E+02");
    EXPECT_EQ(fmt_e(1.5, 6, 3), "******");
}

TEST(FormatA, TextsInFields) {
    EXPECT_EQ(fmt_a("abc", 5), "  abc");
    EXPECT_EQ(fmt_a("abcdef", 4), "abcd");
    EXPECT_EQ(fmt_pad(":Name", 8), ":Name   ");
    EXPECT_EQ(fmt_pad("abcdef", 4), "abcd");
}

TEST(ListDirected, IntegersAndReals) {
    EXPECT_EQ(list_int(5), "          5");
    EXPECT_EQ(list_real(1.0f), "  1.00000000    ");
    EXPECT_EQ(list_real(0.5f), " 0.500000000    ");
    EXPECT_EQ(list_real(0.0f), "  0.00000000    ");
    EXPECT_EQ(list_real(-1.0f), " -1.00000000    ");
    EXPECT_EQ(list_real(123.456f), "  123.456001    ");
    EXPECT_EQ(list_real(1.0e6f), "  1000000.00    ");
    EXPECT_EQ(list_real(0.01f), "  9.99999978E-03");
    EXPECT_EQ(list_real(1.0e10f), "  1.00000000E+10");
    EXPECT_EQ(list_real(-2.5e-5f), " -2.49999994E-05");
}

TEST(ListDirected, RecordsSeparateItemsLikeFortran) {
    EXPECT_EQ((ListLine() << "abc").str(), " abc");
    EXPECT_EQ((ListLine() << "x=" << 5).str(), " x=           5");
    EXPECT_EQ((ListLine() << 5 << "x").str(), "           5 x");
    EXPECT_EQ((ListLine() << "a" << "b").str(), " ab");
    EXPECT_EQ((ListLine() << 1 << 2).str(), "           1           2");
    EXPECT_EQ((ListLine() << 1.0f).str(), "   1.00000000    ");
    // console messages leave out the record's leading blank
    EXPECT_EQ((msg() << "radinfl=" << 10.0f << " cells").str(), "radinfl=   10.0000000      cells");
    EXPECT_EQ((msg() << 3 << " stations").str(), "          3  stations");
}

// List-directed reals take their digits before the point from comparisons
// with the powers of ten; the C library's rounding to nine digits must agree.
TEST(ListDirected, RealsHaveTheLibrarysDigitsBeforeThePoint) {
    std::uint32_t state = 12345;
    for (int n = 0; n < 200000; ++n) {
        state = state * 1664525u + 1013904223u;
        const float m = static_cast<float>(std::ldexp(1.0 + (state >> 8) / 16777216.0, static_cast<int>(state % 34) - 4));
        const float v = (state >> 7) & 1 ? -m : m;
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.8e", static_cast<double>(v));
        const int k = std::atoi(std::strchr(buf, 'e') + 1) + 1;
        const std::string s = list_real(v);
        if (k < 0 || k > 9) {
            EXPECT_NE(s.find('E'), std::string::npos) << v;
            continue;
        }
        const auto first = s.find_first_not_of(' ');
        const auto point = s.find('.');
        const int before = static_cast<int>(point - first) - (v < 0 ? 1 : 0);
        EXPECT_EQ(k == 0 ? 1 : k, before) << v << " " << s;
        if (k == 0) {
            EXPECT_EQ(s[first + (v < 0 ? 1 : 0)], '0') << v;
        }
        // and the whole field is the library's fixed form in 12 columns
        char fixed[64];
        if (k == 9)  // the point is written even without decimals
            std::snprintf(fixed, sizeof fixed, "%11.0f.    ", static_cast<double>(v));
        else
            std::snprintf(fixed, sizeof fixed, "%12.*f    ", 9 - k, static_cast<double>(v));
        EXPECT_EQ(s, fixed) << v;
    }
}
