// The whole program on the example basin: two runs give the same bytes, a
// failing write stops the run naming the file, and bad gauge values leave no
// NaN in any grid.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/event_processing.h"
#include "driver/run_state.h"
#include "platform/fatal.h"
#include "support/files.h"

namespace fs = std::filesystem;
using nimbex::testutil::example_copy;
using nimbex::testutil::read_file;

namespace {

struct ProgramRun {
    int status = -1;
    std::string console;
};

ProgramRun run_in(const fs::path& dir, const std::string& args = "") {
    const std::string cmd =
        "cd '" + dir.string() + "' && '" NIMBEX_BINARY "' " + args + " < /dev/null > console.txt 2>&1";
    const int rc = std::system(cmd.c_str());
    ProgramRun r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.console = read_file(dir / "console.txt");
    return r;
}

void replace_in(const fs::path& p, const std::string& from, const std::string& to) {
    std::string s = read_file(p);
    const auto pos = s.find(from);
    ASSERT_NE(pos, std::string::npos) << from;
    s.replace(pos, from.size(), to);
    std::ofstream(p, std::ios::binary) << s;
}

// The file's text without its ":CreationDate" lines.
std::string without_creation_date(const fs::path& p) {
    std::istringstream in(read_file(p));
    std::string out, line;
    while (std::getline(in, line))
        if (line.rfind(":CreationDate", 0) != 0) out += line + "\n";
    return out;
}

// Every file below `dir` (relative names, sorted), inputs included.
std::vector<fs::path> files_below(const fs::path& dir) {
    std::vector<fs::path> v;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) v.push_back(fs::relative(e.path(), dir));
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

TEST(RobustProgram, TwoRunsGiveTheSameBytesApartFromTheCreationDate) {
    const fs::path a = example_copy("robust_repeat_a"), b = nimbex::testutil::example_copy("robust_repeat_b");
    const ProgramRun ra = run_in(a), rb = run_in(b);
    ASSERT_EQ(ra.status, 0) << ra.console;
    ASSERT_EQ(rb.status, 0) << rb.console;
    const std::vector<fs::path> fa = files_below(a), fb = files_below(b);
    ASSERT_EQ(fa, fb);
    int grids = 0;
    for (const fs::path& f : fa) {
        if (f.extension() == ".r2c" && f.parent_path() != "basin") ++grids;
        EXPECT_EQ(without_creation_date(a / f), without_creation_date(b / f)) << f;
    }
    EXPECT_EQ(grids, 4);  // three event grids and the run totals
    fs::remove_all(a);
    fs::remove_all(b);
}

TEST(RobustProgram, AFailingWriteStopsNamingTheFile) {
    const fs::path d = example_copy("robust_devfull");
    // The event file takes a name up to its first slash; backslashes become slashes on opening.
    replace_in(d / "event/event.evt", "radcl\\20230701_met.r2c", "\\dev\\full");
    const ProgramRun r = run_in(d);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.console.find("Error writing file \\dev\\full (unit 40): No space left on device"), std::string::npos)
        << r.console;
    EXPECT_EQ(r.console.find(" normal ending"), std::string::npos);

    // An output name that is a directory cannot be opened.
    const fs::path e = example_copy("robust_dirout");
    replace_in(e / "event/event.evt", "radcl\\20230701_met.r2c", "radcl");
    const ProgramRun re = run_in(e);
    EXPECT_EQ(re.status, 1);
    EXPECT_NE(re.console.find("Unable to open fileradcl"), std::string::npos) << re.console;
    EXPECT_EQ(re.console.find(" normal ending"), std::string::npos);
    fs::remove_all(d);
    fs::remove_all(e);

