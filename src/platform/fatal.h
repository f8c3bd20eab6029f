#pragma once
// The fatal stop: every unrecoverable condition throws FatalStop carrying the
// stop line; only main catches it, prints the line and exits non-zero.
#include <stdexcept>
#include <string>

namespace nimbex {

class FatalStop : public std::runtime_error {
public:
    explicit FatalStop(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
};

// Throws FatalStop(message). Explanation lines go to the console before calling this.
[[noreturn]] void fatal_stop(const std::string& message);

}  // namespace nimbex
