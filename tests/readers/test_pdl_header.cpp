#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "support/files.h"
#include "platform/fatal.h"
#include "platform/fortran_format.h"
#include "readers/pdl_header.h"

namespace nimbex {
namespace {

std::string labelled(const std::string& projection, const std::string& zone_line, const std::string& xorigin,
                     const std::string& xcount) {
    return "#Point data locations file\n"
           "FileType            pdl\n"
           "Projection          " + projection + "\n"
           "Ellipsoid           GRS80\n" +
           zone_line +
           "#\n"
           "xOrigin             " + xorigin + "\n"
           "yOrigin             4800000.0\n"
           "#\n"
           "xCount              " + xcount + "\n"
           "yCount              8\n"
           "xDelta              1000.0\n"
           "yDelta              1000.0\n"
           "#\n";
}

class InpgrdTest : public ::testing::Test {
protected:
    std::ostringstream out;
    std::istringstream in;
    Console con{out, in};
    RunState rs{con};
    std::filesystem::path dir;
    std::string name;
    int nx = -1, ny = -1;

    void SetUp() override {
        dir = testutil::scratch_dir("pdl");
        ASSERT_EQ(rs.files.open(51, (dir / "info.txt").string(), OpenStatus::unknown), 0);
        name = (dir / "demo.pdl").string();
        rs.file_name(3) = name;
        // What the watershed reader left.
        rs.grid.projection = "UTM";
        rs.grid.zone = 17;
        rs.grid.xcount = 3;
        rs.shed.south = 1;
        rs.shed.west = 2;
        rs.shed.pdl_south = 11;
        rs.shed.pdl_west = 12;
        rs.shed.ix_cell = 7;
    }
    void use(const std::string& text) { testutil::write_file(name, text); }
    std::vector<std::string> report() {
        rs.files[51].flush();
        return testutil::lines_of(testutil::read_file(dir / "info.txt"));
    }
    std::string stop() {
        try {
            inpgrd(rs, nx, ny, 2);
        } catch (const FatalStop& e) {
            return e.message();
        }
        return "(no stop)";
    }
};

TEST_F(InpgrdTest, LabelledLayout) {
    use(labelled("UTM", "Zone                18\n", "500000.0", "10"));
    inpgrd(rs, nx, ny, 2);
    EXPECT_EQ(nx, 10);
    EXPECT_EQ(ny, 8);
    EXPECT_EQ(rs.grid.xcount, 10);
    EXPECT_EQ(rs.grid.ycount, 8);
    EXPECT_EQ(rs.grid.xorigin, 500000.0f);
    EXPECT_EQ(rs.grid.yorigin, 4800000.0f);
    EXPECT_EQ(rs.grid.xdelta, 1000.0f);
    EXPECT_EQ(rs.grid.ellipsoid, "GRS80");
    EXPECT_EQ(rs.grid.zone, 18);
    EXPECT_EQ(rs.shed.west, 500);
    EXPECT_EQ(rs.shed.east, 509);
    EXPECT_EQ(rs.shed.south, 4800);
    EXPECT_EQ(rs.shed.north, 4807);
    EXPECT_EQ(rs.shed.x_cell, 1.0f);
    // The integer bounds and whole cell sizes of the old layout stay.
    EXPECT_EQ(rs.shed.pdl_west, 12);
    EXPECT_EQ(rs.shed.ix_cell, 7);
    EXPECT_FALSE(rs.files.is_open(33));

    const std::vector<std::string> expected = {
        "Opened " + fit(name, 50),
        "First line pdl file =  #Point data location",
        " ",
        "Echo data from    " + fit(name, 40),
        " ",
        "FileType            pdl       ",
        "Projection          UTM       ",
        "Ellipsoid           GRS80     ",
        "Zone                          18",
        "#                   ",
        "xOrigin               500000.000",
        "yOrigin              4800000.000",
        "#                   ",
        "xCount                        10",
        "yCount                         8",
        "xDelta                  1000.000",
        "yDelta                  1000.000",
        "Finished reading header " + fit(name, 40),
        "#                   ",
        "iyr=    8 ixr=   10",
        "finished reading the pdl file header",
        "closed unit 33, file name:  " + fit(name, 30),
        "",
        std::string(47, '-'),
        "",
    };
    EXPECT_EQ(report(), expected);
    EXPECT_EQ(out.str(), "\nFirst line pdl file =  #Point data location\nNew format " + fit(name, 30) +
                             " pdl file found\nPlease look in ???_info.txt for error hints\n\n"
                             "finished reading the pdl file header\n\n" +
                             std::string(msg() << "ng=" << 2) + "\n\n");
}

TEST_F(InpgrdTest, LinesWithoutValueEchoTheirLabelOrFirst20Characters) {
    // The line before the origin echoes its first 20 characters as written;
    // the lines before the counts and after the cell sizes echo their label.
    std::string text = labelled("UTM", "Zone                18\n", "500000.0", "10");
    const std::size_t six = text.find("\n#\n", 0);
    text.replace(six, 3, "\n  # origin of the grid, lower left\n");
    const std::size_t nine = text.find("\n#\n", six + 3);
    text.replace(nine, 3, "\n  #counts  of cells\n");
    const std::size_t fourteen = text.find("\n#\n", nine + 3);
    text.replace(fourteen, 3, "\nEndHeader end of the header\n");
    use(text);
    inpgrd(rs, nx, ny, 2);
    EXPECT_EQ(nx, 10);
    const auto lines = report();
    ASSERT_GE(lines.size(), 18u);
    EXPECT_EQ(lines[9], "  # origin of the gr");
    EXPECT_EQ(lines[12], "#counts             ");
    EXPECT_EQ(lines[13], "xCount                        10");
    EXPECT_EQ(lines[17], "Finished reading header " + fit(name, 40));
    EXPECT_EQ(lines[18], "EndHeader           ");
}

TEST_F(InpgrdTest, LatLongHasNoZoneAndBoundsInMinutes) {
    use(labelled("LATLONG", "Zone\n", "-80.0", "10"));
    rs.file_name(3) = name;
    std::string text = testutil::read_file(name);
    text.replace(text.find("4800000.0"), 9, "49.0");
    text.replace(text.find("xDelta              1000.0"), 26, "xDelta              0.5");
    text.replace(text.find("yDelta              1000.0"), 26, "yDelta              0.25");
    use(text);
    inpgrd(rs, nx, ny, 2);
    EXPECT_EQ(rs.grid.zone, 0);
    EXPECT_EQ(rs.grid.projection, "LATLONG");
    EXPECT_EQ(rs.shed.west, -4800);
    EXPECT_EQ(rs.shed.east, -4500);
    EXPECT_EQ(rs.shed.south, 2940);
    EXPECT_EQ(rs.shed.north, 3060);
    EXPECT_EQ(report()[8], "Zone                ");
}

TEST_F(InpgrdTest, MixedCaseLatLongTakesTheProjectedBranch) {
    use(labelled("LatLong", "Zone\n", "-80.0", "10"));
    inpgrd(rs, nx, ny, 2);
    EXPECT_EQ(rs.grid.zone, 0);
    EXPECT_EQ(rs.shed.west, 0);  // -80 / 1000 cut toward zero
    EXPECT_EQ(rs.shed.east, 9);
}

TEST_F(InpgrdTest, UnreadableLabelledLine) {
    use(labelled("UTM", "Zone                18\n", "500000.0", "ten"));
    EXPECT_EQ(stop(), "Program aborted in inpgrd @ 1356");
    EXPECT_NE(out.str().find("Problems reading line 11 in file: " + name + "\n\n"), std::string::npos);
    use("#\nFileType pdl\nProjection UTM\n");
    EXPECT_EQ(stop(), "Program aborted in inpgrd @ 1356");
    EXPECT_NE(out.str().find("Problems reading line 6 in file: " + name + "\n\n"), std::string::npos);
}

TEST_F(InpgrdTest, MissingFile) {
    EXPECT_EQ(stop(), "program aborted in inpgrd @40");
    EXPECT_EQ(out.str(), std::string(msg() << " file " << fit(name, 40) << " not found   ios=" << 9) +
                             "\nIt looks like there was no bsnm.pdl file\n"
                             "If you have already run tesk.exe, you need to rename\n"
                             "new.pdl to bsnm.pdl (where bsnm = your basin nime)\n");
}

TEST_F(InpgrdTest, OldLayoutProjected) {
    use("   10 5000 5100  300  400    0    0    0    0    0    0    0    0  0.0  0.0\n");
    inpgrd(rs, nx, ny, 2);
    EXPECT_EQ(nx, 11);
    EXPECT_EQ(ny, 11);
    EXPECT_FALSE(rs.grid.latlong);
    EXPECT_EQ(rs.shed.pdl_south, 5000);
    EXPECT_EQ(rs.shed.pdl_north, 5100);
    EXPECT_EQ(rs.shed.x0(), 300);
    EXPECT_EQ(rs.shed.pdl_east, 400);
    EXPECT_EQ(rs.shed.x_cell, 10.0f);
    EXPECT_EQ(rs.shed.iy_cell, 10);
    // The grid description and the watershed bounds stay.
    EXPECT_EQ(rs.grid.xcount, 3);
    EXPECT_EQ(rs.shed.west, 2);
    const std::vector<std::string> expected = {
        "Opened " + fit(name, 50),
        "First line pdl file =     10 5000 5100  300",
        "Old format found",
        "",
        "   10 5000 5100  300  400    0    0    0    0    0    0    0    0  0.0  0.0",
        "   10 5000 5100  300  400",
        "iyr=   11 ixr=   11",
        "finished reading the pdl file header",
        "closed unit 33, file name:  " + fit(name, 30),
        "",
        std::string(47, '-'),
        "",
    };
    EXPECT_EQ(report(), expected);
    EXPECT_EQ(out.str(), "\nFirst line pdl file =     10 5000 5100  300\nNew format " + name +
                             " pdl file NOT found\nPlease look in ???_info.txt for error hints\n\nfln(3)= " + name +
                             "\n" + std::string(msg() << "iostat= " << 0) +
                             "\n\nfinished reading the pdl file header\n\n" + std::string(msg() << "ng=" << 2) +
                             "\n\n");
}

TEST_F(InpgrdTest, OldLayoutLatLong) {
    // Field 14 written without a point has one implied decimal.
    use("    0    0    0    0    0   49    0   50    0  -98    0  -97    0   60  6.0\n");
    inpgrd(rs, nx, ny, 2);
    EXPECT_TRUE(rs.grid.latlong);
    EXPECT_EQ(rs.shed.pdl_south, 2940);
    EXPECT_EQ(rs.shed.pdl_north, 3000);
    EXPECT_EQ(rs.shed.pdl_west, -5880);
    EXPECT_EQ(rs.shed.pdl_east, -5820);
    EXPECT_EQ(rs.shed.y_cell, 6.0f);
    EXPECT_EQ(rs.shed.x_cell, 6.0f);
    EXPECT_EQ(nx, 11);
    EXPECT_EQ(ny, 11);
    EXPECT_EQ(report()[5], "   49    0   50    0  -98    0  -97    0     6.0     6.0");
}

TEST_F(InpgrdTest, OldLayoutUnreadable) {
    use("   10 5000 x100  300  400\n");
    EXPECT_EQ(stop(), "Program aborted in inpgrd @ 235");
    EXPECT_NE(out.str().find(" Problem reading " + name + "\n The above line = values found\n"), std::string::npos);
    // A zero cell size cannot give a grid.
    use("    0    0    0    0    0   49    0   50    0  -98    0  -97    0  0.0  6.0\n");
    EXPECT_EQ(stop(), "Program aborted in inpgrd @ 235");
}

}  // namespace
}  // namespace nimbex
