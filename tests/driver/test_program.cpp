// The whole program run as a user runs it: build/nimbex in a working
// directory made from the example basin, console and files checked.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"

namespace fs = std::filesystem;
using nimbex::testutil::lines_of;
using nimbex::testutil::example_copy;
using nimbex::testutil::read_file;
using nimbex::testutil::scratch_dir;

namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::vector<std::string> lines;
};

ProgramRun run_nimbex(const fs::path& dir, const std::string& args = "") {
    std::string cmd = "cd '" + dir.string() + "' && '" NIMBEX_BINARY "' " + args + " < /dev/null > console.txt 2>&1";
    int rc = std::system(cmd.c_str());
    ProgramRun r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = read_file(dir / "console.txt");
    r.lines = lines_of(r.out);
    return r;
}

void replace_in_file(const fs::path& p, const std::string& from, const std::string& to) {
    std::string s = read_file(p);
    auto pos = s.find(from);
    ASSERT_NE(pos, std::string::npos) << from;
    s.replace(pos, from.size(), to);
    std::ofstream(p, std::ios::binary) << s;
}

int count_of(const std::string& s, const std::string& what) {
    int n = 0;
    for (auto p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
    return n;
}

}  // namespace

TEST(Program, ExampleBasinRunsEndToEnd) {
    fs::path d = example_copy("e2e_example");
    ProgramRun r = run_nimbex(d);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.lines.at(3), " RAIN GAUGE RAINFALL DISTRIBUTION APPLICATION");
    EXPECT_EQ(count_of(r.out, "******NIMBEX******"), 3);
    EXPECT_NE(r.out.find("event #"), std::string::npos);
    EXPECT_EQ(r.lines.back(), " normal ending");
    for (const char* f : {"radcl/20230701_met.r2c", "radcl/20230801_met.r2c", "radcl/20230901_met.r2c",
                          "nimbex_sum.r2c", "nimbex_info.txt", "nimbex_cumm.txt", "nimbex_recl.txt",
                          "nimbex_flag.txt", "nimbex_yrly.txt", "precip_sta.xyz"})
        EXPECT_TRUE(fs::exists(d / f)) << f;
    std::string met = read_file(d / "radcl/20230701_met.r2c");
    EXPECT_NE(met.find(":Frame"), std::string::npos);
    EXPECT_NE(met.find("#radius of influence  km"), std::string::npos);
    fs::remove_all(d);
}

// A forecast table's reach is in cells: with 2 km cells, 10 cells of radius
// and 1 of smoothing, kept for the later events.
TEST(Program, ForecastTableReachIsInCellsForTheRestOfTheRun) {
    fs::path d = example_copy("forecast");
    replace_in_file(d / "basin/demo_shd.r2c", ":NominalGridSize_AL    1000.000", ":NominalGridSize_AL    2000.000");
    replace_in_file(d / "raing/20230701_rag.tb0", "ExampleGauges", "CMC_glb_demo ");
    ProgramRun r = run_nimbex(d);
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* f : {"radcl/20230701_met.r2c", "radcl/20230901_met.r2c"}) {
        const std::string met = read_file(d / f);
        EXPECT_NE(met.find("#radius of influence  km                      20.0000000"), std::string::npos) << f;
        EXPECT_NE(met.find("#smoothing distance   km                       2.0000000"), std::string::npos) << f;
    }
    fs::remove_all(d);
}

TEST(Program, PowerArgumentGoesThroughTheScratchFile) {
    fs::path d = example_copy("e2e_power");
    ProgramRun r = run_nimbex(d, "3");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read_file(d / "junk"), "3\n");
    EXPECT_NE(read_file(d / "nimbex_sum.r2c").find(":Weight used                       3"), std::string::npos);
    EXPECT_EQ(r.lines.at(0), "          1");
    EXPECT_EQ(r.lines.at(1), "3 ");
    fs::remove_all(d);
}

TEST(Program, MinusTwoEndsWithAnEmptyLineAndPowerTwo) {
    fs::path d = example_copy("e2e_minus2");
    ProgramRun r = run_nimbex(d, "-2");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.lines.at(2), "  ");
    ASSERT_GE(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[r.lines.size() - 2], " normal ending");
    EXPECT_EQ(r.lines.back(), "");
    EXPECT_NE(read_file(d / "nimbex_sum.r2c").find(":Weight used                       2"), std::string::npos);
    fs::remove_all(d);
}

