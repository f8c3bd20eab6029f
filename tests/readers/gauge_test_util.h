#pragma once
// A run state in a private scratch folder, with the five reports open on
// units 50..54, for the gauge reader tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "support/files.h"
#include "platform/fatal.h"

namespace nimbex::testutil {

class GaugeRun : public ::testing::Test {
protected:
    std::filesystem::path dir;
    std::filesystem::path old_cwd;
    std::ostringstream out;
    std::istringstream in;
    Console con{out, in};
    std::unique_ptr<RunState> rs;

    static constexpr const char* report_names[5] = {"nimbex_cumm.txt", "nimbex_info.txt", "nimbex_recl.txt",
                                                    "nimbex_flag.txt", "nimbex_yrly.txt"};

    void SetUp() override {
        dir = scratch_dir("gauges");
        old_cwd = std::filesystem::current_path();
        std::filesystem::current_path(dir);
        rs = std::make_unique<RunState>(con);
        for (int u = 50; u <= 54; ++u) ASSERT_EQ(rs->files.open(u, report_names[u - 50], OpenStatus::unknown), 0);
    }
    void TearDown() override {
        rs->files.close_all();
        rs.reset();
        std::filesystem::current_path(old_cwd);
        std::filesystem::remove_all(dir);
    }

    // The lines written so far to report unit 50..54.
    std::vector<std::string> report(int unit) {
        rs->files[unit].flush();
        return lines_of(read_file(dir / report_names[unit - 50]));
    }
    std::vector<std::string> console() { return lines_of(out.str()); }
    // The stop line of a call that must end the run.
    template <typename F>
    std::string stop_of(F&& f) {
        try {
            f();
        } catch (const FatalStop& e) {
            return e.message();
        }
        ADD_FAILURE() << "expected a fatal stop";
        return {};
    }
    bool console_has(const std::string& line) {
        for (const auto& l : console())
            if (l == line) return true;
        return false;
    }
};

}  // namespace nimbex::testutil
