#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

#include <cmath>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "driver/run_state.h"
#include "support/files.h"
#include "platform/fatal.h"
#include "platform/fortran_format.h"
#include "readers/pdl_header.h"
#include "readers/watershed_file.h"

namespace nimbex {
namespace {

using Attr = std::pair<std::string, std::string>;  // name, value lines

// A 3 x 2 UTM watershed: ranks 1 2 0 / 3 0 4, two land-cover classes.
std::vector<Attr> small_basin() {
    return {
        {"Rank", "1 2 0\n3 0 4\n"},
        {"Next", "2 0 0\n1 0 2\n"},
        {"DA", "12.5 30.0 0\n5.25 0 1.0\n"},
        {"Bankfull", "1.5 2.25 0\n0.5 0 0.75\n"},
        {"ChnlSlope", "0.04 0.01 0\n0.0 0 0.0025\n"},
        {"Elev", "250.4 300.6 999\n410 999 520\n"},
        {"ChnlLength", "1000 1414 0\n1000 0 500\n"},
        {"IAK", "1 2 0\n1 0 2\n"},
        {"IntSlope", "0.09 0.16 0\n0.25 0 0.01\n"},
        {"Chnl", "1 2 0\n1 0 1\n"},
        {"Reach", "0 1 0\n0 0 0\n"},
        {"GridArea", "1000000 500000 0\n250000 0 1000000\n"},
        {"FetchNE", "100 200 0\n300 0 400\n"},
        {"FetchN", "1.5 2.5 0\n3.5 0 4.5\n"},
        {"Forest", "0.5 1.0 0\n0.25 0 0\n"},
        {"Crops", "0.5 0 0\n0.25 0 0\n"},
    };
}

std::string shed_text(const std::vector<Attr>& attrs, const std::string& extra = "", int classes = 2,
                      int debug = 2, const std::string& geometry = "") {
    std::string t =
        "########################################\n"
        ":FileType r2c  ASCII  EnSim 1.0\n"
        "#\n"
        ":Projection         UTM\n"
        ":Ellipsoid          GRS80\n"
        ":Zone               17\n";
    t += geometry.empty() ? ":xOrigin 350000.0\n:yOrigin 5000000.0\n:xCount 3\n:yCount 2\n"
                            ":xDelta 1000.0\n:yDelta 1000.0\n"
                          : geometry;
    t += ":NominalGridSize_AL 1000.0\n:ClassCount " + std::to_string(classes) +
         "\n:TotalNumOfGrids 4\n:NumGridsInBasin 4\n:DebugGridNo " + std::to_string(debug) + "\n" + extra;
    for (std::size_t k = 0; k < attrs.size(); ++k)
        t += ":AttributeName " + std::to_string(k + 1) + " " + attrs[k].first + "\n";
    t += ":EndHeader\n";
    for (const auto& a : attrs) t += a.second;
    return t;
}

class ReadShedTest : public ::testing::Test {
protected:
    std::ostringstream out;
    std::istringstream in;
    Console con{out, in};
    RunState rs{con};
    std::filesystem::path dir;

