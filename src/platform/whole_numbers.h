#pragma once
// Reals cut to whole numbers, as the file layouts' integer fields take them.
#include <cmath>

namespace nimbex {

// A real cut toward zero. NaN gives 0, and values beyond the integer range
// are held at its ends rather than left to an undefined conversion. The
// largest real below 2^31 (2147483520) still fits and is kept as it is.
inline int cut_to_int(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0f) return 2147483647;
    if (v <= -2147483648.0f) return -2147483647 - 1;
    return static_cast<int>(v);
}

}  // namespace nimbex
