#pragma once
// Refusing values read from input that are not finite or lie beyond the
// bounds of platform/limits.h.
#include <string>
#include <string_view>

namespace nimbex {

class Console;

// True when v is a finite number from lo to hi.
bool in_range(float v, float lo, float hi);

// Stops the run unless v is a finite number from lo to hi. The stop line
// names the routine, what the value is (a keyword, or a station and line),
// the value and the file:
//   "Program aborted in <routine>: <what> <value> is out of range in <file>"
void check_range(Console& con, std::string_view routine, std::string_view what, float v, float lo, float hi,
                 std::string_view file);

// The same for a value whose size must be at most `limit`.
inline void check_magnitude(Console& con, std::string_view routine, std::string_view what, float v, float limit,
                       std::string_view file) {
    check_range(con, routine, what, v, -limit, limit, file);
}

// A real as the messages show it ("1.00000002E+30", "NaN").
std::string real_text(float v);

}  // namespace nimbex
