// --help, -h and --version print the usage text and leave the directory alone.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/files.h"

namespace fs = std::filesystem;

TEST(ProgramHelp, HelpOptionsPrintUsageAndRunNothing) {
    // The output goes beside the run directory, in the scratch folder.
    fs::path d = nimbex::testutil::scratch_dir("help") / "run";
    fs::create_directories(d);
    for (const char* arg : {"--help", "-h", "--version"}) {
        // The output goes outside the directory so that an empty directory
        // proves nothing was written.
        fs::path out = d.string() + ".out";
        std::string cmd = "cd '" + d.string() + "' && '" NIMBEX_BINARY "' " + arg + " < /dev/null > '" +
                          out.string() + "' 2>&1";
        int rc = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(rc)) << arg;
        EXPECT_EQ(WEXITSTATUS(rc), 0) << arg;
        std::stringstream text;
        text << std::ifstream(out).rdbuf();
        const std::string s = text.str();
        EXPECT_EQ(s.rfind("NIMBEX ", 0), 0u) << arg;
        for (const char* part : {"Usage: nimbex [P]", "event/event.evt", "inverse-distance power",
                                 "nimbex_sum.r2c", "Exit status: 0"})
            EXPECT_NE(s.find(part), std::string::npos) << arg << ": " << part;
        EXPECT_EQ(s.find("RAIN GAUGE"), std::string::npos) << arg;
        EXPECT_TRUE(fs::is_empty(d)) << arg;
        fs::remove(out);
    }
    // Without an event file an ordinary run stops: the help check takes
    // nothing else away from the argument.
    std::string cmd = "cd '" + d.string() + "' && '" NIMBEX_BINARY "' -x < /dev/null > /dev/null 2>&1";
    int rc = std::system(cmd.c_str());
    EXPECT_NE(WEXITSTATUS(rc), 0);
    EXPECT_TRUE(fs::exists(d / "nimbex_info.txt"));
    fs::remove_all(d);
}