TEST(Program, ArgumentIsKeptAsTwoCharacters) {
    // "-25" is kept as "-2": blanked for the power (length 3), but the run
    // still ends the "-2" way.
    fs::path d = example_copy("e2e_minus25");
    ProgramRun r = run_nimbex(d, "-25");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.lines.at(0), "          3");
    EXPECT_EQ(r.lines.at(1), "-2");
    EXPECT_EQ(r.lines.at(2), "  ");
    ASSERT_GE(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[r.lines.size() - 2], " normal ending");
    EXPECT_EQ(r.lines.back(), "");
    fs::remove_all(d);
}

TEST(Program, StopsExitNonZeroWithTheirMessage) {
    {
        fs::path d = example_copy("e2e_badkey");
        replace_in_file(d / "event/event.evt", ":snwflg", ":bogusflg");
        ProgramRun r = run_nimbex(d);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.lines.back(), "Program aborted in EF_module @ 2763");
        fs::remove_all(d);
    }
    {
        fs::path d = example_copy("e2e_oldpar");
        std::ofstream(d / "basin/nimbex.par") << "old\n";
        ProgramRun r = run_nimbex(d);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.lines.back(), "nimbex aborted @159");
        EXPECT_NE(r.out.find("found the file `basin\\nimbex.par`"), std::string::npos);
        fs::remove_all(d);
    }
    {
        fs::path d = example_copy("e2e_rag");
        replace_in_file(d / "event/event.evt", "20230701_rag.tb0", "20230701_rag.RAG");
        ProgramRun r = run_nimbex(d);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.lines.back(), "Nimbex aborted @ 429");
        fs::remove_all(d);
    }
    {
        fs::path d = scratch_dir("e2e_empty");
        ProgramRun r = run_nimbex(d);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.lines.back(), "Program aborted in read_evt @ 159");
        fs::remove_all(d);
    }
}

// The check the closing text asks users to make: with every gauge on a cell
// and no smoothing, each gauge cell's total equals the gauge's total.
TEST(Program, GaugeCellTotalsEqualGaugeTotals) {
    fs::path d = example_copy("e2e_gaugecells");
    // A parameter file that is not read: lapse 0, default radius, smoothing 0.
    replace_in_file(d / "event/event.evt", "basin\\demo_par.csv", "basin\\demo_par.txt");
    replace_in_file(d / "event/event.evt", ":noeventstofollow     2", ":noeventstofollow     0");
    // Three gauges on cells (row 3, col 4), (row 10, col 15), (row 14, col 2):
    // cell (i, j) lies at xorigin + j*xdelta, yorigin + i*ydelta.
    const int rows[3] = {3, 10, 14}, cols[3] = {4, 15, 2};
    std::ostringstream tb0;
    tb0 << ":FileType tb0  ASCII  EnSim 1.0\n:DeltaT 1\n:UnitConversion 1.0\n:ColumnMetaData\n"
        << ":ColumnUnits mm mm mm\n:ColumnName G1 G2 G3\n:ColumnLocationX";
    for (int c : cols) tb0 << " " << 500000 + c * 1000;
    tb0 << "\n:ColumnLocationY";
    for (int r : rows) tb0 << " " << 4800000 + r * 1000;
    tb0 << "\n:Elevation 300 400 500\n:EndColumnMetaData\n:EndHeader\n";
    double totals[3] = {0, 0, 0};
    for (int h = 1; h <= 48; ++h) {
        for (int k = 0; k < 3; ++k) {
            int v = (h % (5 + k) == 0) ? (k + 1) * 3 + h % 4 : 0;  // showers at each gauge
            if (k == 1 && h >= 20 && h <= 24) v = -1;               // a gap in gauge 2 (not on its rain hours)
            if (v > 0) totals[k] += v;
            tb0 << " " << v << ".0";
        }
        tb0 << "\n";
    }
    std::ofstream(d / "raing/20230701_rag.tb0") << tb0.str();
    ProgramRun r = run_nimbex(d);
    ASSERT_EQ(r.status, 0) << r.out;
    // nimbex_sum.r2c: rows from row 1 (south), values in F10.0 preceded by a blank.
    std::vector<std::string> sum = lines_of(read_file(d / "nimbex_sum.r2c"));
    auto end = std::find_if(sum.begin(), sum.end(), [](const std::string& l) { return l.rfind(":endHeader", 0) == 0; });
    ASSERT_NE(end, sum.end());
    std::vector<std::string> grid(end + 1, sum.end());
    ASSERT_GE(grid.size(), 15u);
    for (int k = 0; k < 3; ++k) {
        if (k == 1) continue;  // gauge 2 has a gap: its total is not the cell's
        const std::string& row = grid[static_cast<std::size_t>(rows[k] - 1)];
        std::string field = row.substr(static_cast<std::size_t>(cols[k] - 1) * 11, 11);
        EXPECT_DOUBLE_EQ(std::stod(field), totals[k]) << "gauge " << k + 1 << " row '" << row << "'";
    }
    fs::remove_all(d);
}

