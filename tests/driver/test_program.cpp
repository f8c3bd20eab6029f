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

namespace fs = std::filesystem;

namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::vector<std::string> lines;
};

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<std::string> split_lines(const std::string& s) {
    std::vector<std::string> v;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
}

ProgramRun run_nimbex(const fs::path& dir, const std::string& args = "") {
    std::string cmd = "cd '" + dir.string() + "' && '" NIMBEX_BINARY "' " + args + " < /dev/null > console.txt 2>&1";
    int rc = std::system(cmd.c_str());
    ProgramRun r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = slurp(dir / "console.txt");
    r.lines = split_lines(r.out);
    return r;
}

// A fresh copy of the example basin.
fs::path example_dir(const std::string& tag) {
    fs::path d = fs::temp_directory_path() / ("nimbex_e2e_" + tag + "_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::copy(fs::path(NIMBEX_SOURCE_DIR) / "examples", d, fs::copy_options::recursive);
    return d;
}

void replace_in_file(const fs::path& p, const std::string& from, const std::string& to) {
    std::string s = slurp(p);
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
    fs::path d = example_dir("example");
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
    std::string met = slurp(d / "radcl/20230701_met.r2c");
    EXPECT_NE(met.find(":Frame"), std::string::npos);
    EXPECT_NE(met.find("#radius of influence  km"), std::string::npos);
    fs::remove_all(d);
}

TEST(Program, PowerArgumentGoesThroughTheScratchFile) {
    fs::path d = example_dir("power");
    ProgramRun r = run_nimbex(d, "3");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(slurp(d / "junk"), "3\n");
    EXPECT_NE(slurp(d / "nimbex_sum.r2c").find(":Weight used                       3"), std::string::npos);
    EXPECT_EQ(r.lines.at(0), "          1");
    EXPECT_EQ(r.lines.at(1), "3 ");
    fs::remove_all(d);
}

TEST(Program, MinusTwoEndsWithAnEmptyLineAndPowerTwo) {
    fs::path d = example_dir("minus2");
    ProgramRun r = run_nimbex(d, "-2");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.lines.at(2), "  ");
    ASSERT_GE(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[r.lines.size() - 2], " normal ending");
    EXPECT_EQ(r.lines.back(), "");
    EXPECT_NE(slurp(d / "nimbex_sum.r2c").find(":Weight used                       2"), std::string::npos);
    fs::remove_all(d);
}

TEST(Program, StopsExitNonZeroWithTheirMessage) {
    {
        fs::path d = example_dir("badkey");
        replace_in_file(d / "event/event.evt", ":snwflg", ":bogusflg");
        ProgramRun r = run_nimbex(d);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.lines.back(), "Program aborted in EF_module @ 2763");
        fs::remove_all(d);
    }
    {
        fs::path d = example_dir("oldpar");
        std::ofstream(d / "basin/nimbex.par") << "old\n";
        ProgramRun r = run_nimbex(d);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.lines.back(), "nimbex aborted @159");
        EXPECT_NE(r.out.find("found the file `basin\\nimbex.par`"), std::string::npos);
        fs::remove_all(d);
    }
    {
        fs::path d = example_dir("rag");
        replace_in_file(d / "event/event.evt", "20230701_rag.tb0", "20230701_rag.RAG");
        ProgramRun r = run_nimbex(d);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.lines.back(), "Nimbex aborted @ 429");
        fs::remove_all(d);
    }
    {
        fs::path d = fs::temp_directory_path() / ("nimbex_e2e_empty_" + std::to_string(::getpid()));
        fs::create_directories(d);
        ProgramRun r = run_nimbex(d);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.lines.back(), "Program aborted in read_evt @ 159");
        fs::remove_all(d);
    }
}

// The check the closing text asks users to make: with every gauge on a cell
// and no smoothing, each gauge cell's total equals the gauge's total.
TEST(Program, GaugeCellTotalsEqualGaugeTotals) {
    fs::path d = example_dir("gaugecells");
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
    std::vector<std::string> sum = split_lines(slurp(d / "nimbex_sum.r2c"));
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
