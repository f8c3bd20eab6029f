// Free-format (list-directed) reading: the value lists of every input file.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/free_format.h"
#include "platform/short_decimal.h"
#include "platform/whole_numbers.h"

using namespace nimbex;

TEST(FreeFormat, BlanksAndCommasSeparate) {
    ListReader r("1, 2.5 ,3   4");
    int a = 0, d = 0;
    float b = 0, c = 0;
    EXPECT_EQ(r.read(a), ReadResult::value);
    EXPECT_EQ(r.read(b), ReadResult::value);
    EXPECT_EQ(r.read(c), ReadResult::value);
    EXPECT_EQ(r.read(d), ReadResult::value);
    EXPECT_EQ(a, 1);
    EXPECT_FLOAT_EQ(b, 2.5f);
    EXPECT_FLOAT_EQ(c, 3.0f);
    EXPECT_EQ(d, 4);
    EXPECT_EQ(r.read(a), ReadResult::eof);
    EXPECT_EQ(a, 1);
}

TEST(FreeFormat, NullValuesLeaveItemsUnchanged) {
    ListReader r(",7,, 9 , ,11");
    std::vector<int> v(6, -1);
    std::vector<ReadResult> got;
    for (auto& x : v) got.push_back(r.read(x));
    EXPECT_EQ(v, (std::vector<int>{-1, 7, -1, 9, -1, 11}));
    EXPECT_EQ(got[0], ReadResult::null);
    EXPECT_EQ(got[2], ReadResult::null);
}

TEST(FreeFormat, SlashEndsTheList) {
    ListReader r("1 2 / 3");
    int a = 0, b = 0, c = -5, d = -6;
    r.read(a);
    r.read(b);
    EXPECT_EQ(r.read(c), ReadResult::slash);
    EXPECT_EQ(r.read(d), ReadResult::slash);
    EXPECT_EQ(c, -5);
    EXPECT_EQ(d, -6);
    EXPECT_TRUE(r.ended());
}

TEST(FreeFormat, RepeatCounts) {
    ListReader r("3*0.5 2* 4");
    std::vector<float> v(6, -1.0f);
    for (auto& x : v) r.read(x);
    EXPECT_EQ(v, (std::vector<float>{0.5f, 0.5f, 0.5f, -1.0f, -1.0f, 4.0f}));
}

TEST(FreeFormat, QuotedTexts) {
    ListReader r("'two words', \"it\"\"s\" plain,next 2*'ab'");
    std::string a, b, c, d, e, f;
    r.read(a);
    r.read(b);
    r.read(c);
    r.read(d, 6);
    r.read(e);
    r.read(f);
    EXPECT_EQ(a, "two words");
    EXPECT_EQ(b, "it\"s");
    EXPECT_EQ(c, "plain");
    EXPECT_EQ(d, "next  ");
    EXPECT_EQ(e, "ab");
    EXPECT_EQ(f, "ab");
}

TEST(FreeFormat, ValuesContinueOverRecords) {
    std::vector<std::string> lines{"3 4", "", "5,", "6 7 8"};
    std::size_t i = 0;
    ListReader r("1 2", [&](std::string& s) {
        if (i >= lines.size()) return false;
        s = lines[i++];
        return true;
    });
    std::vector<int> v(6);
    for (auto& x : v) EXPECT_EQ(r.read(x), ReadResult::value);
    EXPECT_EQ(v, (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST(FreeFormat, BadWordsAreReported) {
    ListReader r("12 abc 3.5");
    int a = 0, b = 0, c = 0;
    EXPECT_EQ(r.read(a), ReadResult::value);
    EXPECT_EQ(r.read(b), ReadResult::bad);
    EXPECT_EQ(r.bad_word(), "abc");
    EXPECT_EQ(r.read(c), ReadResult::bad);  // an integer item refuses 3.5
    EXPECT_EQ(r.bad_word(), "3.5");
    EXPECT_TRUE(read_failed(ReadResult::bad));
}

TEST(FreeFormat, RealSpellings) {
    float v = 0;
    EXPECT_TRUE(parse_real("1.5e2", v));
    EXPECT_FLOAT_EQ(v, 150.0f);
    EXPECT_TRUE(parse_real("1.5D2", v));
    EXPECT_FLOAT_EQ(v, 150.0f);
    EXPECT_TRUE(parse_real("+.5", v));
    EXPECT_FLOAT_EQ(v, 0.5f);
    EXPECT_TRUE(parse_real("-3.", v));
    EXPECT_FLOAT_EQ(v, -3.0f);
    EXPECT_TRUE(parse_real("1.5+2", v));
    EXPECT_FLOAT_EQ(v, 150.0f);
    EXPECT_FALSE(parse_real("1,5", v));
    EXPECT_FALSE(parse_real("", v));
    EXPECT_FALSE(parse_real("--1", v));
    int i = 0;
    EXPECT_TRUE(parse_int("+3", i));
    EXPECT_EQ(i, 3);
    EXPECT_FALSE(parse_int("3.0", i));
    EXPECT_FALSE(parse_int("99999999999", i));
}

TEST(CutToInt, CutsTowardZeroAndHoldsAtTheIntegerEnds) {
    EXPECT_EQ(cut_to_int(2.9f), 2);
    EXPECT_EQ(cut_to_int(-2.9f), -2);
    EXPECT_EQ(cut_to_int(std::nanf("")), 0);
    EXPECT_EQ(cut_to_int(2147483520.0f), 2147483520);  // the largest real below 2^31 fits
    EXPECT_EQ(cut_to_int(2147483648.0f), 2147483647);
    EXPECT_EQ(cut_to_int(-2147483648.0f), -2147483647 - 1);
    EXPECT_EQ(cut_to_int(-1.0e30f), -2147483647 - 1);
}

// The quick reading of plain decimals gives the float of a full conversion,
// bit for bit (ties and the largest mantissas included), and declines every
// other spelling.
TEST(ShortDecimal, SameFloatAsTheFullConversion) {
    std::mt19937 rng(7);
    auto check = [](const std::string& w) {
        float quick = 0.0f, full = 0.0f;
        if (!short_decimal(w, quick)) return false;
        auto [p, ec] = std::from_chars(w.data(), w.data() + w.size(), full);
        EXPECT_TRUE(ec == std::errc() && p == w.data() + w.size()) << w;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(quick), std::bit_cast<std::uint32_t>(full)) << w;
        return true;
    };
    for (int n = 0; n < 200000; ++n) {
        const std::uint32_t m = rng() % ((1u << 24) + 1);
        const int f = static_cast<int>(rng() % 11);
        std::string digits = std::to_string(m);
        if (static_cast<int>(digits.size()) <= f) digits.insert(0, static_cast<std::size_t>(f) + 1 - digits.size(), '0');
        std::string w = (n % 3 == 0 ? "-" : "") + digits;
        if (f > 0) w.insert(w.size() - static_cast<std::size_t>(f), ".");
        EXPECT_TRUE(check(w)) << w;
    }
    for (const char* w : {"0", "-0", "-0.0", "5.", ".5", "-.5", "16777216", "1677721.6", "0.0000000001", "0.9999999", "1.6777216"})
        EXPECT_TRUE(check(w)) << w;
    float v = 42.0f;
    for (const char* w : {"", "-", ".", "-.", "+1", "1e5", "1.2.3", "16777217", "0.00000000001", "1,5", "1d0", "--1"})
        EXPECT_FALSE(short_decimal(w, v)) << w;
    EXPECT_EQ(v, 42.0f);
}
