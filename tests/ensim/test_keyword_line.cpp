#include <gtest/gtest.h>

#include <string>

#include "ensim/keyword_line.h"

namespace nimbex {
namespace {

struct Split {
    int n;
    std::string key, value;
};

Split split(std::string_view line, std::size_t value_size = 4096) {
    Split s{0, "untouched", "untouched"};
    s.n = split_line(line, s.key, s.value, 128, value_size);
    return s;
}

TEST(KeywordSplitLine, KeywordAndValue) {
    Split s = split("   :xcount   120  extra ");
    EXPECT_EQ(s.n, 2);
    EXPECT_EQ(s.key, ":xcount");
    EXPECT_EQ(s.value, "120  extra");

    s = split("\t:xcount\t\t120");  // tabs split like blanks
    EXPECT_EQ(s.n, 2);
    EXPECT_EQ(s.key, ":xcount");
    EXPECT_EQ(s.value, "120");

    s = split(":EndHeader");
    EXPECT_EQ(s.n, 1);
    EXPECT_EQ(s.key, ":EndHeader");
    EXPECT_EQ(s.value, "");
}

TEST(KeywordSplitLine, EmptyLineLeavesFieldsAlone) {
    Split s = split(" \t  ");
    EXPECT_EQ(s.n, 0);
    EXPECT_EQ(s.key, "untouched");
    EXPECT_EQ(s.value, "untouched");
}

TEST(KeywordSplitLine, QuoteRules) {
    Split s = split("\"two words\"rest of it");  // no blank needed after the quote
    EXPECT_EQ(s.n, 2);
    EXPECT_EQ(s.key, "two words");
    EXPECT_EQ(s.value, "rest of it");

    s = split("\"two words\"");
    EXPECT_EQ(s.n, 1);
    EXPECT_EQ(s.key, "two words");
    EXPECT_EQ(s.value, "");

    s = split("\"open quote never closed");  // splits at the first blank
    EXPECT_EQ(s.n, 2);
    EXPECT_EQ(s.key, " open");
    EXPECT_EQ(s.value, "quote never closed");

    s = split("\"alone");
    EXPECT_EQ(s.n, 1);
    EXPECT_EQ(s.key, " alone");
}

TEST(KeywordSplitLine, FieldSizesCut) {
    std::string longkey(200, 'k');
    Split s = split(longkey + " abcdef", 3);
    EXPECT_EQ(s.key, std::string(128, 'k'));
    EXPECT_EQ(s.value, "abc");
}

TEST(KeywordWords, IsNumberWord) {
    EXPECT_TRUE(is_number_word("-12.5"));
    EXPECT_TRUE(is_number_word("+3"));
    EXPECT_TRUE(is_number_word("7   "));
    EXPECT_TRUE(is_number_word(""));
    EXPECT_FALSE(is_number_word("1e3"));
    EXPECT_FALSE(is_number_word("1,5"));
    EXPECT_FALSE(is_number_word("Rank"));
}

TEST(KeywordWords, CountWords) {
    EXPECT_EQ(count_words(""), 0);
    EXPECT_EQ(count_words("    "), 0);
    EXPECT_EQ(count_words(" a  b\tc "), 3);
    EXPECT_EQ(count_words("1,2,3"), 1);  // commas do not separate
}

TEST(KeywordWords, FilePart) {
    std::string p = "basin/sub/bsnm_par.csv";
    EXPECT_TRUE(file_part(p));
    EXPECT_EQ(p, "bsnm_par.csv");

    p = "basin\\sub\\bsnm_par.csv";  // a backslash is not a separator
    EXPECT_TRUE(file_part(p));
    EXPECT_EQ(p, "basin\\sub\\bsnm_par.csv");

    p = std::string("a") + char(28) + "b";
    EXPECT_TRUE(file_part(p));
    EXPECT_EQ(p, "b");

    p = "   ";
    EXPECT_FALSE(file_part(p));
}

TEST(KeywordWords, FileKinds) {
    EXPECT_TRUE(is_r2c_file("basin/bsnm_shd.R2C   "));
    EXPECT_FALSE(is_r2c_file("basin/bsnm_shd.shd"));
    EXPECT_FALSE(is_r2c_file("r2"));
    EXPECT_FALSE(is_r2c_file(""));
    EXPECT_TRUE(is_latlong("LATLONG"));
    EXPECT_TRUE(is_latlong("latlong     "));
    EXPECT_FALSE(is_latlong(" latlong"));
    EXPECT_FALSE(is_latlong("latlongx"));
    EXPECT_FALSE(is_latlong("UTM"));
}

TEST(KeywordValues, TakeValue) {
    int i = 5;
    take_value("42", i);
    EXPECT_EQ(i, 42);
    float r = 0.0f;
    take_value("2.5e1", r);
    EXPECT_FLOAT_EQ(r, 25.0f);
    std::string t = "old";
    take_text("name,other", t);
    EXPECT_EQ(t, "name");
    take_text("dir/file", t);
    EXPECT_EQ(t, "dir");
    FText<4> f;
    take_value("abcdefg", f);
    EXPECT_EQ(f.str(), "abcd");

    try {
        take_value("12x", i);
        FAIL() << "no stop";
    } catch (const BadValue& e) {
        EXPECT_EQ(e.word(), "12x");
        EXPECT_STREQ(e.what(), "Bad value '12x'");
    }
    EXPECT_THROW(take_value("abc", r), FatalStop);
    EXPECT_EQ(bad_value_message("abc", ":xcount abc  "), "Bad value 'abc' in line: :xcount abc");
}

TEST(KeywordValues, NextWord) {
    std::string w, rest;
    EXPECT_FALSE(next_word("   ", w, rest));
    EXPECT_TRUE(next_word("r2c  ASCII  EnSim 1.0", w, rest));
    EXPECT_EQ(w, "r2c");
    EXPECT_EQ(rest, "ASCII  EnSim 1.0");
}

}  // namespace
}  // namespace nimbex
