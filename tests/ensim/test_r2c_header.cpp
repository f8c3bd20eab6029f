#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>
#include <string>

#include "ensim/header.h"
#include "ensim/keyword_line.h"
#include "ensim/r2c_header.h"
#include "support/files.h"
#include "platform/console.h"
#include "platform/fatal.h"
#include "platform/files.h"

namespace nimbex {
namespace {

class R2cHeaderTest : public ::testing::Test {
protected:
    std::ostringstream out;
    std::istringstream in;
    Console con{out, in};
    ShedHeader h;
    FileTable files;

    void SetUp() override { init_shed_header(h); }

    // Writes `text` as a file and opens it on unit 31.
    FileUnit& file_of(const std::string& text) {
        const auto dir = testutil::scratch_dir("r2c");
        const auto p = dir / "grid.r2c";
        testutil::write_file(p, text);
        EXPECT_EQ(files.open(31, p.string(), OpenStatus::old_file), 0);
        return files[31];
    }
    void attributes(int n) {
        for (int k = 1; k <= n; ++k) {
            h.attributes.emplace_back();
            h.attributes.back().number = k;
            h.attributes.back().name = "a" + std::to_string(k);
        }
        h.attribute_count = n;
    }
    std::vector<float> values(int k) {
        const auto& v = h.attributes[static_cast<std::size_t>(k - 1)].values;
        return {v.begin(), v.end()};
    }
};

TEST_F(R2cHeaderTest, InitSetsDefaultsAndKeepsSourceFileName) {
    h.sourcefilename = "old.map";
    h.unitconversion = 25.4f;
    h.elevconversion = 3.0f;
    h.projection = "UTM";
    h.zone = 17;
    h.classcount = 5;
    h.surveydate = "x";
    init_shed_header(h);
    EXPECT_EQ(h.unitconversion, 1.0f);
    EXPECT_EQ(h.elevconversion, 1.0f);
    EXPECT_EQ(h.projection, "Cartesian");
    EXPECT_EQ(h.ellipsoid, "Unknown");
    EXPECT_EQ(h.zone, 0);
    EXPECT_EQ(h.classcount, 0);
    EXPECT_EQ(h.surveydate, "Unknown");
    EXPECT_EQ(h.sourcefilename, "old.map");
}

TEST_F(R2cHeaderTest, GridKeys) {
    EXPECT_EQ(handle_r2c_key(con, h, ":xcount", "20 extra words"), 1);
    EXPECT_EQ(h.xcount, 20);
    EXPECT_EQ(handle_r2c_key(con, h, ":xorigin", "350000.5"), 1);
    EXPECT_EQ(h.xorigin, 350000.5f);
    EXPECT_EQ(handle_r2c_key(con, h, ":ydelta", "1.0E3"), 1);
    EXPECT_EQ(h.ydelta, 1000.0f);
    EXPECT_EQ(handle_r2c_key(con, h, ":unitconversion", "25.4"), 1);
    EXPECT_EQ(h.unitconversion, 25.4f);
    // A text value stops at its first slash.
    EXPECT_EQ(handle_r2c_key(con, h, ":surveydate", "2003/01/01"), 1);
    EXPECT_EQ(h.surveydate, "2003");
    EXPECT_EQ(handle_r2c_key(con, h, ":projection", "LatLong"), 1);
    EXPECT_EQ(h.projection, "LatLong");
    EXPECT_TRUE(is_latlong(h.projection.str()));
    EXPECT_EQ(handle_r2c_key(con, h, ":filetype", "r2c ASCII EnSim 1.0"), 1);
    // Keys of other file kinds, and the watershed keys, are not grid keys.
    EXPECT_EQ(handle_r2c_key(con, h, ":deltat", "1"), 0);
    EXPECT_EQ(handle_r2c_key(con, h, ":classcount", "3"), 0);
    EXPECT_EQ(h.classcount, 0);
    // Empty values fail the line.
    EXPECT_EQ(handle_r2c_key(con, h, ":ycount", ""), -1);
    EXPECT_EQ(handle_r2c_key(con, h, ":surveytime", "   "), -1);
    EXPECT_THROW(handle_r2c_key(con, h, ":xcount", "twenty"), FatalStop);
    EXPECT_EQ(out.str(), "");
}

TEST_F(R2cHeaderTest, ShedKeysThenGridKeys) {
    EXPECT_EQ(handle_shed_key(con, h, ":classcount", "3"), 1);
    EXPECT_EQ(h.classcount, 3);
    EXPECT_EQ(handle_shed_key(con, h, ":nominalgridsize_al", "1000.0"), 1);
    EXPECT_EQ(h.nominalgridsize_al, 1000.0f);
    EXPECT_EQ(handle_shed_key(con, h, ":debuggridno", "7"), 1);
    EXPECT_EQ(handle_shed_key(con, h, ":sourcefilename", "demo.map"), 1);
    EXPECT_EQ(h.sourcefilename, "demo.map");
    EXPECT_EQ(handle_shed_key(con, h, ":xcount", "4"), 1);
    EXPECT_EQ(h.xcount, 4);
    EXPECT_EQ(handle_shed_key(con, h, ":numgridsinbasin", ""), -1);
    EXPECT_EQ(handle_shed_key(con, h, ":somethingelse", "1"), 0);
}

TEST_F(R2cHeaderTest, HeaderLoopWithGridHandler) {
    FileUnit& f = file_of(
        "#########\n"
        ":FileType r2c  ASCII  EnSim 1.0\n"
        ":Projection\tUTM\n"
        ":XCOUNT 3\n"
        ":yCount 2\n"
        ":DeltaT 1\n"
        ":AttributeName 1 Rank\n"
        ":EndHeader\n"
        "1 2 3\n");
    R2cHeader g;
    init_r2c_header(g);
    read_header(con, f, [&](std::string_view k, std::string_view v) { return handle_r2c_key(con, g, k, v); },
                "read_gsm_ef", "grid.r2c");
    EXPECT_EQ(g.xcount, 3);
    EXPECT_EQ(g.ycount, 2);
    EXPECT_EQ(g.projection, "UTM");
    EXPECT_EQ(g.unitconversion, 1.0f);
    ASSERT_EQ(g.attribute_count, 1);
    read_attribute_values(g, g.xcount, g.ycount, f);
    EXPECT_EQ(std::vector<float>(g.attributes[0].values.begin(), g.attributes[0].values.end()),
              (std::vector<float>{1, 2, 3, 0, 0, 0}));
    EXPECT_EQ(out.str(), "");
}

TEST_F(R2cHeaderTest, EachRowStartsOnANewLine) {
    // 3 x 2 and two attributes: 4 lines of 3 values.
    attributes(2);
    read_attribute_values(h, 3, 2, file_of("1 2 3\n4 5 6\n7 8 9\n10 11 12\n"));
    EXPECT_EQ(values(1), (std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(values(2), (std::vector<float>{7, 8, 9, 10, 11, 12}));

    // Six values on one line fill row 1 only; the rest of the line is skipped.
    h.attributes.clear();
    attributes(1);
    read_attribute_values(h, 3, 2, file_of("1 2 3 4 5 6\n7,8,9\n"));
    EXPECT_EQ(values(1), (std::vector<float>{1, 2, 3, 7, 8, 9}));
}

TEST_F(R2cHeaderTest, RowsContinueOverLines) {
    attributes(2);
    read_attribute_values(h, 4, 1, file_of("1 2\n\n3\n4 99\n5 6 7 8\n"));
    EXPECT_EQ(values(1), (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(values(2), (std::vector<float>{5, 6, 7, 8}));
}

TEST_F(R2cHeaderTest, ThreadsReadTheSameValues) {
    // Plain rows are read in parallel (a small grid's attributes all in one
    // pass when each grid is handed on as read); a row over two lines, a null
    // value, a word that is not a number and the end of the file turn the
    // read back to row by row, which must give what one thread gives.
    std::string text;
    for (int a = 1; a <= 3; ++a) {
        for (int r = 1; r <= (a == 3 ? 250 : 300); ++r) {
            const std::string v = std::to_string(a) + "." + std::to_string(r);
            if (a == 2 && r == 120) text += v + " 1\n2 3\n";
            else if (a == 2 && r == 150) text += v + " x 3 4\n";
            else if (a == 2 && r == 200) text += v + ",,3 4\n";
            else text += v + " 1 2 3 9\n";
        }
    }
    std::vector<std::vector<float>> by_threads[2], taken[2];
    for (int threads : {1, 2}) {
        h.attributes.clear();
        attributes(3);
        read_attribute_values(h, 4, 300, file_of(text), threads);
        files.close(31);
        for (int a = 1; a <= 3; ++a) by_threads[threads - 1].push_back(values(a));
        h.attributes.clear();
        attributes(3);
        read_attribute_values(h, 4, 300, file_of(text), threads, [&](int, const float* v) {
            taken[threads - 1].emplace_back(v, v + 1200);
            return true;
        });
        files.close(31);
    }
    EXPECT_EQ(by_threads[0], by_threads[1]);
    EXPECT_EQ(taken[0], by_threads[0]);
    EXPECT_EQ(taken[1], by_threads[0]);
    EXPECT_EQ(by_threads[1][0][299 * 4], 1.3f);      // the first grid, all plain
    EXPECT_EQ(by_threads[1][1][119 * 4 + 3], 3.0f);  // the row over two lines
    EXPECT_EQ(by_threads[1][1][149 * 4 + 1], 0.0f);  // cut at "x"
    EXPECT_EQ(by_threads[1][2][299 * 4], 0.0f);      // beyond the end of the file
}

TEST_F(R2cHeaderTest, UnreadableRowEndsQuietly) {
    // Row 1 meets a word that is not a number: it keeps what it read, and
    // row 2 starts on the next line. Row 3 meets the end of the file.
    attributes(1);
    read_attribute_values(h, 3, 3, file_of("1 x 3\n4 5 6\n"));
    EXPECT_EQ(values(1), (std::vector<float>{1, 0, 0, 4, 5, 6, 0, 0, 0}));
    EXPECT_EQ(out.str(), "");
}

TEST_F(R2cHeaderTest, FreeFormatSpellings) {
    // Commas, nulls, repeat counts, exponents with D or without a letter, a
    // leading plus, a slash that ends the row.
    attributes(1);
    read_attribute_values(h, 5, 4,
                          file_of("1.5D2, +2 ,2.5-1 1e-2 -.5\n"
                                  "1,,3 , 4 5\n"
                                  "3*7 2*\n"
                                  "8 9 / 10 11\n"));
    EXPECT_EQ(values(1), (std::vector<float>{150.0f, 2.0f, 0.25f, 0.01f, -0.5f,  //
                                              1, 0, 3, 4, 5,                     //
                                              7, 7, 7, 0, 0,                     //
                                              8, 9, 0, 0, 0}));
}

TEST_F(R2cHeaderTest, ZeroColumnsOnlyMoveToTheNextLine) {
    attributes(1);
    FileUnit& f = file_of("a\nb\nc\n");
    read_attribute_values(h, 0, 2, f);
    EXPECT_TRUE(values(1).empty());
    std::string rest;
    ASSERT_TRUE(f.get_line(rest));
    EXPECT_EQ(rest, "c");
}

TEST_F(R2cHeaderTest, NewReadReplacesOldValues) {
    attributes(1);
    h.attributes[0].values.assign(50, 9.0f);
    read_attribute_values(h, 2, 1, file_of("1\n"));
    EXPECT_EQ(values(1), (std::vector<float>{1, 0}));
}

}  // namespace
}  // namespace nimbex
