#pragma once
// A parameter-file run in a scratch directory: the demo basin's file as the
// starting text, a small watershed, captured console and information report.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/run_state.h"
#include "platform/fatal.h"
#include "readers/par_state.h"
#include "readers/parameter_file.h"
#include "support/files.h"

namespace par_test {

namespace fs = std::filesystem;

inline std::string demo_text() {
    return nimbex::testutil::read_file(std::string(NIMBEX_SOURCE_DIR) + "/examples/basin/demo_par.csv");
}

// Replaces the first line that starts with `key` by `line` (removes it when
// `line` is empty).
inline void set_line(std::string& text, const std::string& key, const std::string& line) {
    std::size_t pos = text.find("\n" + key);
    ASSERT_NE(pos, std::string::npos) << key;
    std::size_t end = text.find('\n', pos + 1);
    text.replace(pos + 1, end - pos, line.empty() ? "" : line + "\n");
}

// Inserts `line` after the first line that starts with `key`.
inline void add_after(std::string& text, const std::string& key, const std::string& line) {
    std::size_t pos = text.find("\n" + key);
    ASSERT_NE(pos, std::string::npos) << key;
    std::size_t end = text.find('\n', pos + 1);
    text.insert(end + 1, line + "\n");
}

inline int count(const std::string& hay, const std::string& needle) {
    int n = 0;
    for (std::size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
    return n;
}

class ParRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir = nimbex::testutil::scratch_dir("par");
        old_cwd = fs::current_path();
        fs::current_path(dir);  // the override file is looked for here
        text = demo_text();
        ASSERT_FALSE(text.empty());
        // Watershed: 3 land-cover classes, 1 river class, 4 grids on 2 rows.
        rs.shed.classcount = 3;
        rs.shed.numriverclasses = 1;
        rs.shed.totalnumofgrids = 4;
        rs.shed.numgridsinbasin = 4;
        rs.shed.iak = {0, 1, 1, 1, 1};
        rs.shed.yyy = {0, 1, 1, 2, 2};
        rs.shed.xxx = {0, 1, 2, 1, 2};
        for (auto* v : {&rs.shed.flz, &rs.shed.pwr, &rs.shed.r1n, &rs.shed.r2n, &rs.shed.mndr, &rs.shed.aa2,
                        &rs.shed.aa3, &rs.shed.aa4, &rs.shed.widep})
            v->assign(5, 9.0f);
        ASSERT_EQ(rs.files.open(51, (dir / "nimbex_info.txt").string(), nimbex::OpenStatus::unknown), 0);
    }
    void TearDown() override {
        rs.files.close_all();
        fs::current_path(old_cwd);
        fs::remove_all(dir);
    }

    // Writes `text` as the parameter file and reads it. Returns the stop
    // message ("" when the call returned).
    std::string run() {
        {
            std::ofstream f(dir / "bsnm_par.csv");
            f << text;
        }
        rs.file_name(2) = "bsnm_par.csv";
        try {
            nimbex::read_par_parser(rs, 32, 2, par);
        } catch (const nimbex::FatalStop& e) {
            return e.message();
        }
        return "";
    }
    std::string console() const { return out.str(); }
    std::string info() {
        rs.files[51].flush();
        return nimbex::testutil::read_file(dir / "nimbex_info.txt");
    }
    int pauses(const std::string& pause_text) const { return count(out.str(), pause_text + "\n"); }

    fs::path dir, old_cwd;
    std::string text;
    std::ostringstream out;
    std::istringstream in{std::string(50, '\n')};
    nimbex::Console con{out, in};
    nimbex::RunState rs{con};
    nimbex::ParState par;  // the reader's state, kept across runs like the values set before one
};

}  // namespace par_test