namespace {

// True when `block` stands in `lines` as consecutive lines.
bool has_block(const std::vector<std::string>& lines, const std::vector<std::string>& block) {
    return std::search(lines.begin(), lines.end(), block.begin(), block.end()) != lines.end();
}

std::string padded(const std::string& s, std::size_t n) { return s + std::string(n - s.size(), ' '); }

}  // namespace

// The console lines of the event processing, on a two-event run whose first
// event has two gauges (one at elevation 0, one hour above 100 mm) and an
// event file conversion factor that differs from the gauge file's.
TEST(Program, EventProcessingConsoleLines) {
    fs::path d = example_copy("e2e_eventlines");
    replace_in_file(d / "event/event.evt", ":noeventstofollow     2", ":noeventstofollow     1");
    replace_in_file(d / "event/event.evt", ":rainconvfactor       1.0", ":rainconvfactor       2.5");
    std::ostringstream tb0;
    tb0 << ":FileType tb0  ASCII  EnSim 1.0\n:DeltaT 1\n:UnitConversion 1.0\n:ColumnMetaData\n"
        << ":ColumnUnits mm mm\n:ColumnName G1 G2\n:ColumnLocationX 504000 515000\n"
        << ":ColumnLocationY 4803000 4810000\n:Elevation 0 400\n:EndColumnMetaData\n:EndHeader\n";
    for (int h = 1; h <= 24; ++h) tb0 << (h == 5 ? " 150.0" : " 1.0") << (h % 3 == 0 ? " 2.0" : " 0.0") << "\n";
    std::ofstream(d / "raing/20230701_rag.tb0") << tb0.str();
    ProgramRun r = run_nimbex(d);
    ASSERT_EQ(r.status, 0) << r.out;
    const auto& l = r.lines;
    EXPECT_TRUE(has_block(l, {"******NIMBEX******", "event #           1  of           2",
                              "Using input file   " + padded("raing\\20230701_rag.tb0", 40),
                              "Creating           " + padded("radcl\\20230701_met.r2c", 40), "",
                              "Gone to read " + padded("basin\\demo_shd.r2c", 40) + " with read_shed_ef"}));
    EXPECT_TRUE(has_block(l, {"Finished reading" + padded("basin\\demo_shd.r2c", 40), "",
                              "reading  " + padded("basin\\demo_par.csv", 50)}));
    EXPECT_TRUE(has_block(l, {"ni=           2", "Echo input parameters:",
                              "precip lapse rate /m =   5.00000024E-04", "radinfl=   25.0000000      km",
                              "smoothdist =   0.00000000      km", "", "Converted to cell numbers used in program:",
                              "radinfl=   25.0000000      cells", "smoothdist =   0.00000000      cells"}));
    EXPECT_TRUE(has_block(l, {"", "filetype=tb0"}));
    EXPECT_TRUE(has_block(l, {"WARNING:", "One or more station elevations <= 0.0 were found",
                              "while the rlapse .ne. 0.0", "OK if no data for the station(s)",
                              std::string(32, '-')}));
    EXPECT_TRUE(has_block(l, {"allocations for", "          2  stations", "         24  no of hours of data",
                              "         15  rows", "         20  columns"}));
    EXPECT_TRUE(has_block(l, {" WARNING: event and rain file values of conv     do not match. From event  2.50"
                              " from raing  1.00     The value from the .RAG file is used",
                              "", " In nimbex @ line ~141. Hit enter to continue",
                              " file length =   24hours    # gauges =    2", " ", "days in year 1 =         365"}));
    EXPECT_TRUE(has_block(l, {"", "Closed Unit 40  file name " + padded("radcl\\20230701_met.r2c", 40), "WARNING:",
                              "Spurious precip values removed for", "hourly precip > 100 mm", std::string(35, '!'),
                              "", "", "******NIMBEX******", "event #           2  of           2"}));
    // The second event has more gauges than the first.
    EXPECT_TRUE(has_block(l, {"reallocations for", "         12  stations", "        744  no of hours of data"}));
    EXPECT_EQ(count_of(r.out, "allocations for"), 2);  // once each: allocations, reallocations
    fs::remove_all(d);
}

