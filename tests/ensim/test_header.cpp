#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "ensim/header.h"
#include "ensim/keyword_line.h"
#include "support/files.h"
#include "platform/console.h"
#include "platform/files.h"

namespace nimbex {
namespace {

class HeaderTest : public ::testing::Test {
protected:
    std::ostringstream out;
    std::istringstream in;
    Console con{out, in};
    EnSimHeader h;

    int common(std::string_view key, std::string_view value, std::string_view type = "r2c") {
        return handle_common_key(con, h, key, value, type);
    }
};

TEST_F(HeaderTest, InitResetsCommonFields) {
    h.attribute_count = 3;
    h.attributes.resize(3);
    h.data_format = 1;
    h.name = "x";
    h.projection = "UTM";
    init_header(h);
    EXPECT_EQ(h.attribute_count, 0);
    EXPECT_TRUE(h.attributes.empty());
    EXPECT_EQ(h.data_format, 0);
    EXPECT_EQ(h.name, "Unknown");
    EXPECT_EQ(h.file_type, "Unknown");
    EXPECT_EQ(h.projection, "UTM");  // left to the grid and table initialisers
}

TEST_F(HeaderTest, FileType) {
    EXPECT_EQ(common(":filetype", "r2c  Ascii  EnSim 1.0"), 1);
    EXPECT_EQ(h.file_type, "r2c");
    EXPECT_EQ(h.data_format, 0);
    EXPECT_EQ(common(":filetype", "tb0 BINARY", "tb0"), 1);
    EXPECT_EQ(h.data_format, 1);
    EXPECT_EQ(out.str(), "");

    EXPECT_EQ(common(":filetype", "R2C ASCII"), -1);
    EXPECT_EQ(out.str(), "ERROR in file: \nExpected: r2c Found: R2C\n");
    out.str("");
    EXPECT_EQ(common(":filetype", "r2c ASCII", "tb0"), -1);
    EXPECT_EQ(out.str(), "ERROR in file: \nExpected: TB0 Found: r2c\n");
    out.str("");
    EXPECT_EQ(common(":filetype", "r2c text"), -1);
    EXPECT_EQ(out.str(), " Stopped: invalid file format\n");
    out.str("");
    EXPECT_EQ(common(":filetype", "r2c"), -1);  // no format word: no message
    EXPECT_EQ(common(":filetype", ""), -1);
    EXPECT_EQ(out.str(), "");
}

TEST_F(HeaderTest, TextKeysTakeFirstWord) {
    EXPECT_EQ(common(":application", "EnSimHydrologic extra"), 1);
    EXPECT_EQ(h.application, "EnSimHydrologic");
    EXPECT_EQ(common(":name", "\"Two Words\""), 1);
    EXPECT_EQ(h.name, "Two");  // a quoted name keeps only its first word
    EXPECT_EQ(common(":writtenby", "someone"), 1);
    EXPECT_EQ(common(":creationdate", "2004-03-01"), 1);
    EXPECT_EQ(h.creation_date, "2004-03-01");
    EXPECT_EQ(common(":datatype", "2D"), 1);
    EXPECT_EQ(common(":version", "1.0.0"), 1);
    EXPECT_EQ(common(":projection", "LatLong"), 1);
    EXPECT_EQ(h.projection, "LatLong");
    EXPECT_EQ(common(":ellipsoid", "GRS80"), 1);
    EXPECT_EQ(common(":zone", "17"), 1);
    EXPECT_EQ(h.zone, 17);
    EXPECT_EQ(common(":xcount", "12"), 0);
    EXPECT_EQ(common(":version", ""), -1);
    EXPECT_THROW(common(":zone", "seventeen"), BadValue);
    // A quoted empty word is an empty value.
    for (const char* key : {":projection", ":name", ":ellipsoid", ":application"})
        EXPECT_EQ(common(key, "\"\""), -1) << key;
    EXPECT_EQ(common(":attributename", "99 \"\""), -1);
}

TEST_F(HeaderTest, AttributeName) {
    EXPECT_EQ(common(":attributename", "1 Rank"), 1);
    EXPECT_EQ(common(":attributename", "7 Next"), 1);
    ASSERT_EQ(h.attribute_count, 2);
    ASSERT_EQ(h.attributes.size(), 2u);
    EXPECT_EQ(h.attributes[0].name, "Rank");
    EXPECT_EQ(h.attributes[0].number, 1);
    EXPECT_EQ(h.attributes[1].number, 7);

    EXPECT_EQ(common(":attributename", "Rank"), -1);
    EXPECT_EQ(out.str(), "Read 'Rank' but expected a number\n");
    EXPECT_EQ(h.attribute_count, 2);

    EXPECT_EQ(common(":attributename", "3"), -1);  // number without name
    EXPECT_EQ(h.attribute_count, 3);
}

TEST_F(HeaderTest, AttributeListIsLimited) {
    for (int i = 1; i <= max_attributes; ++i) ASSERT_EQ(common(":attributename", std::to_string(i) + " a"), 1);
    EXPECT_EQ(common(":attributename", "1001 extra"), -1);
    EXPECT_EQ(h.attribute_count, max_attributes);
    EXPECT_EQ(h.attributes.size(), static_cast<std::size_t>(max_attributes));
}

class ReadHeaderTest : public HeaderTest {
protected:
    FileTable files;
    std::vector<std::string> seen;

