// nimbex-prep: the README's walkthrough run as written, each command's
// refusals, and check on a working directory with planted problems.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "readers/parameter_file.h"
#include "tools/nimbex-prep/prep.h"
#include "tools/r2ctool/r2c_file.h"
#include "support/files.h"

namespace fs = std::filesystem;
using nimbex::testutil::read_file;

namespace {

const fs::path source_dir = NIMBEX_SOURCE_DIR;

void spit(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    nimbex::testutil::write_file(p, text);
}

// A working folder with room beside it for the command logs.
fs::path scratch(const std::string& tag) {
    fs::path d = nimbex::testutil::scratch_dir("prep_" + tag) / tag;
    fs::create_directories(d);
    return d;
}

struct Result {
    int status = -1;
    std::string out;  // standard output and error together
};

// Runs a shell command line in `dir`; nimbex-prep is reached as $PREP.
Result run(const fs::path& dir, const std::string& line) {
    const fs::path log = dir.parent_path() / (dir.filename().string() + ".log");
    const std::string cmd = "cd '" + dir.string() + "' && PREP='" + std::string(NIMBEX_PREP_BINARY) + "' && " + line +
                            " > '" + log.string() + "' 2>&1 < /dev/null";
    Result r;
    const int st = std::system(cmd.c_str());
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = read_file(log);
    return r;
}

// Removes a scratch folder and the log beside it.
void cleanup(const fs::path& dir) {
    fs::remove_all(dir);
    fs::remove(dir.parent_path() / (dir.filename().string() + ".log"));
}

// The files under `dir`, to see that a command wrote nothing.
std::set<std::string> listing(const fs::path& dir) {
    std::set<std::string> s;
    for (const auto& e : fs::recursive_directory_iterator(dir)) s.insert(fs::relative(e.path(), dir).string());
    return s;
}

// The working directory of the walkthrough, without the program's run.
fs::path prepared_basin(const std::string& tag) {
    const fs::path d = scratch(tag);
    fs::copy(source_dir / "examples/from_csv", d, fs::copy_options::recursive);
    const Result r = run(d,
                         "$PREP watershed --dem dem.asc --mask mask.asc --zone 17 --ellipsoid GRS80 --out basin/b_shd.r2c && "
                         "$PREP template --shd basin/b_shd.r2c --par basin/b_par.csv --pdl basin/b.pdl && "
                         "$PREP gauges --stations stations.csv --values hourly.csv --out raing && "
                         "$PREP events --gauges raing --shd basin/b_shd.r2c --par basin/b_par.csv --pdl basin/b.pdl --out event && "
                         "$PREP elevation --dem dem.asc --shd basin/b_shd.r2c --out basin/elv_max.r2c");
    EXPECT_EQ(r.status, 0) << r.out;
    return d;
}

}  // namespace

// The walkthrough block of the README, run line by line as written from a
// tree laid out like the source folder after the build; the gauge on a grid
// point then reproduces its total in its cell.
TEST(NimbexPrep, ReadmeWalkthroughReproducesTheGaugeOnAGridPoint) {
    const std::string readme = read_file(source_dir / "README.md");
    const auto at = readme.find("## Your own basin");
    ASSERT_NE(at, std::string::npos);
    std::istringstream in(readme.substr(at));
    std::string script, line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (line.rfind("    ", 0) == 0) {
            script += line.substr(4) + "\n";
            inside = true;
        } else if (inside) {
            break;
        }
    }
    ASSERT_NE(script.find("nimbex-prep watershed"), std::string::npos);
    const fs::path root = scratch("walk");
    fs::create_directories(root / "examples");
    fs::copy(source_dir / "examples/from_csv", root / "examples/from_csv", fs::copy_options::recursive);
    fs::create_directories(root / "build");
    fs::create_symlink(NIMBEX_PREP_BINARY, root / "build/nimbex-prep");
    fs::create_symlink(NIMBEX_BINARY, root / "build/nimbex");
    spit(root / "walk.sh", script);
    const Result r = run(root, "sh -e walk.sh");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("check: no problems found"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" normal ending"), std::string::npos);

    // Gauge G3 stands on the grid point of row 4, column 5.
    std::istringstream csv(read_file(root / "build/mybasin/hourly.csv"));
    std::getline(csv, line);
    double gauge_total = 0.0;
    while (std::getline(csv, line)) {
        std::vector<std::string> f;
        std::stringstream ls(line);
        for (std::string w; std::getline(ls, w, ',');) f.push_back(w);
        ASSERT_GE(f.size(), 4u);
        gauge_total += std::stod(f[3]);
    }
    double cell_total = 0.0;
    int frames = 0;
    for (const char* g : {"radcl/20230725_met.r2c", "radcl/20230801_met.r2c"}) {
        const auto f = nimbex::r2ctool::read_r2c_file((root / "build/mybasin" / g).string());
        for (const auto& fr : f.frames) cell_total += f.at(fr, 4, 5);
        frames += static_cast<int>(f.frames.size());
    }
    EXPECT_GT(frames, 10);
    EXPECT_GT(gauge_total, 50.0);
    EXPECT_NEAR(cell_total, gauge_total, 1e-3);
    cleanup(root);
}