TEST(Program, EventProcessingStops) {
    {
        // The watershed name test ignores case; any other ending stops.
        fs::path d = example_copy("e2e_shdname");
        replace_in_file(d / "event/event.evt", "basin\\demo_shd.r2c", "basin\\demo_shd.R2C");
        fs::rename(d / "basin/demo_shd.r2c", d / "basin/demo_shd.R2C");
        EXPECT_EQ(run_nimbex(d).status, 0);
        replace_in_file(d / "event/event.evt", "basin\\demo_shd.R2C", "basin\\demo_shd.map");
        ProgramRun r = run_nimbex(d);
        EXPECT_NE(r.status, 0);
        EXPECT_TRUE(has_block(r.lines, {"", " r2c format now required for this program",
                                        " please use the  \"xxxx_shd.r2c\" file", " created by tesk.exe", "",
                                        "Program aborted in nimbex @ 664"}))
            << r.out;
        fs::remove_all(d);
    }
    {
        // Disaggregation asked for, with no threshold in the event file nor the parameter file.
        fs::path d = example_copy("e2e_a12");
        replace_in_file(d / "event/event.evt", ":smrflg               n", ":smrflg               a");
        replace_in_file(d / "basin/demo_par.csv", ":a12,1.0,", ":a12,0.0,");
        ProgramRun r = run_nimbex(d);
        EXPECT_NE(r.status, 0);
        EXPECT_TRUE(has_block(r.lines, {"ERROR:", "disaggregation flag smrflg = `y`", "but a12 in the par file = 0.0",
                                        "Please set the a12 value of set smrflg = `n`", "",
                                        "NIMBEX aborted at 408"}))
            << r.out;
        fs::remove_all(d);
    }
}

// Job runners: with NIMBEX_BATCH=1 a pause does not wait even though standard
// input stays open (a FIFO the run itself holds open for writing, so a read
// would block for ever); a stop message reaches standard error as well,
// standard output keeping the console as it was.
TEST(Program, BatchRunsPassPausesAndStopsReachStandardError) {
    fs::path d = example_copy("e2e_batch");
    replace_in_file(d / "event/20230801.evt", ":resumflg             n", ":resumflg             y");
    const std::string cmd = "cd '" + d.string() + "' && mkfifo in.fifo && NIMBEX_BATCH=1 timeout 60 '" NIMBEX_BINARY
                            "' 0<>in.fifo > console.txt 2> err.txt";
    int rc = std::system(cmd.c_str());
    EXPECT_EQ(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, 0);
    const std::string out = read_file(d / "console.txt");
    EXPECT_NE(out.find("Hit enter to continue & accept consequences"), std::string::npos) << out;
    EXPECT_EQ(lines_of(out).back(), " normal ending");
    EXPECT_EQ(read_file(d / "err.txt"), "");

    fs::remove(d / "event/event.evt");
    rc = std::system(("cd '" + d.string() + "' && '" NIMBEX_BINARY "' < /dev/null > console.txt 2> err.txt").c_str());
    EXPECT_EQ(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, 1);
    EXPECT_EQ(lines_of(read_file(d / "console.txt")).back(), "Program aborted in read_evt @ 159");
    EXPECT_EQ(read_file(d / "err.txt"), "Program aborted in read_evt @ 159\n");
    fs::remove_all(d);
}
