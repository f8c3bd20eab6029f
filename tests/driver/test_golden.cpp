// The example basin run as a user runs it (fixed clock, no standard input):
// the console and every file the run writes must be, byte for byte, the files
// under tests/golden/ (console.txt is the console; the rest mirror the run
// directory). When a change of output is meant, regenerate them with
//   NIMBEX_UPDATE_GOLDEN=1 ctest --test-dir build -R Golden
// and review the difference with git diff tests/golden.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "support/files.h"

namespace fs = std::filesystem;
using nimbex::testutil::read_file;
using nimbex::testutil::scratch_dir;

namespace {

// Line number (from 1) and text of the first line where two texts part.
std::string first_difference(const std::string& want, const std::string& got) {
    std::istringstream a(want), b(got);
    std::string la, lb;
    for (int n = 1;; ++n) {
        bool more_a = static_cast<bool>(std::getline(a, la));
        bool more_b = static_cast<bool>(std::getline(b, lb));
        if (!more_a && !more_b) return "line ends differ";
        if (!more_a || !more_b || la != lb)
            return "line " + std::to_string(n) + ": want [" + (more_a ? la : "<end>") + "] got [" +
                   (more_b ? lb : "<end>") + "]";
    }
}

class Golden : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(Golden, ExampleBasinConsoleAndOutputsAreUnchanged) {
    const fs::path examples = fs::path(NIMBEX_SOURCE_DIR) / "examples";
    const fs::path golden = fs::path(NIMBEX_SOURCE_DIR) / "tests" / "golden";
    const fs::path scratch = scratch_dir("golden_" + std::string(GetParam()));
    const fs::path run = scratch / "basin";
    fs::copy(examples, run, fs::copy_options::recursive);

    std::string cmd = "cd '" + run.string() + "' && NIMBEX_FIXED_CLOCK='2024-05-06 07:08' NIMBEX_THREADS=" +
                      GetParam() + " '" NIMBEX_BINARY "' < /dev/null > ../console.txt 2>&1";
    int rc = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << read_file(scratch / "console.txt");

    // The outputs: what the run added to the copy, the empty lock file aside.
    std::set<fs::path> outputs{"console.txt"};
    for (const auto& e : fs::recursive_directory_iterator(run)) {
        fs::path rel = fs::relative(e.path(), run);
        if (e.is_regular_file() && rel != "nimbex.lock" && !fs::exists(examples / rel)) outputs.insert(rel);
    }
    auto produced = [&](const fs::path& rel) { return rel == "console.txt" ? scratch / rel : run / rel; };

    if (std::getenv("NIMBEX_UPDATE_GOLDEN")) {
        fs::remove_all(golden);
        for (const auto& rel : outputs) {
            fs::create_directories((golden / rel).parent_path());
            fs::copy_file(produced(rel), golden / rel);
        }
    }

    std::set<fs::path> expected;
    for (const auto& e : fs::recursive_directory_iterator(golden))
        if (e.is_regular_file()) expected.insert(fs::relative(e.path(), golden));
    EXPECT_EQ(outputs, expected);
    for (const auto& rel : expected) {
        if (!outputs.count(rel)) continue;
        std::string want = read_file(golden / rel), got = read_file(produced(rel));
        EXPECT_TRUE(want == got) << rel << ", " << first_difference(want, got);
    }
}

INSTANTIATE_TEST_SUITE_P(Threads, Golden, ::testing::Values("1", "2"));