    // A report on a full disk stops the run before " normal ending"; so does
    // a station list that cannot be created; a failed scratch file is named.
    struct Case {
        const char* file;
        const char* args;
        std::string last;
    };
    const Case cases[] = {
        {"nimbex_cumm.txt", "", "Error writing file nimbex_cumm.txt (unit 50): No space left on device"},
        {"nimbex_info.txt", "", "Error writing file nimbex_info.txt (unit 51): No space left on device"},  // written behind
        {"junk", "3", "Error writing file junk (unit 99): No space left on device"},
        {"precip_sta.xyz", "", "Program aborted in nimbex: unable to create precip_sta.xyz"},
    };
    for (const Case& c : cases) {
        const fs::path f = example_copy("robust_full");
        if (std::string(c.file) == "precip_sta.xyz") fs::create_directory(f / c.file);
        else fs::create_symlink("/dev/full", f / c.file);
        const ProgramRun rf = run_in(f, c.args);
        EXPECT_EQ(rf.status, 1) << c.file;
        EXPECT_EQ(rf.console.find(" normal ending"), std::string::npos) << c.file;
        EXPECT_EQ(rf.console.substr(rf.console.rfind('\n', rf.console.size() - 2) + 1), c.last + "\n") << rf.console;
        fs::remove_all(f);
    }
}

TEST(RobustProgram, NoOutputReplacesAnInputAndInputsMustBeFiles) {
    const fs::path d = example_copy("robust_overwrite");
    // The second event's grid named, in another spelling, as the third event's gauge table.
    replace_in(d / "event/20230801.evt", "radcl\\20230801_met.r2c", "radcl\\..\\raing\\20230901_rag.tb0");
    std::map<fs::path, std::string> before;
    for (const fs::path& f : files_below(d)) before[f] = read_file(d / f);
    ProgramRun r = run_in(d);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.console.find("Program aborted in nimbex: output radcl\\..\\raing\\20230901_rag.tb0 (:griddedrainfile "
                             "in event\\20230801.evt) would overwrite the input raing\\20230901_rag.tb0 (:pointprecip in "
                             "event\\20230901.evt)\n"),
              std::string::npos)
        << r.console;
    for (const auto& [f, text] : before) EXPECT_EQ(read_file(d / f), text) << f;
    EXPECT_FALSE(fs::exists(d / "nimbex_info.txt"));  // nothing of the run was put in place

    // An elevation grid name that is a folder or a link to nothing is not "absent".
    replace_in(d / "event/20230801.evt", "radcl\\..\\raing\\20230901_rag.tb0", "radcl\\20230801_met.r2c");
    fs::create_directory(d / "basin/elv_max.r2c");
    r = run_in(d);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.console.find("Program aborted in nimbex: basin\\elv_max.r2c exists but cannot be read as a file"),
              std::string::npos)
        << r.console;
    fs::remove(d / "basin/elv_max.r2c");
    fs::create_symlink("nowhere.r2c", d / "basin/elv_max.r2c");
    EXPECT_EQ(run_in(d).status, 1);
    fs::remove_all(d);
}