    // Runs the loop on `text`; returns the line that follows the header.
    std::string run(const std::string& text, std::size_t line_size = 4096) {
        auto dir = testutil::scratch_dir("hdr");
        auto path = (dir / "test.r2c").string();
        testutil::write_file(path, text);
        EXPECT_EQ(files.open(31, path, OpenStatus::old_file), 0);
        KeyHandler handler = [this](std::string_view key, std::string_view value) -> KeyOutcome {
            seen.push_back(std::string(key) + "|" + std::string(value));
            if (key == ":xcount") {
                int n = 0;
                std::string w, r;
                if (!next_word(value, w, r)) return key_bad_value;
                take_value(w, n);
                return key_stored;
            }
            return handle_common_key(con, h, key, value, "r2c");
        };
        read_header(con, files[31], handler, "read_shed_ef", "basin/bsnm_shd.r2c", line_size);
        std::string next;
        if (!files[31].get_line(next)) next = "<eof>";
        return next;
    }
};

TEST_F(ReadHeaderTest, LoopRules) {
    std::string next = run("#comment\n\n  \t:FileType r2c ASCII EnSim 1.0\n:XCOUNT\t12\n:Unknownkey 3\n"
                           "#\n:EndHeader\n1 2 3\n");
    EXPECT_EQ(next, "1 2 3");
    EXPECT_EQ(seen, (std::vector<std::string>{":filetype|r2c ASCII EnSim 1.0", ":xcount|12", ":unknownkey|3"}));
    EXPECT_EQ(out.str(), "");
}

TEST_F(ReadHeaderTest, DataLineEndsLoopAndIsConsumed) {
    EXPECT_EQ(run(":xcount 3\n1 2 3\n4 5 6\n"), "4 5 6");
}

TEST_F(ReadHeaderTest, PrematureEnd) {
    try {
        run("#c\n:xcount 3\n\n");
        FAIL() << "no stop";
    } catch (const FatalStop& e) {
        EXPECT_STREQ(e.what(), " Stopped in read_shed_ef");
    }
    EXPECT_EQ(out.str(), "ERROR: Premature EndOfFile encountered\n");
}

TEST_F(ReadHeaderTest, ParseError) {
    try {
        run("\t:xcount\n:EndHeader\n");
        FAIL() << "no stop";
    } catch (const FatalStop& e) {
        EXPECT_STREQ(e.what(), " Stopped in read_shed_ef");
    }
    EXPECT_EQ(out.str(), "ERROR parsing basin/bsnm_shd.r2c\n   in line: :xcount\n");
}

TEST_F(ReadHeaderTest, BadNumberNamesWordAndLine) {
    try {
        run(":xcount  twelve\n:EndHeader\n");
        FAIL() << "no stop";
    } catch (const FatalStop& e) {
        EXPECT_STREQ(e.what(), "Bad value 'twelve' in line: :xcount  twelve");
    }
}

TEST_F(ReadHeaderTest, LongLineIsCut) {
    // The cut removes the value, which makes the key line a parse error.
    std::string line = ":xcount" + std::string(10, ' ') + "12";
    EXPECT_THROW(run(line + "\n:EndHeader\n", 12), FatalStop);
    EXPECT_EQ(run(line + "\n:EndHeader\nx\n", 20), "x");
}

}  // namespace
}  // namespace nimbex
