#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "support/files.h"
#include "platform/fatal.h"
#include "platform/fortran_format.h"
#include "readers/static_grid.h"

namespace nimbex {
namespace {

std::string grid_text(const std::string& xorigin, int attributes, const std::string& values) {
    std::string t =
        "########################################\n"
        ":FileType r2c  ASCII  EnSim 1.0\n"
        ":Projection UTM\n"
        ":xOrigin " + xorigin + "\n"
        ":YORIGIN 5000000.0\n"
        ":xCount 3\n"
        ":yCount 2\n"
        ":xDelta 1000.0\n"
        ":yDelta 1000.0\n";
    for (int k = 1; k <= attributes; ++k) t += ":AttributeName " + std::to_string(k) + " Elev\n";
    return t + ":EndHeader\n" + values;
}

class ReadGsmTest : public ::testing::Test {
protected:
    std::ostringstream out;
    std::istringstream in;
    Console con{out, in};
    RunState rs{con};
    std::filesystem::path dir;
    std::string name;
    std::vector<float> grid;
    int count = -1;

    void SetUp() override {
        dir = testutil::scratch_dir("gsm");
        name = (dir / "elv_max.r2c").string();
        rs.file_name(499) = name;
        rs.file_name(3) = "basin/demo.pdl";
        rs.grid.xorigin = 350000.0f;
        rs.grid.yorigin = 5000000.0f;
        rs.grid.xdelta = 1000.0f;
        rs.grid.ydelta = 1000.0f;
        rs.grid.xcount = 3;
        rs.grid.ycount = 2;
        rs.shed.classcount = 1;
    }
    void use(const std::string& text) { testutil::write_file(name, text); }
    std::string stop(char resumflg = 'n') {
        try {
            read_gsm_ef(rs, 499, 499, grid, count, resumflg);
        } catch (const FatalStop& e) {
            return e.message();
        }
        return "(no stop)";
    }
};

TEST_F(ReadGsmTest, ReadsEveryAttributeIntoItsLayer) {
    // Two attributes, one land-cover class: the second layer still has room.
    use(grid_text("350000.0", 2, "1 2 3\n4 5 6\n7 8 9\n10 11 12\n"));
    read_gsm_ef(rs, 499, 499, grid, count, 'n');
    EXPECT_EQ(count, 2);
    EXPECT_EQ(grid, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(out.str(), "Finished reading " + fit(name, 30) + "\n");
    EXPECT_FALSE(rs.files.is_open(499));
}

TEST_F(ReadGsmTest, QuietWithoutDebugLevelAndSizedByClassCount) {
    rs.iopt = 0;
    rs.shed.classcount = 3;
    grid.assign(100, 9.0f);  // the previous grid is replaced
    use(grid_text("350000.0", 1, ""));
    read_gsm_ef(rs, 499, 499, grid);
    EXPECT_EQ(grid, std::vector<float>(18, 0.0f));
    EXPECT_EQ(out.str(), "");
}

TEST_F(ReadGsmTest, OriginWithinToleranceAndMismatchReport) {
    // (Single-precision origins: the tolerance only tells apart small values.)
    rs.grid.xorigin = 100.0f;
    use(grid_text("100.0009", 1, "1 2 3\n4 5 6\n"));
    EXPECT_EQ(stop(), "(no stop)");

    out.str("");
    use(grid_text("100.002", 1, "1 2 3\n4 5 6\n"));
    rs.grid.ycount = 4;
    EXPECT_EQ(stop(), "Program aborted in read_gsm_ef @ 141");
    const std::string expected =
        "xorig_swe.ne.xorigin\n"
        "ycount_swe.ne.ycount\n"
        "\n"
        "Mismatch between " + fit(name, 40) + "\n"
        "     and the pdl file" + fit("basin/demo.pdl", 40) + "\n"
        "     or the SHD file\n"
        "Check files for origins, deltas and counts\n"
        "Could be due to # significant digits in header\n"
        "    in " + fit(name, 15) + "    shd file\n" +
        std::string(msg() << "xorigin " << 100.002f << 100.0f) + "\n" +
        std::string(msg() << "yorigin " << 5000000.0f << 5000000.0f) + "\n" +
        std::string(msg() << "xdelta  " << 1000.0f << 1000.0f) + "\n" +
        std::string(msg() << "ydelta  " << 1000.0f << 1000.0f) + "\n" +
        std::string(msg() << "xcount  " << 3 << 3) + "\n" +
        std::string(msg() << "ycount  " << 2 << 4) + "\n";
    EXPECT_EQ(out.str(), expected);
}

TEST_F(ReadGsmTest, MissingFile) {
    grid.assign(4, 7.0f);
    count = 5;
    EXPECT_EQ(stop('y'), "(no stop)");
    EXPECT_EQ(grid, std::vector<float>(4, 7.0f));
    EXPECT_EQ(count, 5);
    EXPECT_EQ(stop('n'), " Program STOPPED in read_gsm_ef @ 58");
    EXPECT_EQ(out.str(), "ERROR: the gridded soil moisture (GSM) file " + fit(name, 40) + "\nis NOT found\n");
}

TEST_F(ReadGsmTest, HeaderWithoutEnd) {
    use(":FileType r2c ASCII\n:xCount 3\n# comment\n");
    EXPECT_EQ(stop(), " Stopped in read_gsm_ef");
    EXPECT_EQ(out.str(), "ERROR: Premature EndOfFile encountered\n");
}

}  // namespace
}  // namespace nimbex