    void SetUp() override {
        dir = testutil::scratch_dir("shed");
        ASSERT_EQ(rs.files.open(51, (dir / "info.txt").string(), OpenStatus::unknown), 0);
    }
    void use(const std::string& text, const std::string& file = "demo_shd.r2c") {
        testutil::write_file(dir / file, text);
        rs.file_name(1) = (dir / file).string();
    }
    std::vector<std::string> report() {
        rs.files[51].flush();
        return testutil::lines_of(testutil::read_file(dir / "info.txt"));
    }
    // The stop message of a read that must stop.
    std::string stop() {
        try {
            read_shed_ef(rs, 31, 1);
        } catch (const FatalStop& e) {
            return e.message();
        }
        return "(no stop)";
    }
};

TEST_F(ReadShedTest, FillsGridAndPerGridData) {
    use(shed_text(small_basin()));
    read_shed_ef(rs, 31, 1);
    const ShedState& sh = rs.shed;
    EXPECT_EQ(rs.grid.xcount, 3);
    EXPECT_EQ(rs.grid.ycount, 2);
    EXPECT_EQ(rs.grid.xorigin, 350000.0f);
    EXPECT_EQ(rs.grid.projection, "UTM");
    EXPECT_EQ(rs.grid.ellipsoid, "GRS80");
    EXPECT_EQ(rs.grid.zone, 17);
    EXPECT_FALSE(rs.grid.latlong);
    EXPECT_EQ(sh.west, 350);
    EXPECT_EQ(sh.east, 352);
    EXPECT_EQ(sh.south, 5000);
    EXPECT_EQ(sh.north, 5001);
    EXPECT_EQ(sh.x_cell, 1.0f);
    EXPECT_EQ(sh.pdl_west, 350);
    EXPECT_EQ(sh.pdl_south, 5000);
    EXPECT_EQ(sh.al_km, 1.0f);
    EXPECT_EQ(sh.al_whole_km, 1);
    EXPECT_EQ(sh.classcount, 2);
    EXPECT_EQ(sh.classcount_minus1, 1);

    EXPECT_EQ(sh.rank, (std::vector<std::int32_t>{1, 2, 0, 3, 0, 4}));
    EXPECT_EQ(sh.rank_at(2, 3), 4);
    EXPECT_EQ(sh.yyy, (std::vector<int>{0, 1, 1, 2, 2}));
    EXPECT_EQ(sh.xxx, (std::vector<int>{0, 1, 2, 1, 3}));
    EXPECT_EQ(sh.next, (std::vector<int>{0, 2, 0, 1, 2}));
    EXPECT_EQ(sh.elev[4], 520.0f);
    EXPECT_EQ(sh.da[3], 5.25f);
    EXPECT_FLOAT_EQ(sh.slope[1], 0.2f);  // square root of 0.04
    EXPECT_EQ(sh.slope[3], 0.0f);        // a slope of exactly 0 passes
    EXPECT_EQ(sh.intslope[2], 0.16f);
    EXPECT_FLOAT_EQ(sh.sqrt_intslope[2], 0.4f);
    EXPECT_EQ(sh.frac[2], 0.5f);
    EXPECT_EQ(sh.fetch[4 * 8 + 0], 400.0f);
    EXPECT_EQ(sh.fetch[4 * 8 + 7], 4.5f);
    EXPECT_EQ(sh.fetch[4 * 8 + 1], 0.0f);
    // Grid 3 summed to 0.5 and was scaled; grid 4 summed to 0 and stays.
    EXPECT_EQ(sh.aclass[3 * 2 + 0], 0.5f);
    EXPECT_EQ(sh.aclass[3 * 2 + 1], 0.5f);
    EXPECT_EQ(sh.aclass[4 * 2 + 0], 0.0f);
    EXPECT_EQ(sh.debug_row, 1);
    EXPECT_EQ(sh.debug_col, 2);
    EXPECT_EQ(sh.dominant_class, 1);
    EXPECT_FALSE(rs.files.is_open(31));
    EXPECT_EQ(out.str(), "");
}

TEST_F(ReadShedTest, InformationReport) {
    use(shed_text(small_basin()));
    read_shed_ef(rs, 31, 1);
    const std::vector<std::string> expected = {
        "Land Cover class fractions:",
        "class no=    1",
        "  0.50  1.00  0.00",
        "  0.25  0.00  0.00",
        "class no=    2",
        "  0.50  0.00  0.00",
        "  0.25  0.00  0.00",
        "",
        " Debug grid reset to grid number n,row col      2      1      2",
        " Warning: area correction in grid(n,i,j)    3    2    1  0.50000",
        " Warning: area correction in grid(n,i,j)    4    2    3  0.00000",
        " Warning: total area = 0.0 for grid(n,i,j)    4    2    3",
        " Warning: total area = 0.0 for grid(n,i,j)    4    2    3",
        "Grid properties:",
        "  basin file:",
        "    n    yy   xx          da      cap   slope   elv   ibn    sl2  ich next reach  frac   classes 1 -> "
        "classcount",
        "     1    1    1        12.5     1.50  0.0400   250.    1 0.0900    1    2    0   1.00   0.50 0.50",
        "     2    1    2        30.0     2.25  0.0100   301.    2 0.1600    2    0    1   0.50   1.00 0.00",
        "     3    2    1         5.2     0.50  0.0000   410.    1 0.2500    1    1    0   0.25   0.50 0.50",
        "     4    2    3         1.0     0.75  0.0025   520.    2 0.0100    1    2    0   1.00   0.00 0.00",
        (ListLine() << 1 << 1 << 1 << 100.0f << 0.0f << 0.0f << 0.0f << 0.0f << 0.0f << 0.0f << 1.5f).str(),
    };
    const auto lines = report();
    ASSERT_EQ(lines.size(), expected.size() + 3);
    for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(lines[k], expected[k]) << "line " << k + 1;
    EXPECT_EQ(lines.back(), std::string(ListLine() << 4 << 2 << 3 << 400.0f << 0.0f << 0.0f << 0.0f << 0.0f
                                                   << 0.0f << 0.0f << 4.5f));
}

TEST_F(ReadShedTest, ClassListingNeedsDebugLevel) {
    rs.iopt = 0;
    use(shed_text(small_basin()));
    read_shed_ef(rs, 31, 1);
    EXPECT_EQ(report().front(), "");
}

TEST_F(ReadShedTest, GeographicBounds) {
    use(shed_text(small_basin(), "", 2, 2,
                  ":Projection LatLong\n:xOrigin -80.0\n:yOrigin 49.0\n:xCount 3\n:yCount 2\n"
                  ":xDelta 0.5\n:yDelta 0.25\n"));
    read_shed_ef(rs, 31, 1);
    EXPECT_TRUE(rs.grid.latlong);
    EXPECT_EQ(rs.shed.west, -4800);
    EXPECT_EQ(rs.shed.east, -4710);
    EXPECT_EQ(rs.shed.south, 2940);
    EXPECT_EQ(rs.shed.north, 2970);
    EXPECT_EQ(rs.shed.x_cell, 30.0f);
    EXPECT_EQ(rs.shed.y_cell, 15.0f);
}

TEST_F(ReadShedTest, AttributeNamesAndClasses) {
    auto attrs = small_basin();
    attrs[5].first = "elevation";            // fills nothing
    attrs.insert(attrs.begin() + 3, {"ELEV", "1 2 0\n3 0 4\n"});
    attrs.insert(attrs.begin() + 4, {"elev", "5 6 0\n7 0 8\n"});  // later one wins
    attrs.back().first = "DA";               // a class, and also the "da" array
    // Rank after Next and DA: their values wait for the ranks, and the later
    // "DA" still wins.
    std::rotate(attrs.begin(), attrs.begin() + 1, attrs.begin() + 3);
    use(shed_text(attrs));
    read_shed_ef(rs, 31, 1);
    EXPECT_EQ(rs.shed.elev, (std::vector<float>{0, 5, 6, 7, 8}));
    EXPECT_EQ(rs.shed.next, (std::vector<int>{0, 2, 0, 1, 2}));
    EXPECT_EQ(rs.shed.da[1], 0.5f);
    EXPECT_EQ(rs.shed.aclass[1 * 2 + 1], 0.5f);
}

TEST_F(ReadShedTest, RankOutsideTheArraysIsPassedOver) {
    auto attrs = small_basin();
    attrs[0].second = "1 2 0\n3 -1 9\n";
    use(shed_text(attrs));
    read_shed_ef(rs, 31, 1);
    EXPECT_EQ(rs.shed.yyy[4], 0);
    EXPECT_EQ(rs.shed.elev[4], 0.0f);
}

TEST_F(ReadShedTest, MissingFile) {
    rs.file_name(1) = (dir / "none_shd.r2c").string();
    EXPECT_EQ(stop(), "Program aborted in read_shd_ef @ 1301");
    EXPECT_EQ(out.str(),
              "\nFatal error\nbasin\\******_shd.r2c file not found\n"
              "not found. Please check the event\\event.evt file\nfor correct keyword and/or file name\n\n");
}

TEST_F(ReadShedTest, OldFormatNameAndCapitalExtension) {
    use(shed_text(small_basin()), "demo_shd.map");
    EXPECT_EQ(stop(), "Program aborted in read_shd_ef @ 994");
    EXPECT_EQ(out.str(), "Old format shd files not accepted\nPlease create EF ????_shd.r2c files & rerun\n");
    use(shed_text(small_basin()), "DEMO_SHD.R2C");
    EXPECT_EQ(stop(), "(no stop)");
}

TEST_F(ReadShedTest, DebugGridMustBeInTheBasin) {
    use(shed_text(small_basin(), "", 2, 4));
    EXPECT_EQ(stop(), "(no stop)");
    EXPECT_EQ(rs.shed.debug_row, 2);
    EXPECT_EQ(rs.shed.debug_col, 3);
    out.str("");
    use(shed_text(small_basin(), "", 2, 5));
    EXPECT_EQ(stop(), "Program aborted in read_shd_ef @ 244");
    EXPECT_EQ(out.str(),
              "debug grid is outside the watershed\nThis can happen if:\n     You chose the wrong number or\n"
              "     You are using a subwatershed\nPlease edit the shd file so\nDebugGridNumber < NumGridsInBasin\n" +
                  std::string(msg() << 5 << 4) + "\n\n");
}

TEST_F(ReadShedTest, DominantClassOfTheDebugGrid) {
    auto attrs = small_basin();
    attrs[14].second = "0.3 1.0 0\n0.25 0 0\n";
    attrs[15].second = "0.7 0 0\n0.25 0 0\n";
    use(shed_text(attrs, "", 2, 1));
    read_shed_ef(rs, 31, 1);
    EXPECT_EQ(rs.shed.dominant_class, 2);
    use(shed_text(attrs, "", 2, 3));  // equal fractions: the first class wins
    read_shed_ef(rs, 31, 1);
    EXPECT_EQ(rs.shed.dominant_class, 1);
}

TEST_F(ReadShedTest, OldLayoutFracAttribute) {
    auto attrs = small_basin();
    attrs[2].first = "frac";
    use(shed_text(attrs));
    EXPECT_EQ(stop(), "Program aborted in read_shed_ef @ 447");
    EXPECT_EQ(out.str(),
              "\nError: old format shd file found\nPlease create a new bsnm_shd.r2c file using the\n"
              "current version of tesk.exe\n\n");
}

TEST_F(ReadShedTest, NegativeChannelSlope) {
    auto attrs = small_basin();
    attrs[4].second = "0.04 0.01 0\n-0.5 0 0.0025\n";
    use(shed_text(attrs));
    EXPECT_EQ(stop(), "Program aborted in read_shed_ef @ 756");
    const std::string name = (dir / "demo_shd.r2c").string();
    EXPECT_EQ(out.str(), std::string(msg() << "In read_shed_ef reading the file :" << name) + "\n" +
                             std::string(msg() << "The slope in grid no " << 3 << " is " << -0.5f) + "\n" +
                             std::string(msg() << "row" << 2 << " col" << 1) + "\n" +
                             "Please check the elevations in the map file \n"
                             "or change the slope value in the shd file\n"
                             "The former is recommended as the permanent solution\n\n");
}

TEST_F(ReadShedTest, HeaderErrorsNameTheReader) {
    use(shed_text(small_basin(), ":ClassCount\n"));
    EXPECT_EQ(stop(), " Stopped in read_shed_ef");
    use(":FileType r2c ASCII\n:xCount 3\n");
    EXPECT_EQ(stop(), " Stopped in read_shed_ef");
}

TEST_F(ReadShedTest, FewerAttributesThanClasses) {
    // Three classes named but only two attributes: the missing class stays 0
    // instead of reaching before the first attribute (the other two, summing
    // to 2, are then scaled to 1).
    use(shed_text({{"Rank", "1 2 0\n3 0 4\n"}, {"Forest", "1 1 0\n1 0 1\n"}}, "", 3));
    read_shed_ef(rs, 31, 1);
    EXPECT_EQ(rs.shed.aclass[1 * 3 + 0], 0.0f);
    EXPECT_EQ(rs.shed.aclass[1 * 3 + 1], 0.5f);
    EXPECT_EQ(rs.shed.aclass[1 * 3 + 2], 0.5f);
}

TEST_F(ReadShedTest, DemoBasinAndItsPdlAgree) {
    rs.file_name(1) = std::string(NIMBEX_SOURCE_DIR) + "/examples/basin/demo_shd.r2c";
    rs.file_name(3) = std::string(NIMBEX_SOURCE_DIR) + "/examples/basin/demo.pdl";
    read_shed_ef(rs, 31, 1);
    const ShedState& sh = rs.shed;
    EXPECT_EQ(rs.grid.xcount, 20);
    EXPECT_EQ(rs.grid.ycount, 15);
    EXPECT_EQ(sh.classcount, 3);
    EXPECT_EQ(sh.totalnumofgrids, sh.numgridsinbasin + 1);
    // Every grid number appears once, flows to a higher number, and the
    // class fractions needed no correction.
    std::vector<int> seen(static_cast<std::size_t>(sh.totalnumofgrids) + 1, 0);
    for (int r : sh.rank) ++seen[static_cast<std::size_t>(r)];
    for (int n = 1; n <= sh.totalnumofgrids; ++n) EXPECT_EQ(seen[static_cast<std::size_t>(n)], 1) << n;
    for (int n = 1; n <= sh.numgridsinbasin; ++n) {
        EXPECT_GT(sh.next[static_cast<std::size_t>(n)], n);
        EXPECT_GT(sh.slope[static_cast<std::size_t>(n)], 0.0f);
        EXPECT_GE(sh.elev[static_cast<std::size_t>(n)], 200.0f);
        EXPECT_LE(sh.elev[static_cast<std::size_t>(n)], 900.0f);
    }
    for (const auto& l : report()) EXPECT_EQ(l.find("Warning"), std::string::npos) << l;
    int nx = 0, ny = 0;
    inpgrd(rs, nx, ny, 2);
    EXPECT_EQ(nx, 20);
    EXPECT_EQ(ny, 15);
    EXPECT_EQ(rs.shed.west, 500);
    EXPECT_EQ(rs.shed.east, 519);
}

}  // namespace
}  // namespace nimbex