// Each command stops with exit status 1 (2 for a wrong command line), says
// why, and writes nothing.
TEST(NimbexPrep, CommandsRefuseBadInputAndWriteNothing) {
    const fs::path d = prepared_basin("refuse");
    const std::string head = "ncols 3\nnrows 2\nxllcorner 500000\nyllcorner 4800000\ncellsize ";
    spit(d / "small.asc", head + "1000\n1 1 1\n1 1 1\n");
    spit(d / "zero.asc", "ncols 12\nnrows 10\nxllcorner 500000\nyllcorner 4800000\ncellsize 1000\n" +
                             [] { std::string s; for (int i = 0; i < 120; ++i) s += "0 "; return s; }() + "\n");
    spit(d / "shifted.asc", "ncols 13\nnrows 11\nxllcorner 499500\nyllcorner 4799500\ncellsize 1000\n" +
                                [] { std::string s; for (int i = 0; i < 143; ++i) s += "5 "; return s; }() + "\n");
    spit(d / "coarse.asc", "ncols 6\nnrows 5\nxllcorner 500000\nyllcorner 4800000\ncellsize 2000\n" +
                               [] { std::string s; for (int i = 0; i < 30; ++i) s += "5 "; return s; }() + "\n");
    spit(d / "notagrid.txt", "just some text\n");
    spit(d / "st.csv", "id,name,x,y\nA,Alpha,500100,4800100\nB,AVeryLongName1,500200,4800200\n");
    spit(d / "st2.csv", "id,name,x,y\nA,Alpha,500100,4800100\nB,Beta,500200,4800200\n");
    spit(d / "dup.csv", "time,A,B\n2023-07-01 01:00,1,2\n2023-07-01 01:00,1,2\n");
    spit(d / "unordered.csv", "time,A,B\n2023-07-01 02:00,1,2\n2023-07-01 01:00,1,2\n");
    spit(d / "unknown.csv", "time,A,C\n2023-07-01 01:00,1,2\n");
    spit(d / "halfhour.csv", "time,A,B\n2023-07-01 01:30,1,2\n");
    spit(d / "nostart/20230701_rag.tb0", ":FileType tb0 ASCII EnSim 1.0\n:DeltaT 1\n:UnitConversion 1.0\n"
                                         ":ColumnMetaData\n:ColumnName A\n:ColumnLocationX 500100\n"
                                         ":ColumnLocationY 4800100\n:EndColumnMetaData\n:EndHeader\n1.0\n");
    struct Case {
        std::string args;
        int status;
        std::string says;
    };
    const std::string b = " --shd basin/b_shd.r2c";
    const std::vector<Case> cases = {
        {"frobnicate", 2, "unknown command"},
        {"watershed --dem dem.asc --out basin/x_shd.r2c", 2, "missing --mask"},
        {"watershed --dem dem.asc --mask mask.asc --out basin/x_shd.r2c --colour red", 2, "unknown option --colour"},
        {"watershed --dem dem.asc --mask mask.asc --out basin/x_shd.txt", 2, "must end in r2c"},
        {"watershed --dem dem.asc --mask small.asc --out basin/x_shd.r2c", 1, "is not on the grid of dem.asc"},
        {"watershed --dem dem.asc --mask zero.asc --out basin/x_shd.r2c", 1, "no cell with a value above 0"},
        {"watershed --dem notagrid.txt --mask mask.asc --out basin/x_shd.r2c", 1, "notagrid.txt"},
        {"watershed --dem dem.asc --mask mask.asc --out basin/b_shd.r2c", 1, "exists; give --force"},
        {"watershed --dem dem.asc --mask mask.asc --out basin/x_shd.r2c --class forest=mask.asc", 1,
         "at least two classes"},
        {"elevation --dem shifted.asc" + b + " --out basin/x.r2c", 1, "not aligned"},
        {"elevation --dem coarse.asc" + b + " --out basin/x.r2c", 1, "resample the DEM"},
        {"elevation --dem small.asc" + b + " --out basin/x.r2c", 1, "does not cover"},
        {"template" + b + " --par basin/x_par.csv --pdl basin/x.pdl --radius 30 --smoothing 20", 1,
         "more than half the radius"},
        {"template" + b + " --par basin/x_par.txt --pdl basin/x.pdl", 2, "must end in .csv"},
        {"template --shd mask.asc --par basin/x_par.csv --pdl basin/x.pdl", 1, "watershed reader stops"},
        {"gauges --stations st2.csv --values dup.csv --out x", 1, "given twice"},
        {"gauges --stations st2.csv --values unordered.csv --out x", 1, "sort the rows by time"},
        {"gauges --stations st2.csv --values unknown.csv --out x", 1, "'C' is not a station"},
        {"gauges --stations st2.csv --values halfhour.csv --out x", 1, "on the hour"},
        {"gauges --stations st.csv --values dup.csv --out x", 1, "at most 12 characters"},
        {"gauges --stations st2.csv --values dup.csv --out x --split week", 2, "--split takes month or none"},
        {"gauges --stations stations.csv --values hourly.csv --out raing", 1, "exists; give --force"},
        {"events --gauges nostart" + b + " --par basin/b_par.csv --pdl basin/b.pdl --out x", 1, "no :StartTime"},
        {"events --gauges raing" + b + " --par basin/none.csv --pdl basin/b.pdl --out x", 1, "is not there"},
        {"events --gauges raing" + b + " --par basin/b_par.csv --pdl basin/b.pdl --out event", 1,
         "exists; give --force"},
        {"check no_such_folder", 1, "not a folder"},
    };
    const auto before = listing(d);
    for (const Case& c : cases) {
        const Result r = run(d, "$PREP " + c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_EQ(listing(d), before) << c.args;
    }
    // --force is the way to replace a file.
    EXPECT_EQ(run(d, "$PREP gauges --stations stations.csv --values hourly.csv --out raing --force").status, 0);
    cleanup(d);
}

// check names every problem planted in a working directory, also past a
// stop of the event reader, writes nothing, and finds the walkthrough's own
// directory clean.
TEST(NimbexPrep, CheckNamesEachPlantedProblem) {
    const fs::path d = prepared_basin("check");
    Result r = run(d, "$PREP check");
    ASSERT_EQ(r.status, 0) << r.out;

    auto edit = [&](const std::string& file, const std::string& pattern, const std::string& to) {
        const fs::path p = d / file;
        std::string text = read_file(p);
        const std::string changed = std::regex_replace(text, std::regex(pattern), to);
        ASSERT_NE(changed, text) << file << ": " << pattern;
        spit(p, changed);
    };
    edit("basin/b_shd.r2c", ":TotalNumOfGrids[^\n]*\n", ":TotalNumOfGrids 70\n");
    edit("basin/b_par.csv", ":ClassName,water,land,", ":ClassName,land,water,");
    edit("basin/b.pdl", "xOrigin +500000.0", "xOrigin             500500.0");
    edit("event/20230801.evt", ":smrflg[^\n]*\n", "");
    edit("event/20230801.evt", ":hour +0", ":hour 1");
    edit("event/20230801.evt", ":snwflg", ":bogusflg n\n:snwflg");  // the event reader stops; check goes on
    edit("event/event.evt", ":pointprecip +raing.", ":pointprecip raing/");
    edit("event/event.evt", ":griddedrainfile +[^\n]*", ":griddedrainfile basin\\b.pdl");
    edit("raing/20230801_rag.tb0", "Crowfoot ", "CrowfootValley ");
    edit("raing/20230801_rag.tb0", ":UnitConversion +1.0", ":UnitConversion 25.4");
    edit("basin/elv_max.r2c", ":xOrigin +[0-9.]+", ":xOrigin 500001.0");
    const auto before = listing(d);
    r = run(d, "$PREP check .");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(listing(d), before);
    for (const char* says : {"2 cell(s) numbered above :TotalNumOfGrids 70 (up to 72)", "class 1 is land in basin\\b_par.csv but water",
                             "describes another grid than basin\\b_shd.r2c: xOrigin 500500.0",
                             "event\\20230801.evt has no line for :smrflg",
                             "event\\20230801.evt: the program stops reading it: :bogusflg / This key word",
                             "begins at 2023-08-01 00:00 but event\\20230801.evt starts the event at 2023-08-01 01:00",
                             "raing/20230725_rag.tb0 is cut at '/'", "would overwrite an input",
                             "gauge name CrowfootValley is longer than the 12",
                             "has :UnitConversion 25.4 but event/event.evt has :rainconvfactor 1.0",
                             "elv_max.r2c does not fit the grid (xorig_swe.ne.xorigin)"}) {
        EXPECT_NE(r.out.find(says), std::string::npos) << says << "\n" << r.out;
    }
    std::istringstream lines(r.out);
    for (std::string l; std::getline(lines, l);) {
        if (l.rfind("problem: ", 0) == 0) {
            EXPECT_NE(l.find(". Fix: "), std::string::npos) << l;
        }
    }
    cleanup(d);
}

// Hourly rows stamped at the end of their hour (24:00 ends a day): a table
// per calendar month of the hours' beginnings, :StartTime the first row's
// stamp, rows missing in between written as missing records in their place;
// a spreadsheet's empty trailing columns are no gauges.
TEST(NimbexPrep, GaugeTablesFollowTheEndOfHourStampsAcrossAMonth) {
    const fs::path d = scratch("months");
    spit(d / "st.csv", "id,name,x,y,elevation\nA,Alpha,500100,4800100,10\nB,,500200,4800200,20\n");
    spit(d / "v.csv", "time,B,A,,\n2023-07-31 23:00,1.5,NA,,\n2023-07-31 24:00,2.5,-3,,\n"
                      "2023-08-01 03:00,,0.5\n");
    const Result r = run(d, "$PREP gauges --stations st.csv --values v.csv --out raing");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("no row for 2023-08-01 01:00 to 2023-08-01 02:00 (2 hours)"), std::string::npos) << r.out;
    auto data_lines = [](const std::string& text) {
        std::vector<std::string> v;
        std::istringstream in(text.substr(text.find(":EndHeader\n") + 11));
        for (std::string l; std::getline(in, l);) v.emplace_back(std::regex_replace(l, std::regex(" +"), " "));
        return v;
    };
    const std::string july = read_file(d / "raing/20230731_rag.tb0");
    const std::string august = read_file(d / "raing/20230801_rag.tb0");
    EXPECT_NE(july.find(":StartTime              2023/07/31 23:00:00.000"), std::string::npos) << july;
    EXPECT_NE(august.find(":StartTime              2023/08/01 01:00:00.000"), std::string::npos) << august;
    EXPECT_NE(july.find("B        Alpha"), std::string::npos) << "columns in the order of the values file, id for a "
                                                                   "missing name\n" << july;
    EXPECT_EQ(data_lines(july), (std::vector<std::string>{" 1.50 -1.00", " 2.50 -1.00"}));
    EXPECT_EQ(data_lines(august), (std::vector<std::string>{" -1.00 -1.00", " -1.00 -1.00", " -1.00 0.50"}));
    cleanup(d);
}

