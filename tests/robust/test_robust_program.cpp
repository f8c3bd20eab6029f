// The whole program on the example basin: two runs give the same bytes, a
// failing write stops the run naming the file, and bad gauge values leave no
// NaN in any grid.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

fs::path example_copy(const std::string& tag) {
    fs::path d = fs::temp_directory_path() / ("nimbex_robust_" + tag + "_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::copy(fs::path(NIMBEX_SOURCE_DIR) / "examples", d, fs::copy_options::recursive);
    return d;
}

struct ProgramRun {
    int status = -1;
    std::string console;
};

ProgramRun run_in(const fs::path& dir) {
    const std::string cmd = "cd '" + dir.string() + "' && '" NIMBEX_BINARY "' < /dev/null > console.txt 2>&1";
    const int rc = std::system(cmd.c_str());
    ProgramRun r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.console = slurp(dir / "console.txt");
    return r;
}

void replace_in(const fs::path& p, const std::string& from, const std::string& to) {
    std::string s = slurp(p);
    const auto pos = s.find(from);
    ASSERT_NE(pos, std::string::npos) << from;
    s.replace(pos, from.size(), to);
    std::ofstream(p, std::ios::binary) << s;
}

// The file's text without its ":CreationDate" lines.
std::string without_creation_date(const fs::path& p) {
    std::istringstream in(slurp(p));
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
    const fs::path a = example_copy("repeat_a"), b = example_copy("repeat_b");
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
    const fs::path d = example_copy("devfull");
    // The event file takes a name up to its first slash; backslashes become slashes on opening.
    replace_in(d / "event/event.evt", "radcl\\20230701_met.r2c", "\\dev\\full");
    const ProgramRun r = run_in(d);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.console.find("Error writing file \\dev\\full (unit 40): No space left on device"), std::string::npos)
        << r.console;
    EXPECT_EQ(r.console.find(" normal ending"), std::string::npos);

    // An output name that is a directory cannot be opened.
    const fs::path e = example_copy("dirout");
    replace_in(e / "event/event.evt", "radcl\\20230701_met.r2c", "radcl");
    const ProgramRun re = run_in(e);
    EXPECT_EQ(re.status, 1);
    EXPECT_NE(re.console.find("Unable to open fileradcl"), std::string::npos) << re.console;
    EXPECT_EQ(re.console.find(" normal ending"), std::string::npos);
    fs::remove_all(d);
    fs::remove_all(e);
}

TEST(RobustProgram, GaugeValuesThatAreNotNumbersLeaveNoNaNInTheGrids) {
    const fs::path d = example_copy("nan");
    // The first data line of July: every gauge NaN or infinite.
    const fs::path tb0 = d / "raing/20230701_rag.tb0";
    std::string s = slurp(tb0);
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
        std::istringstream in(slurp(d / f));
        for (std::string w; in >> w;) {
            std::transform(w.begin(), w.end(), w.begin(), [](unsigned char c) { return std::tolower(c); });
            if (!w.empty() && (w[0] == '-' || w[0] == '+')) w.erase(0, 1);
            EXPECT_TRUE(w != "nan" && w != "inf" && w != "infinity") << f << ": " << w;
        }
    }
    fs::remove_all(d);
}
