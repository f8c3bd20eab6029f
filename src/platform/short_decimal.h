#pragma once
// The quick reading of the commonest real in the program's files: a plain
// decimal ("12", "-0.25", "153.7") whose digits make a whole number m of at
// most 2^24, with f <= 10 decimals. m and 10^f are then both exact in single
// precision, so one correctly rounded division gives the correctly rounded
// value: the same float as a full decimal conversion. Anything else is left
// to that conversion.
#include <cstdint>
#include <string_view>

namespace nimbex {

// Reads the longest [-]digits[.digits] at p (before e) the way described
// above and returns where it ends, with the value in v; nullptr, v untouched,
// when there is no such text there or this reading does not take it. The
// caller decides whether what follows ends the word.
inline const char* short_decimal_prefix(const char* p, const char* e, float& v) {
    static constexpr float pow10[11] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    const bool neg = p != e && *p == '-';
    if (neg) ++p;
    std::uint32_t m = 0;
    int digits = 0, decimals = -1;  // -1: no point yet
    for (; p != e; ++p) {
        const unsigned d = static_cast<unsigned>(*p - '0');
        if (d < 10u) {
            m = m * 10u + d;  // at most 2^24 before, so no overflow
            if (m > (1u << 24)) return nullptr;
            ++digits;
            if (decimals >= 0) ++decimals;
        } else if (*p == '.' && decimals < 0) {
            decimals = 0;
        } else {
            break;
        }
    }
    if (digits == 0 || decimals > 10) return nullptr;
    const float x = decimals > 0 ? static_cast<float>(m) / pow10[decimals] : static_cast<float>(m);
    v = neg ? -x : x;
    return p;
}

// True, with the value in v, when w is [-]digits[.digits] (a point alone
// does not count) that this reading takes; false, v untouched, otherwise.
inline bool short_decimal(std::string_view w, float& v) {
    const char* e = w.data() + w.size();
    float x = 0.0f;
    if (short_decimal_prefix(w.data(), e, x) != e) return false;
    v = x;
    return true;
}

}  // namespace nimbex