// Class fractions from grids: rescaled to add up to 1, the classes in the
// order given, and the template's parameter file takes them from the
// watershed file as the program's readers read it.
TEST(NimbexPrep, ClassFractionGridsReachTheParameterFile) {
    const fs::path d = scratch("classes");
    const std::string head = "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 500\n";
    spit(d / "dem.asc", head + "10 20\n");
    spit(d / "mask.asc", head + "1 1\n");
    spit(d / "forest.asc", head + "0.6 0.2\n");
    spit(d / "water.asc", head + "0.2 0\n");
    spit(d / "urban.asc", head + "0.2 0.795\n");
    const Result r = run(d, "$PREP watershed --dem dem.asc --mask mask.asc --out b_shd.r2c --class forest=forest.asc "
                            "--class water=water.asc --class urban=urban.asc && "
                            "$PREP template --shd b_shd.r2c --par b_par.csv --pdl b.pdl --radius 3 --lapse 0.001");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string par = read_file(d / "b_par.csv");
    EXPECT_NE(par.find(":ClassName,forest,water,urban,\n"), std::string::npos);
    EXPECT_NE(par.find(":ak,10.0,-1.0,10.0,\n"), std::string::npos) << "water is the next-to-last class";
    EXPECT_NE(par.find(":radiusinflce,3.0,"), std::string::npos);
    EXPECT_NE(par.find(":rlapse,0.001,"), std::string::npos);

    nimbex::prep::ReaderSession s;
    const fs::path here = fs::current_path();
    fs::current_path(d);
    nimbex::prep::read_watershed(s, "b_shd.r2c");
    nimbex::RunState& rs = s.rs();
    rs.file_name(2) = "b_par.csv";
    nimbex::read_par_parser(rs, 32, 2, nimbex::ParSwitches{});
    const std::string said = s.take_console();
    fs::current_path(here);
    EXPECT_EQ(said.find("WARNING"), std::string::npos) << said;
    EXPECT_EQ(said.find("enter"), std::string::npos) << said;
    ASSERT_EQ(rs.shed.classcount, 3);
    EXPECT_EQ(rs.shed.numgridsinbasin, 2);
    EXPECT_EQ(rs.shed.rank_at(1, 2), 1) << "the higher cell is numbered first";
    EXPECT_FLOAT_EQ(rs.shed.elev[1], 20.0f);
    EXPECT_NEAR(rs.shed.aclass[1 * 3 + 2], 0.795f / 0.995f, 1e-4f) << "urban of cell number 1, rescaled";
    EXPECT_FLOAT_EQ(rs.shed.nominalgridsize_al, 500.0f);
    cleanup(d);
}

// With GDAL, a GeoTIFF of the DEM gives the same watershed file as the ASCII grid.
TEST(NimbexPrep, GeoTiffDemGivesTheSameWatershed) {
#ifndef NIMBEX_PREP_HAVE_GDAL
    GTEST_SKIP() << "built without GDAL";
#else
    const fs::path d = scratch("tiff");
    fs::copy(source_dir / "examples/from_csv", d, fs::copy_options::recursive);
    if (run(d, "gdal_translate -q -of GTiff dem.asc dem.tif").status != 0) GTEST_SKIP() << "no gdal_translate";
    const Result r = run(d, "export NIMBEX_FIXED_CLOCK='2024-01-01 00:00' && "
                            "$PREP watershed --dem dem.asc --mask mask.asc --out a_shd.r2c && "
                            "$PREP watershed --dem dem.tif --mask mask.asc --out t_shd.r2c");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string a = read_file(d / "a_shd.r2c"), t = read_file(d / "t_shd.r2c");
    EXPECT_EQ(std::regex_replace(t, std::regex("dem.tif"), "dem.asc"), a);
    cleanup(d);
#endif
}
