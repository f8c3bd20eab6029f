// The whole program run as a user runs it: build/nimbex in a working
// directory made from the example basin, console and files checked.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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
