#pragma once
// A private scratch folder per test and small file helpers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace nimbex::testutil {

inline std::filesystem::path scratch_dir(const std::string& tag) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path d = std::filesystem::temp_directory_path() /
                              ("nimbex_" + tag + "_" + std::string(info->test_suite_name()) + "_" +
                               info->name() + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    return d;
}

inline void write_file(const std::filesystem::path& p, const std::string& text) {
    std::ofstream o(p, std::ios::binary);
    o << text;
}

inline std::string read_file(const std::filesystem::path& p) {
    std::ifstream i(p, std::ios::binary);
    std::stringstream s;
    s << i.rdbuf();
    return s.str();
}

inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) v.push_back(l);
    return v;
}

}  // namespace nimbex::testutil
