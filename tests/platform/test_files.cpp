// Files by unit: opening rules, line reading of any length, write failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/fatal.h"
#include "platform/files.h"
#include "support/files.h"

using namespace nimbex;
namespace fs = std::filesystem;

namespace {
fs::path temp_dir() {
    fs::path d = nimbex::testutil::scratch_dir("files");
    fs::create_directories(d / "sub");
    return d;
}
}  // namespace

TEST(Files, BackslashNamesAreMapped) {
    EXPECT_EQ(map_path("basin\\elv_max.r2c  "), "basin/elv_max.r2c");
    fs::path d = temp_dir();
    std::ofstream(d / "sub" / "a.txt") << "x\r\n" << std::string(100000, 'y') << "\nlast";
    std::string name = d.string() + "\\sub\\a.txt";
    EXPECT_TRUE(file_exists(name));
    EXPECT_FALSE(file_exists(d.string() + "/sub"));  // a directory is not a file
    FileTable t;
    ASSERT_EQ(t.open(35, name, OpenStatus::old_file), 0);
    std::string line;
    ASSERT_TRUE(t[35].get_line(line));
    EXPECT_EQ(line, "x");
    ASSERT_TRUE(t[35].get_line(line));
    EXPECT_EQ(line.size(), 100000u);
    ASSERT_TRUE(t[35].get_line(line));
    EXPECT_EQ(line, "last");  // no final newline
    EXPECT_FALSE(t[35].get_line(line));
    t[35].rewind();
    ASSERT_TRUE(t[35].get_line(line));
    EXPECT_EQ(line, "x");
    t.close(35);
    EXPECT_FALSE(t.is_open(35));
    fs::remove_all(d);
}

TEST(Files, OpenStatuses) {
    fs::path d = temp_dir();
    FileTable t;
    std::string f = (d / "new.txt").string();
    EXPECT_NE(t.open(31, f, OpenStatus::old_file), 0);
    EXPECT_EQ(t.open(31, f, OpenStatus::new_file), 0);
    t[31].put_line("3");
    t[31].rewind();
    std::string line;
    ASSERT_TRUE(t[31].get_line(line));
    EXPECT_EQ(line, "3");
    t.close(31, true);
    EXPECT_NE(t.open(31, f, OpenStatus::new_file), 0);
    EXPECT_EQ(t.open(31, f, OpenStatus::unknown), 0);  // emptied
    t.close(31, false);                                 // and deleted
    EXPECT_FALSE(file_exists(f));
    EXPECT_NE(t.open(31, (d / "sub").string(), OpenStatus::old_file), 0);

    // replace: the name keeps its old content until the new file is closed;
    // a link keeps pointing at its file; an unfinished file replaces nothing.
    auto text_of = [](const fs::path& p) {
        std::ifstream in(p);
        std::string s;
        std::getline(in, s);
        return s;
    };
    std::ofstream(d / "out.txt") << "old\n";
    fs::create_symlink("out.txt", d / "link.txt");
    ASSERT_EQ(t.open(40, (d / "link.txt").string(), OpenStatus::replace), 0);
    t[40].put_line("new");
    t[40].flush();
    EXPECT_EQ(text_of(d / "out.txt"), "old");
    t.close(40);
    EXPECT_TRUE(fs::is_symlink(d / "link.txt"));
    EXPECT_EQ(text_of(d / "out.txt"), "new");
    {
        FileTable u;
        ASSERT_EQ(u.open(40, (d / "out.txt").string(), OpenStatus::replace), 0);
        u[40].put_line("cut");
    }
    EXPECT_EQ(text_of(d / "out.txt"), "new");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(d)) ++files;
    EXPECT_EQ(files, 3u);  // sub, out.txt, link.txt: no temporary left
    fs::remove_all(d);
}

TEST(Files, AFailedWriteStopsNamingTheFile) {
    if (!fs::exists("/dev/full")) GTEST_SKIP();
    FileTable t;
    ASSERT_EQ(t.open(40, "/dev/full", OpenStatus::unknown), 0);
    try {
        for (int i = 0; i < 100000; ++i) t[40].put_line("0123456789");
        t.close(40);
        FAIL() << "write to a full device went unnoticed";
    } catch (const FatalStop& e) {
        EXPECT_NE(std::string(e.what()).find("/dev/full"), std::string::npos);
    }
}

// Texts written in the background reach the file in order with the direct
// writes between them, and before the file is closed.
TEST(Files, BackgroundTextsKeepTheirPlace) {
    fs::path d = temp_dir();
    FileTable t;
    ASSERT_EQ(t.open(40, (d / "bg.txt").string(), OpenStatus::replace), 0);
    auto text = [](const std::string& s) { return WriteText(s.begin(), s.end()); };
    for (int i = 0; i < 50; ++i) {
        t[40].put_in_background(text(std::string(100000, 'a' + static_cast<char>(i % 26)) + "\n"));
        t[40].put_line(std::to_string(i));
    }
    t.close(40);
    const std::vector<std::string> lines = nimbex::testutil::lines_of(nimbex::testutil::read_file(d / "bg.txt"));
    ASSERT_EQ(lines.size(), 100u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(lines[2 * i], std::string(100000, 'a' + static_cast<char>(i % 26)));
        EXPECT_EQ(lines[2 * i + 1], std::to_string(i));
    }
    fs::remove_all(d);
}
