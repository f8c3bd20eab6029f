#include "platform/fortran_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/cell_kernel.h"
#include "platform/fast_fixed.h"

namespace nimbex {

namespace {

void put_stars(std::string& out, int w) {
    if (w > 0) out.append(static_cast<std::size_t>(w), '*');
}

// Right-aligns `body` (with its sign already in place) in w columns.
void put_right(std::string& out, std::string_view body, int w) {
    if (w <= 0) return;
    if (static_cast<int>(body.size()) > w) {
        put_stars(out, w);
        return;
    }
    out.append(static_cast<std::size_t>(w) - body.size(), ' ');
    out.append(body);
}

// NaN and infinities as gfortran writes them in a numeric field.
bool put_special(std::string& out, double v, int w) {
    if (std::isnan(v)) {
        put_right(out, "NaN", w);
        return true;
    }
    if (std::isinf(v)) {
        bool neg = v < 0;
        if (w >= 8 + (neg ? 1 : 0))
            put_right(out, neg ? "-Infinity" : "Infinity", w);
        else if (w >= 3 + (neg ? 1 : 0))
            put_right(out, neg ? "-Inf" : "Inf", w);
        else
            put_stars(out, w);
        return true;
    }
    return false;
}

}  // namespace

void put_i(std::string& out, long long v, int w) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    put_right(out, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), w);
}

std::string fmt_i(long long v, int w) {
    std::string s;
    put_i(s, v, w);
    return s;
}

void put_f(std::string& out, double v, int w, int d) {
    // Single-precision values, the common case, take the fast path when it
    // applies; it writes the same field.
    if (w > 0 && w <= 40 && v >= 0.0 && static_cast<double>(static_cast<float>(v)) == v) {
        char field[40];
        if (fast_fixed(field, static_cast<float>(v), w, d)) {
            out.append(field, static_cast<std::size_t>(w));
            return;
        }
    }
    put_f_exact(out, v, w, d);
}

void put_f_exact(std::string& out, double v, int w, int d) {
    if (w <= 0) return;
    if (put_special(out, v, w)) return;
    if (d < 0) d = 0;
    char buf[400];
    // %f rounds the exact binary value to nearest, as Fortran's F editing does.
    int n = std::snprintf(buf + 1, sizeof buf - 2, "%.*f", d, std::fabs(v));
    if (n < 0 || n >= static_cast<int>(sizeof buf) - 3) {
        put_stars(out, w);
        return;
    }
    char* body = buf + 1;
    if (d == 0) body[n++] = '.';  // the point is always written
    body[n] = '\0';
    const bool neg = std::signbit(v);
    int len = n + (neg ? 1 : 0);
    // The leading zero before the point is written only when the field has room.
    if (len > w && body[0] == '0' && body[1] == '.') {
        ++body;
        --n;
        --len;
    }
    if (len > w) {
        put_stars(out, w);
        return;
    }
    if (neg) {
        *--body = '-';
        ++n;
    }
    out.append(static_cast<std::size_t>(w - len), ' ');
    out.append(body, static_cast<std::size_t>(n));
}

std::string fmt_f(double v, int w, int d) {
    std::string s;
    put_f(s, v, w, d);
    return s;
}

void put_e(std::string& out, double v, int w, int d) {
    if (w <= 0) return;
    if (put_special(out, v, w)) return;
    if (d < 1) d = 1;
    const bool neg = std::signbit(v);
    const double a = std::fabs(v);
    std::string digits;
    int exp10 = 0;
    if (a == 0.0) {
        digits.assign(static_cast<std::size_t>(d), '0');
    } else {
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*e", d - 1, a);  // d.ddd e+xx
        std::string_view s(buf);
        auto epos = s.find('e');
        for (std::size_t i = 0; i < epos; ++i)
            if (s[i] != '.') digits.push_back(s[i]);
        exp10 = std::atoi(buf + epos + 1) + 1;  // 0.ddd form
    }
    std::string body;
    if (neg) body.push_back('-');
    body += "0.";
    body += digits;
    int ae = std::abs(exp10);
    char eb[8];
    if (ae <= 99) {
        std::snprintf(eb, sizeof eb, "E%c%02d", exp10 < 0 ? '-' : '+', ae);
    } else if (ae <= 999) {
        std::snprintf(eb, sizeof eb, "%c%03d", exp10 < 0 ? '-' : '+', ae);
    } else {
        put_stars(out, w);
        return;
    }
    body += eb;
    if (static_cast<int>(body.size()) > w) {
        // drop the optional leading zero
        auto z = body.find("0.");
        body.erase(z, 1);
    }
    put_right(out, body, w);
}

std::string fmt_e(double v, int w, int d) {
    std::string s;
    put_e(s, v, w, d);
    return s;
}

void put_a(std::string& out, std::string_view s, int w) {
    if (w <= 0) return;
    if (static_cast<int>(s.size()) >= w) {
        out.append(s.substr(0, static_cast<std::size_t>(w)));
    } else {
        out.append(static_cast<std::size_t>(w) - s.size(), ' ');
        out.append(s);
    }
}

std::string fmt_a(std::string_view s, int w) {
    std::string r;
    put_a(r, s, w);
    return r;
}

void put_pad(std::string& out, std::string_view s, int w) {
    if (w <= 0) return;
    if (static_cast<int>(s.size()) >= w) {
        out.append(s.substr(0, static_cast<std::size_t>(w)));
    } else {
        out.append(s);
        out.append(static_cast<std::size_t>(w) - s.size(), ' ');
    }
}

