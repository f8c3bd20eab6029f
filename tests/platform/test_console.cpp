// Input text echoed in messages never reaches the terminal or a file raw.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "platform/console.h"
#include "platform/files.h"

using namespace nimbex;

TEST(Console, ControlCharactersAreShownAsEscapes) {
    std::ostringstream out;
    std::istringstream in;
    Console con(out, in);
    con.line(std::string("in line: :hour 0\r\x00x\x1b\t\x7f|", 23));
    con.line("plain \\ text");
    EXPECT_EQ(out.str(), "in line: :hour 0\\r\\x00x\\x1b\\t\\x7f|\nplain \\ text\n");
}

TEST(Files, NoNulByteReachesAFile) {
    const std::filesystem::path p =
        std::filesystem::temp_directory_path() / ("nimbex_nul_" + std::to_string(::getpid()) + ".txt");
    FileTable files;
    ASSERT_EQ(files.open(51, p.string(), OpenStatus::unknown), 0);
    files[51].put_line(std::string("flag \0 x", 8));
    files.close(51, true);
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    EXPECT_EQ(s.str(), "flag   x\n");
    std::filesystem::remove(p);
}
