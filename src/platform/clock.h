#pragma once
// The wall clock, for the creation date of written grids.

namespace nimbex {

struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Local date and time now. Setting NIMBEX_FIXED_CLOCK="YYYY-MM-DD hh:mm" in the
// environment pins it (for reproducible comparisons of output files).
DateTime now_local();

}  // namespace nimbex
