#pragma once
// A tiny 5 x 7 bitmap font (with descenders below) (printable ASCII) for the quick-look images, so
// that they need no font library.
#include <cstdint>

namespace nimbex::r2ctool {

constexpr int glyph_width = 5;
constexpr int glyph_height = 9;  // 7 above the baseline, 2 for descenders

// Nine rows of the character, top first; bit 4 is the leftmost column.
// Characters outside 32..126 give the glyph of '?'.
const std::uint8_t* glyph(char c);

}  // namespace nimbex::r2ctool
