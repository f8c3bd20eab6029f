#pragma once
// The calendar the run dates its frames with: every year divisible by 4 is a
// leap year (no century rule).

namespace nimbex {

// Days in a month of a year; 31 for a month outside 1..12.
inline int month_length(int year, int month) {
    static constexpr int days[13] = {31, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 31;
    if (month == 2 && year % 4 == 0) return 29;
    return days[month];
}

}  // namespace nimbex
