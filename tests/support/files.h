#pragma once
// Scratch folders and small file helpers shared by every test.
#include <filesystem>
#include <string>
#include <vector>

namespace nimbex::testutil {

// A new empty folder in the temporary directory, removed with everything in
// it when the running test ends (or when the test program ends, if made
// outside a test).
std::filesystem::path scratch_dir(const std::string& tag);

// A scratch folder holding a copy of the example folder (basin and events).
std::filesystem::path example_copy(const std::string& tag);

void write_file(const std::filesystem::path& p, const std::string& text);

// The whole file, byte for byte ("" when it cannot be read).
std::string read_file(const std::filesystem::path& p);

// The lines of a text, without their line ends.
std::vector<std::string> lines_of(const std::string& text);

}  // namespace nimbex::testutil
