#include "support/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace nimbex::testutil {
namespace fs = std::filesystem;

namespace {

// Removes the scratch folders of each test when it ends, so that a run of
// the suite leaves nothing behind in the temporary directory.
class ScratchCleaner : public ::testing::EmptyTestEventListener {
public:
    void keep_until_test_end(const fs::path& d) { test_dirs_.push_back(d); }
    void keep_until_program_end(const fs::path& d) { program_dirs_.push_back(d); }

    void OnTestEnd(const ::testing::TestInfo&) override { remove(test_dirs_); }
    void OnTestProgramEnd(const ::testing::UnitTest&) override {
        remove(test_dirs_);
        remove(program_dirs_);
    }

private:
    static void remove(std::vector<fs::path>& dirs) {
        for (const auto& d : dirs) {
            std::error_code ec;
            fs::remove_all(d, ec);
        }
        dirs.clear();
    }
    std::vector<fs::path> test_dirs_, program_dirs_;
};

ScratchCleaner& cleaner() {
    // gtest owns the listener once appended; it lives until the program ends.
    static ScratchCleaner* c = [] {
        auto* l = new ScratchCleaner;
        ::testing::UnitTest::GetInstance()->listeners().Append(l);
        return l;
    }();
    return *c;
}

// Registered before main so that folders made by the first test go too.
[[maybe_unused]] const bool cleaner_registered = (cleaner(), true);

}  // namespace

fs::path scratch_dir(const std::string& tag) {
    static int serial = 0;
    fs::path d = fs::temp_directory_path() /
                 ("nimbex_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    fs::remove_all(d);
    fs::create_directories(d);
    if (::testing::UnitTest::GetInstance()->current_test_info() != nullptr)
        cleaner().keep_until_test_end(d);
    else
        cleaner().keep_until_program_end(d);
    return d;
}

fs::path example_copy(const std::string& tag) {
    fs::path d = scratch_dir(tag);
    fs::copy(fs::path(NIMBEX_SOURCE_DIR) / "examples", d, fs::copy_options::recursive);
    return d;
}

void write_file(const fs::path& p, const std::string& text) {
    std::ofstream o(p, std::ios::binary);
    o << text;
}

std::string read_file(const fs::path& p) {
    std::ifstream i(p, std::ios::binary);
    std::stringstream s;
    s << i.rdbuf();
    return s.str();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
}

}  // namespace nimbex::testutil