TEST(RobustProgram, AnInterruptedRunLeavesWholeFilesAndASecondRunIsLockedOut) {
    const fs::path d = example_copy("robust_interrupt");
    ASSERT_EQ(run_in(d, "3").status, 0);  // the earlier run's outputs: power 3
    std::map<fs::path, std::string> earlier;
    for (const char* f : {"radcl/20230801_met.r2c", "nimbex_sum.r2c", "nimbex_info.txt", "nimbex_cumm.txt"})
        earlier[f] = read_file(d / f);
    // The second event's factor differs from the event file's: the run pauses there.
    replace_in(d / "raing/20230801_rag.tb0", ":UnitConversion          1.0", ":UnitConversion 1.00001");
    int in[2];
    ASSERT_EQ(::pipe(in), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::close(in[1]);
        const int out = ::open((d / "console.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        if (::chdir(d.c_str()) == 0) ::execl(NIMBEX_BINARY, NIMBEX_BINARY, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    bool paused = false;
    for (int i = 0; i < 600 && !paused; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        paused = read_file(d / "console.txt").find("Hit enter to continue") != std::string::npos;
    }
    EXPECT_TRUE(paused);
    // A second run in the directory meanwhile stops at the lock and writes nothing.
    const fs::path other = d / "other.txt";
    const int rc = std::system(("cd '" + d.string() + "' && '" NIMBEX_BINARY "' < /dev/null > other.txt 2>&1").c_str());
    EXPECT_EQ(WEXITSTATUS(rc), 1);
    EXPECT_NE(read_file(other).find("Program aborted in nimbex: working directory in use (nimbex.lock is locked by "
                                "another run)"),
              std::string::npos)
        << read_file(other);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::close(in[1]);
    // Each name holds a whole file: the first event's new grid (power 2), the
    // earlier run's files for the rest; the killed run's parts are named as such.
    EXPECT_NE(read_file(d / "radcl/20230701_met.r2c").find(":Weight used                       2"), std::string::npos);
    for (const auto& [f, text] : earlier) EXPECT_EQ(read_file(d / f), text) << f;
    int parts = 0;
    for (const fs::path& f : files_below(d))
        if (f.string().find(".nimbex-" + std::to_string(pid) + ".tmp") != std::string::npos) ++parts;
    EXPECT_GE(parts, 6);  // the five reports and the second event's grid
    fs::remove_all(d);
}

TEST(RobustProgram, GaugeTableOfAnotherPeriodIsWarned) {
    const fs::path d = example_copy("robust_period");
    replace_in(d / "raing/20230701_rag.tb0", "2023/07/01 01:00:00.000", "2023/07/01 00:00:00.000");
    replace_in(d / "event/20230801.evt", ":hoursraindata        744", ":hoursraindata 48");
    const ProgramRun r = run_in(d);
    ASSERT_EQ(r.status, 0) << r.console;
    EXPECT_NE(r.console.find("WARNING:\nThe gauge table raing\\20230701_rag.tb0 has :StartTime 2023/07/01 "
                             "00:00:00.000\nbut the event starts at 2023/07/01 00:00, so its first line (the end of\n"
                             "the first step of 1 h) should be at 2023/07/01 01:00\n"),
              std::string::npos)
        << r.console;
    EXPECT_NE(r.console.find("WARNING:\nThe gauge table raing\\20230801_rag.tb0 covers 744 hours\n"
                             "but the event file gives :hoursraindata 48\n"),
              std::string::npos);
    // September's table ends with the month, short of the event file's 744 hours: no warning.
    EXPECT_EQ(r.console.find("The gauge table raing\\20230901"), std::string::npos);
    fs::remove_all(d);
}

TEST(RobustProgram, GaugeValuesThatAreNotNumbersLeaveNoNaNInTheGrids) {
    const fs::path d = example_copy("robust_nan");
    // The first data line of July: every gauge NaN or infinite.
    const fs::path tb0 = d / "raing/20230701_rag.tb0";
    std::string s = read_file(tb0);
    const auto start = s.find('\n', s.find(":EndHeader")) + 1;
    const auto end = s.find('\n', start);
    std::string line = s.substr(start, end - start), bad;
    std::istringstream words(line);
    int n = 0;
    for (std::string w; words >> w; ++n) bad += (n % 2 ? " nan" : " -inf");
    s.replace(start, end - start, bad);
    std::ofstream(tb0, std::ios::binary) << s;
    const ProgramRun r = run_in(d);
    ASSERT_EQ(r.status, 0) << r.console;
    // No word of an output is NaN or an infinity, in any spelling.
    for (const fs::path& f : files_below(d)) {
        if (f.parent_path() == "raing" || f.parent_path() == "basin" || f.parent_path() == "event") continue;
        std::istringstream in(read_file(d / f));
        for (std::string w; in >> w;) {
            std::transform(w.begin(), w.end(), w.begin(), [](unsigned char c) { return std::tolower(c); });
            if (!w.empty() && (w[0] == '-' || w[0] == '+')) w.erase(0, 1);
            EXPECT_TRUE(w != "nan" && w != "inf" && w != "infinity") << f << ": " << w;
        }
    }
    fs::remove_all(d);
}

// Input no field of the output can hold, impossible dates and names longer
// than their field stop the run when read; the last console line names what,
// where and the value.
TEST(RobustProgram, AbsurdInputStopsWhenRead) {
    struct Case {
        const char* file;
        std::string from, to;
        std::string stop;  // a part of the last console line
    };
    const std::vector<Case> cases = {
        {"raing/20230701_rag.tb0", ":UnitConversion          1.0", ":UnitConversion          1e30",
         ":UnitConversion 1.00000002E+30 is out of range in raing\\20230701_rag.tb0"},
        {"raing/20230801_rag.tb0", ":EndHeader\n     0.0", ":EndHeader\n    3e38",
         "rain of station 1 in data line 1 (3.00000001E+38 times 1.00000000) 3.00000001E+38 is out of range in "
         "raing\\20230801_rag.tb0"},
        {"basin/demo.pdl", "xOrigin             500000.0", "xOrigin             -1e30",
         ":xOrigin -1.00000002E+30 is out of range in basin\\demo.pdl"},
        {"basin/demo_shd.r2c", ":xOrigin            500000.000", ":xOrigin            5e12",
         ":xOrigin 4.99999991E+12 is out of range in basin\\demo_shd.r2c"},
        {"basin/demo_par.csv", ":rlapse,0.0005", ":rlapse,5.0", ":rlapse 5.00000000 is out of range in basin\\demo_par.csv"},
        {"basin/demo_par.csv", ":a6,900.0", ":a6,nan", "value NaN is not a finite number in basin\\demo_par.csv"},
        {"event/event.evt", ":rainconvfactor       1.0", ":rainconvfactor       1e30",
         ":rainconvfactor 1.00000002E+30 is out of range in event/event.evt"},
        {"event/event.evt", ":hoursflowdata        744", ":hoursflowdata        nan",
         ":hoursflowdata NaN is not a finite number in event/event.evt"},
        // Every event of a chain: September has 30 days.
        {"event/20230901.evt", ":day                  1", ":day                  31",
         "impossible start :day 31 in event\\20230901.evt"},
        {"event/event.evt", "radcl\\20230701_met.r2c", "radcl\\" + std::string(52, 'm') + "_met.r2c",
         "the name of :griddedrainfile in event/event.evt is longer than 60 characters"},
    };
    for (const Case& c : cases) {
        const fs::path d = example_copy("robust_absurd");
        replace_in(d / c.file, c.from, c.to);
        const ProgramRun r = run_in(d);
        EXPECT_EQ(r.status, 1) << c.to;
        const std::string last = r.console.substr(r.console.rfind('\n', r.console.size() - 2) + 1);
        EXPECT_NE(last.find(c.stop), std::string::npos) << c.to << "\n" << last;
        fs::remove_all(d);
    }
    // A static elevation beyond any on earth.
    const fs::path d = example_copy("robust_elvmax");
    std::string grid = ":FileType r2c ASCII EnSim 1.0\n:xOrigin 500000.0\n:yOrigin 4800000.0\n:xCount 20\n"
                       ":yCount 15\n:xDelta 1000.0\n:yDelta 1000.0\n"
                       ":AttributeName 1 elevation\n:EndHeader\n";
    for (int i = 0; i < 15; ++i) {
        for (int j = 0; j < 20; ++j) grid += i == 3 && j == 4 ? " 5e12" : " 300.0";
        grid += "\n";
    }
    std::ofstream(d / "basin/elv_max.r2c", std::ios::binary) << grid;
    const ProgramRun r = run_in(d);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.console.find("Program aborted in nimbex: elevation of row 4 column 5 4.99999991E+12 is out of range "
                             "in basin\\elv_max.r2c"),
              std::string::npos)
        << r.console;
    fs::remove_all(d);
}

TEST(RobustProgram, RunTotalsBeyondTheirFieldStopInsteadOfStars) {
    std::ostringstream out;
    std::istringstream in;
    nimbex::Console con(out, in);
    nimbex::RunState rs(con);
    rs.dist.nx = 2;
    rs.dist.ny = 1;
    rs.dist.run_total = {5.0f, 2.0e9f};
    try {
        nimbex::write_run_totals(rs);
        ADD_FAILURE() << "no stop";
    } catch (const nimbex::FatalStop& e) {
        EXPECT_EQ(e.message(), "Program aborted in nimbex: run total 2.00000000E+09 does not fit the 10 columns of "
                               "nimbex_sum.r2c");
    }
}
