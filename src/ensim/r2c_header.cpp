#include "ensim/r2c_header.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "ensim/keyword_line.h"
#include "platform/console.h"
#include "platform/fatal.h"
#include "platform/files.h"
#include "platform/free_format.h"
#include "platform/parallel.h"

namespace nimbex {

namespace {

// A key's value: its first word converted into the field (a word that does
// not convert throws BadValue, which the header loop turns into a stop);
// -1 when the value is empty.
template <typename Field>
KeyOutcome take_first(std::string_view value, Field& field) {
    std::string word, rest;
    if (!next_word(value, word, rest)) return key_bad_value;
    take_value(word, field);
    return key_stored;
}

}  // namespace

void init_r2c_header(R2cHeader& h) {
    init_header(h);
    h.projection = "Cartesian";
    h.ellipsoid = "Unknown";
    h.zone = 0;
    h.xcount = 0;
    h.ycount = 0;
    h.xdelta = 0.0f;
    h.ydelta = 0.0f;
    h.xorigin = 0.0f;
    h.yorigin = 0.0f;
    h.angle = 0.0f;
    h.unitconversion = 1.0f;
    h.surveydate = "Unknown";
    h.surveytime = "Unknown";
}

void init_shed_header(ShedHeader& h) {
    init_r2c_header(h);
    h.nominalgridsize_al = 0.0f;
    h.contourinterval = 0.0f;
    h.elevconversion = 1.0f;
    h.classcount = 0;
    h.numriverclasses = 0;
    h.totalnumofgrids = 0;
    h.numgridsinbasin = 0;
    h.debuggridno = 0;
}

KeyOutcome handle_r2c_key(Console& con, R2cHeader& h, std::string_view key, std::string_view value) {
    key = trim_right(key);
    if (key == ":xcount") return take_first(value, h.xcount);
    if (key == ":ycount") return take_first(value, h.ycount);
    if (key == ":xdelta") return take_first(value, h.xdelta);
    if (key == ":ydelta") return take_first(value, h.ydelta);
    if (key == ":xorigin") return take_first(value, h.xorigin);
    if (key == ":yorigin") return take_first(value, h.yorigin);
    if (key == ":angle") return take_first(value, h.angle);
    if (key == ":unitconversion") return take_first(value, h.unitconversion);
    if (key == ":surveydate") return take_first(value, h.surveydate);
    if (key == ":surveytime") return take_first(value, h.surveytime);
    return handle_common_key(con, h, key, value, "r2c");
}

KeyOutcome handle_shed_key(Console& con, ShedHeader& h, std::string_view key, std::string_view value) {
    key = trim_right(key);
    if (key == ":sourcefilename") return take_first(value, h.sourcefilename);
    if (key == ":nominalgridsize_al") return take_first(value, h.nominalgridsize_al);
    if (key == ":contourinterval") return take_first(value, h.contourinterval);
    if (key == ":classcount") return take_first(value, h.classcount);
    if (key == ":elevconversion") return take_first(value, h.elevconversion);
    if (key == ":numriverclasses") return take_first(value, h.numriverclasses);
    if (key == ":totalnumofgrids") return take_first(value, h.totalnumofgrids);
    if (key == ":numgridsinbasin") return take_first(value, h.numgridsinbasin);
    if (key == ":debuggridno") return take_first(value, h.debuggridno);
    return handle_r2c_key(con, h, key, value);
}

// ---------------------------------------------------------------------------
// Attribute values. A large watershed file holds tens of megabytes of values,
// so rows are scanned in place: one line buffer, no allocation per value.

namespace {

inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
inline bool ends_word(char c) { return is_blank(c) || c == ',' || c == '/'; }

// One real as a free-format read takes it: plain, exponent with E, D or Q, or
// a signed exponent without its letter ("1.5-3"); a leading "+" is allowed.
bool word_to_float(std::string_view w, float& v) {
    // Whole numbers of up to 7 digits (most words of a watershed grid) are
    // exact as reals.
    if (!w.empty() && w.size() <= 7) {
        std::uint32_t u = 0;
        std::size_t i = 0;
        while (i < w.size() && w[i] >= '0' && w[i] <= '9') u = u * 10 + static_cast<std::uint32_t>(w[i++] - '0');
        if (i == w.size()) {
            v = static_cast<float>(u);
            return true;
        }
    }
    // Plain decimals ([-]digits[.digits]) need no rewriting for the conversion.
    bool plain = !w.empty() && w.size() <= 120;
    for (std::size_t i = 0; i < w.size() && plain; ++i) {
        const char c = w[i];
        plain = (c >= '0' && c <= '9') || c == '.' || (c == '-' && i == 0);
    }
    if (plain) {
        auto [ptr, ec] = std::from_chars(w.data(), w.data() + w.size(), v);
        if (ptr == w.data() + w.size() && ec == std::errc()) return true;
    }
    char buf[160];
    if (w.empty() || w.size() > 120) {
        return !w.empty() && parse_real(w, v);
    }
    std::size_t n = 0;
    for (std::size_t i = 0; i < w.size(); ++i) {
        char c = w[i];
        if (c == '+' && i == 0) continue;  // from_chars takes no leading plus
        if (c == 'd' || c == 'D' || c == 'q' || c == 'Q') c = 'e';
        if ((c == '+' || c == '-') && n > 0) {
            char p = buf[n - 1];
            if (p != 'e' && p != 'E' && p != '-' && p != '+') buf[n++] = 'e';
        }
        buf[n++] = c;
    }
    if (n == 0) return false;
    const char* first = buf;
    const char* last = buf + n;
    auto [ptr, ec] = std::from_chars(first, last, v);
    if (ptr != last) return false;
    if (ec == std::errc::result_out_of_range) {
        // Overflow gives an infinity, underflow zero (or a denormal), as the
        // host's conversion does.
        double d = 0.0;
        auto [p2, e2] = std::from_chars(first, last, d);
        if (p2 != last) return false;
        if (e2 == std::errc::result_out_of_range) {
            bool neg = buf[0] == '-';
            const char* e = std::find_if(first, last, [](char c) { return c == 'e' || c == 'E'; });
            bool big = e != last && e + 1 < last && e[1] != '-';
            d = big ? (neg ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity())
                    : (neg ? -0.0 : 0.0);
        }
        v = static_cast<float>(d);
        return true;
    }
    return ec == std::errc();
}

// Reads `n` values into `out` starting with `line` and going on over further
// lines as needed. Returns when the row is full, at "/" or end of file, or at
// a word that is not a number. Null values leave their item unchanged.
void read_row(std::string& line, FileUnit& f, float* out, std::size_t n) {
    std::size_t k = 0;
    std::size_t pos = 0;
    bool after_value = false;  // a comma right after a value only separates
    while (k < n) {
        while (pos < line.size() && is_blank(line[pos])) ++pos;
        if (pos >= line.size()) {
            if (!f.get_line(line)) return;
            pos = 0;
            continue;
        }
        const char c = line[pos];
        if (c == ',') {
            ++pos;
            if (after_value) after_value = false;
            else ++k;  // null value
            continue;
        }
        if (c == '/') return;
        std::size_t end = pos;
        while (end < line.size() && !ends_word(line[end])) ++end;
        std::string_view word(line.data() + pos, end - pos);
        pos = end;
        after_value = true;

        std::size_t repeat = 1;
        if (auto star = word.find('*'); star != std::string_view::npos) {
            int r = 0;
            auto [p, ec] = std::from_chars(word.data(), word.data() + star, r);
            if (ec != std::errc() || p != word.data() + star || r < 1) return;
            repeat = static_cast<std::size_t>(r);
            word.remove_prefix(star + 1);
            if (word.empty()) {  // r* : r null values
                k += std::min(repeat, n - k);
                continue;
            }
        }
        float v = 0.0f;
        if (!word_to_float(word, v)) return;
        // NaN, an infinity or a value beyond the real range would spread
        // through every sum it enters: refuse it.
        if (!std::isfinite(v))
            fatal_stop("Program aborted: grid value '" + std::string(word.substr(0, 40)) + "' is not a finite number in " +
                       f.name());
        for (std::size_t r = 0; r < repeat && k < n; ++r) out[k++] = v;
    }
}

}  // namespace

void read_attribute_values(R2cHeader& h, int xcount, int ycount, FileUnit& f) {
    const std::size_t nx = xcount > 0 ? static_cast<std::size_t>(xcount) : 0;
    const std::size_t ny = ycount > 0 ? static_cast<std::size_t>(ycount) : 0;
    const int count = std::min<int>(h.attribute_count, static_cast<int>(h.attributes.size()));
    std::string line;
    line.reserve(4096);
    for (int a = 0; a < count; ++a) {
        std::vector<float>& values = h.attributes[static_cast<std::size_t>(a)].values;
        if (values.capacity() < nx * ny) {  // large pages: far fewer page faults on a large grid
            values = std::vector<float>();
            values.reserve(nx * ny);
            advise_large_pages(values.data(), nx * ny * sizeof(float));
        }
        values.assign(nx * ny, 0.0f);
        for (std::size_t r = 0; r < ny; ++r) {
            if (!f.get_line(line)) continue;  // end of file: this row (and the rest) stay 0
            if (nx == 0) continue;
            read_row(line, f, values.data() + r * nx, nx);
        }
    }
}

}  // namespace nimbex