std::string fmt_pad(std::string_view s, int w) {
    std::string r;
    put_pad(r, s, w);
    return r;
}

// ---- list-directed items -------------------------------------------------

std::string list_int(long long v) { return fmt_i(v, 11); }

namespace {

// G editing with scale factor 1, as list-directed output uses it:
// `sig` significant digits, field `w`, exponent digits `e`.
// Appends the list-directed field of v (w columns, sig significant digits,
// e exponent digits) to out.
void put_list_g(std::string& out, double v, int w, int sig, int e) {
    if (std::isnan(v) || std::isinf(v)) {
        put_special(out, v, w);
        return;
    }
    const double a = std::fabs(v);
    const bool neg = std::signbit(v);
    const int fw = w - (e + 2);  // width of the fixed-point part; e+2 blanks follow
    int k = 1;                   // zero is written in the fixed form with sig-1 decimals
    // The digits before the point of a single-precision value from 0.1 up:
    // such a value never lies close enough below a power of ten for rounding
    // to nine digits to reach it, so comparing with the powers is enough.
    const bool quick = sig == 9 && a >= 0.1 && a < 1.0e9 && static_cast<double>(static_cast<float>(a)) == a;
    if (quick) {
        k = 0;
        for (double p = 1.0; a >= p; p *= 10.0) ++k;
    } else if (a != 0.0) {
        // The digits of "%.*e" (to_chars is defined to give printf's), without
        // printf's cost.
        char buf[64];
        const std::to_chars_result r =
            std::to_chars(buf, buf + sizeof buf - 1, a, std::chars_format::scientific, sig - 1);
        *r.ptr = '\0';
        k = std::atoi(std::strchr(buf, 'e') + 1) + 1;
        if (k < 0 || k > sig) {
            // exponent form d.ddd E+xx
            std::string_view s(buf);
            auto ep = s.find('e');
            std::string body;
            if (neg) body.push_back('-');
            body.append(s.substr(0, ep));
            int ex = k - 1;
            char eb[16];
            std::snprintf(eb, sizeof eb, "E%c%0*d", ex < 0 ? '-' : '+', e, std::abs(ex));
            body += eb;
            put_right(out, body, w);
            return;
        }
    }
    put_f(out, v, fw, sig - k);
    out.append(static_cast<std::size_t>(e + 2), ' ');
}

// A real's list-directed field. From 0.1 up to 10^9 it is a fixed field of
// 12 columns with nine significant digits and 4 blanks, written here
// without put_list_g's general steps (the values of whole listings).
void put_list_real(std::string& out, float v) {
    const double a = std::fabs(static_cast<double>(v));
    if (a >= 0.1 && a < 1.0e9) {
        int k = 0;  // digits before the point
        for (double p = 1.0; a >= p; p *= 10.0) ++k;
        const std::size_t pos = out.size();
        out.resize(pos + 16);
        if (fast_fixed(out.data() + pos, v, 12, 9 - k)) {
            std::memset(out.data() + pos + 12, ' ', 4);
            return;
        }
        out.resize(pos);
    }
    put_list_g(out, static_cast<double>(v), 16, 9, 2);
}

}  // namespace

std::string list_real(float v) {
    std::string s;
    put_list_real(s, v);
    return s;
}

std::string list_double(double v) {
    std::string s;
    put_list_g(s, v, 25, 17, 3);
    return s;
}

void ListLine::before_item(bool is_text) {
    if (!started_) {
        if (first_blank_) s_.push_back(' ');
        started_ = true;
    } else if (!(is_text && last_text_)) {
        s_.push_back(' ');
    }
    last_text_ = is_text;
}

ListLine& ListLine::operator<<(std::string_view s) {
    if (!started_ && !first_blank_) {
        started_ = true;  // a console message begins with its text as given
    } else {
        before_item(true);
    }
    last_text_ = true;
    s_.append(s);
    return *this;
}

ListLine& ListLine::operator<<(int v) { return *this << static_cast<long long>(v); }
ListLine& ListLine::operator<<(long v) { return *this << static_cast<long long>(v); }

ListLine& ListLine::operator<<(long long v) {
    before_item(false);
    put_i(s_, v, 11);
    return *this;
}

ListLine& ListLine::operator<<(float v) {
    before_item(false);
    put_list_real(s_, v);
    return *this;
}

ListLine& ListLine::operator<<(double v) {
    before_item(false);
    put_list_g(s_, v, 25, 17, 3);
    return *this;
}

ListLine& ListLine::operator<<(bool v) {
    before_item(false);
    s_.push_back(v ? 'T' : 'F');
    return *this;
}

NIMBEX_CELL_KERNEL void f62_entries(const float* v, std::int32_t* entry, std::size_t n) {
    for (std::size_t j = 0; j < n; ++j) {
        std::uint32_t bits;
        std::memcpy(&bits, v + j, sizeof bits);
        const double x = static_cast<double>(v[j]) * 100.0;  // exact: 24 + 7 bits
        const double whole = __builtin_floor(x);
        const double part = x - whole;  // exact
        const bool table = (bits >> 31) == 0 && x < 9999.5 && part != 0.5;  // NaN fails x < 9999.5
        const double rounded = table ? whole : 0.0;
        entry[j] = table ? static_cast<std::int32_t>(rounded) + (part > 0.5 ? 1 : 0) : -1;
    }
}

}  // namespace nimbex
