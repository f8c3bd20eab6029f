#pragma once
// A fast Fortran Fw.d field for grid values. It handles the common case -- a
// finite value -- and leaves everything else (NaN, infinity, very large
// values, fields too narrow for the leading zero) to put_f, so the bytes are
// always those of put_f.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fortran_format.h"

namespace nimbex {

inline constexpr std::uint64_t fixed_pow10[10] = {1ull,      10ull,      100ull,      1000ull,      10000ull,
                                                   100000ull, 1000000ull, 10000000ull, 100000000ull, 1000000000ull};

// v * 10^D rounded to a whole number n, from the bits of v: v is m * 2^e
// with m below 2^24, and m * 10^D stays below 2^54, so this is exact.
// Returns false when put_f must do it (negative, minus zero, NaN, infinity,
// 10^15 or more).
template <int D>
inline bool fixed_round(float v, std::uint64_t& n) {
    static_assert(D >= 0 && D <= 9);
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    if (bits >> 31) return false;  // negative, minus zero
    const int biased = static_cast<int>(bits >> 23);
    if (biased == 0xff) return false;  // NaN, infinity
    std::uint64_t m = bits & 0x7fffffu;
    int e = -149;
    if (biased != 0) {
        m |= 0x800000u;
        e = biased - 150;
    }
    const std::uint64_t prod = m * fixed_pow10[D];
    n = 0;
    if (e >= 0) {
        if (e > 9) return false;
        n = prod << e;
        if (n >= 1000000000000000ull) return false;
    } else if (e > -64) {
        const int sh = -e;
        n = prod >> sh;
        if (n >= 1000000000000000ull) return false;
        const std::uint64_t rem = prod & ((std::uint64_t{1} << sh) - 1);
        const std::uint64_t half = std::uint64_t{1} << (sh - 1);
        // Exactly halfway goes to the even neighbour, as put_f's conversion
        // rounds (binary fractions such as 0.125 are common in grids).
        n += rem > half || (rem == half && (n & 1) != 0) ? 1 : 0;
    }  // else below 2^-10: 0
    return true;
}

// The field of width w (1 to 40) for n / 10^D into dst[0..w). Returns false
// when put_f must do it (no room for the leading zero).
template <int D>
inline bool fixed_text(char* dst, std::uint64_t n, int w) {
    // The text from the right: decimals, point, whole part (two digits at a
    // time), in a blank-filled buffer whose last w characters are the field.
    static constexpr char pairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char buf[48];
    std::memset(buf, ' ', sizeof buf);
    char* q = buf + sizeof buf;
    std::uint64_t ip = n / fixed_pow10[D];
    std::uint64_t fp = n - ip * fixed_pow10[D];
    for (int k = 0; k < D; ++k) {
        *--q = static_cast<char>('0' + fp % 10);
        fp /= 10;
    }
    *--q = '.';
    const bool lead_zero = (ip == 0);
    if (lead_zero) {
        *--q = '0';
    } else {
        while (ip >= 100) {
            q -= 2;
            std::memcpy(q, pairs + 2 * (ip % 100), 2);
            ip /= 100;
        }
        if (ip >= 10) {
            q -= 2;
            std::memcpy(q, pairs + 2 * ip, 2);
        } else {
            *--q = static_cast<char>('0' + ip);
        }
    }
    const int len = static_cast<int>(buf + sizeof buf - q);
    if (len > w) {
        if (lead_zero) return false;  // no room for the leading zero
        std::memset(dst, '*', static_cast<std::size_t>(w));
        return true;
    }
    // The usual widths as two overlapping fixed-size copies, not a call.
    const char* src = buf + sizeof buf - w;
    if (w >= 8 && w <= 16) {
        std::memcpy(dst, src, 8);
        std::memcpy(dst + w - 8, src + w - 8, 8);
    } else if (w >= 4 && w < 8) {
        std::memcpy(dst, src, 4);
        std::memcpy(dst + w - 4, src + w - 4, 4);
    } else {
        std::memcpy(dst, src, static_cast<std::size_t>(w));
    }
    return true;
}

// Writes the field of width w with D decimals (0 <= D <= 9) into dst[0..w).
// Returns false, leaving dst untouched, when put_f must do it.
template <int D>
inline bool fast_fixed_d(char* dst, float v, int w) {
    if (w < 1 || w > 40) return false;
    std::uint64_t n = 0;
    if (!std::signbit(v)) return fixed_round<D>(v, n) && fixed_text<D>(dst, n, w);
    // A negative value (minus zero too, as put_f writes it): the field of
    // its magnitude one narrower, and the sign just before the digits.
    if (w < 2 || !fixed_round<D>(-v, n) || !fixed_text<D>(dst + 1, n, w - 1)) return false;
    if (dst[1] == '*') {
        dst[0] = '*';
        return true;
    }
    int first = 1;
    while (dst[first] == ' ') ++first;
    std::memset(dst, ' ', static_cast<std::size_t>(first));
    dst[first - 1] = '-';
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
// The texts of the F6.2 fields of 0.00 to 99.99 (the frames' field and its
// usual values), 8 characters apart.
inline const char* f62_texts() {
    static const std::vector<char> texts = [] {
        std::vector<char> t(10000 * 8, ' ');
        for (std::uint64_t n = 0; n < 10000; ++n) fixed_text<2>(t.data() + n * 8, n, 6);
        return t;
    }();
    return texts.data();
}

// The F6.2 table's entry for each of n values (n * 100 rounded, 0 to 9999),
// or -1 where the table does not apply (negative or minus zero, NaN,
// infinity, 99.995 or more, exactly halfway): the rounding of fixed_round<2>
// done in double precision, where v * 100 and its fraction are exact, for
// many values at once.
void f62_entries(const float* v, std::int32_t* entry, std::size_t n);

template <int D>
inline void fixed_fields_d(char* dst, const float* v, std::size_t n, int w, std::string& slow) {
    if constexpr (D == 2) {
        if (w == 6) {
            const char* texts = f62_texts();
            constexpr std::size_t block = 256;
            std::int32_t entry[block];
            for (std::size_t j0 = 0; j0 < n; j0 += block) {
                const std::size_t nb = std::min(block, n - j0);
                f62_entries(v + j0, entry, nb);
                for (std::size_t j = 0; j < nb; ++j) {
                    *dst++ = ' ';
                    const std::int32_t h = entry[j];
                    if (h >= 0) {
                        std::memcpy(dst, texts + static_cast<std::size_t>(h) * 8, 4);
                        std::memcpy(dst + 2, texts + static_cast<std::size_t>(h) * 8 + 2, 4);
                    } else if (!fast_fixed_d<2>(dst, v[j0 + j], w)) {
                        slow.clear();
                        put_f_exact(slow, v[j0 + j], w, 2);
                        std::memcpy(dst, slow.data(), 6);
                    }
                    dst += 6;
                }
            }
            return;
        }
    }
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
