#pragma once
// A fast Fortran Fw.d field for grid values. It handles the common case -- a
// non-negative finite value that is not exactly halfway between two results --
// and leaves everything else (negative values, minus zero, NaN, infinity,
// very large values, exact ties, fields too narrow for the leading zero) to
// put_f, so the bytes are always those of put_f.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/fortran_format.h"

namespace nimbex {

// Writes the field of width w with d decimals (0 <= d <= 9) into dst[0..w).
// Returns false, leaving dst untouched, when put_f must do it.
inline bool fast_fixed(char* dst, float v, int w, int d) {
    static constexpr double pow10[10] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    static constexpr std::uint64_t ipow10[10] = {1ull, 10ull, 100ull, 1000ull, 10000ull,
                                                 100000ull, 1000000ull, 10000000ull,
                                                 100000000ull, 1000000000ull};
    if (d < 0 || d > 9 || w < 1 || w > 40) return false;
    if (!(v >= 0.0f) || std::signbit(v)) return false;
    // A float has 24 significant bits and 10^d at most 21 more past its
    // powers of two, so this product is exact in double.
    const double x = static_cast<double>(v) * pow10[d];
    if (!(x < 1.0e15)) return false;
    std::uint64_t n = static_cast<std::uint64_t>(x);
    const double frac = x - static_cast<double>(n);
    if (frac == 0.5) return false;
    if (frac > 0.5) ++n;
    const std::uint64_t ip = n / ipow10[d];
    std::uint64_t fp = n % ipow10[d];

    char digits[24];
    int il = 0;
    for (std::uint64_t t = ip; t > 0; t /= 10) digits[il++] = static_cast<char>('0' + t % 10);
    int len = il + 1 + d;
    const bool lead_zero = (il == 0);
    if (lead_zero) {
        if (len + 1 > w) return false;
        ++len;
    }
    if (len > w) {
        std::memset(dst, '*', static_cast<std::size_t>(w));
        return true;
    }
    char* q = dst;
    for (int b = w - len; b > 0; --b) *q++ = ' ';
    if (lead_zero) *q++ = '0';
    while (il > 0) *q++ = digits[--il];
    *q++ = '.';
    for (int k = d - 1; k >= 0; --k) {
        q[k] = static_cast<char>('0' + fp % 10);
        fp /= 10;
    }
    return true;
}

// Appends the field, through the fast path when it applies.
inline void append_fixed(std::string& out, float v, int w, int d) {
    const std::size_t pos = out.size();
    out.resize(pos + static_cast<std::size_t>(w));
    if (!fast_fixed(out.data() + pos, v, w, d)) {
        out.resize(pos);
        put_f(out, v, w, d);
    }
}

}  // namespace nimbex
