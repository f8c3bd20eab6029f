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

// Writes the field of width w with D decimals (0 <= D <= 9) into dst[0..w).
// Returns false, leaving dst untouched, when put_f must do it.
template <int D>
inline bool fast_fixed_d(char* dst, float v, int w) {
    static_assert(D >= 0 && D <= 9);
    constexpr double pow10[10] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    constexpr std::uint64_t ipow10[10] = {1ull, 10ull, 100ull, 1000ull, 10000ull,
                                          100000ull, 1000000ull, 10000000ull,
                                          100000000ull, 1000000000ull};
    if (w < 1 || w > 40) return false;
    if (!(v >= 0.0f) || std::signbit(v)) return false;
    // A float has 24 significant bits and 10^d at most 21 more past its
    // powers of two, so this product is exact in double.
    const double x = static_cast<double>(v) * pow10[D];
    if (!(x < 1.0e15)) return false;
    std::uint64_t n = static_cast<std::uint64_t>(x);
    const double frac = x - static_cast<double>(n);
    if (frac == 0.5) return false;
    if (frac > 0.5) ++n;
    std::uint64_t ip = n / ipow10[D];
    std::uint64_t fp = n % ipow10[D];

    // Digits of the whole part, most significant last.
    char digits[24];
    int il = 0;
    for (; ip > 0; ip /= 10) digits[il++] = static_cast<char>('0' + ip % 10);
    int len = il + 1 + D;
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
    for (int k = D - 1; k >= 0; --k) {
        q[k] = static_cast<char>('0' + fp % 10);
        fp /= 10;
    }
    return true;
}

// The same with the number of decimals d given at run time.
inline bool fast_fixed(char* dst, float v, int w, int d) {
    switch (d) {
        case 0: return fast_fixed_d<0>(dst, v, w);
        case 1: return fast_fixed_d<1>(dst, v, w);
        case 2: return fast_fixed_d<2>(dst, v, w);
        case 3: return fast_fixed_d<3>(dst, v, w);
        case 4: return fast_fixed_d<4>(dst, v, w);
        case 5: return fast_fixed_d<5>(dst, v, w);
        case 6: return fast_fixed_d<6>(dst, v, w);
        case 7: return fast_fixed_d<7>(dst, v, w);
        case 8: return fast_fixed_d<8>(dst, v, w);
        case 9: return fast_fixed_d<9>(dst, v, w);
        default: return false;
    }
}

// Appends the field, through the fast path when it applies.
inline void append_fixed(std::string& out, float v, int w, int d) {
    const std::size_t pos = out.size();
    out.resize(pos + static_cast<std::size_t>(w));
    if (!fast_fixed(out.data() + pos, v, w, d)) {
        out.resize(pos);
        put_f_exact(out, v, w, d);
    }
}

// Writes n fields of width w with D decimals, each after one blank, into dst
// (n * (w + 1) characters). `slow` is scratch for the values put_f must write.
template <int D>
inline void fixed_fields_d(char* dst, const float* v, std::size_t n, int w, std::string& slow) {
    for (std::size_t j = 0; j < n; ++j) {
        *dst++ = ' ';
        if (!fast_fixed_d<D>(dst, v[j], w)) {
            slow.clear();
            put_f_exact(slow, v[j], w, D);
            std::memcpy(dst, slow.data(), static_cast<std::size_t>(w));
        }
        dst += w;
    }
}

inline void fixed_fields(char* dst, const float* v, std::size_t n, int w, int d, std::string& slow) {
    switch (d) {
        case 0: fixed_fields_d<0>(dst, v, n, w, slow); break;
        case 1: fixed_fields_d<1>(dst, v, n, w, slow); break;
        case 2: fixed_fields_d<2>(dst, v, n, w, slow); break;
        case 3: fixed_fields_d<3>(dst, v, n, w, slow); break;
        case 4: fixed_fields_d<4>(dst, v, n, w, slow); break;
        case 5: fixed_fields_d<5>(dst, v, n, w, slow); break;
        case 6: fixed_fields_d<6>(dst, v, n, w, slow); break;
        default:
            for (std::size_t j = 0; j < n; ++j) {
                *dst++ = ' ';
                slow.clear();
                put_f_exact(slow, v[j], w, d);
                std::memcpy(dst, slow.data(), static_cast<std::size_t>(w));
                dst += w;
            }
    }
}

}  // namespace nimbex
