#include "ensim/r2c_header.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>
#include <limits>
#include <string>
#include <system_error>

#include "ensim/keyword_line.h"
#include "platform/console.h"
#include "platform/fatal.h"
#include "platform/files.h"
#include "platform/free_format.h"
#include "platform/parallel.h"
#include "platform/short_decimal.h"

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
    if (short_decimal(w, v)) return true;
    // Other plain decimals ([-]digits[.digits]) need no rewriting for the conversion.
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

// Where a grid row's lines come from: lines already read ahead (so that
// rows can be read in parallel), then the file. A stop met while reading
// ahead is raised only when its line is wanted, as reading line by line would.
class RowLines {
public:
    explicit RowLines(FileUnit& f) : f_(f) {}

    bool get(std::string& line) {
        if (used_ < count_) {
            line.swap(ahead_[used_++]);
            return true;
        }
        if (stop_) std::rethrow_exception(std::exchange(stop_, nullptr));
        return !end_ && f_.get_line(line);
    }

    // Reads ahead until `lines` lines are waiting or about `bytes` bytes are
    // held; never past the file's end or a stop. The lines' strings are
    // kept and filled again, so reading ahead allocates nothing once the
    // first batch is read.
    void read_ahead(std::size_t lines, std::size_t bytes) {
        std::size_t k = 0;
        for (std::size_t i = used_; i < count_; ++i) ahead_[k++].swap(ahead_[i]);
        count_ = k;
        used_ = 0;
        std::size_t held = 0;
        for (std::size_t i = 0; i < count_; ++i) held += ahead_[i].size();
        while (count_ < lines && held < bytes && !stop_ && !end_) {
            if (count_ == ahead_.size()) ahead_.emplace_back();
            std::string& l = ahead_[count_];
            try {
                if (!f_.get_line(l)) {
                    end_ = true;
                    break;
                }
            } catch (...) {
                stop_ = std::current_exception();
                break;
            }
            held += l.size();
            ++count_;
        }
    }

    std::size_t waiting() const { return count_ - used_; }
    const std::string& waiting_line(std::size_t i) const { return ahead_[used_ + i]; }
    void skip(std::size_t n) { used_ += n; }
    FileUnit& file() { return f_; }

private:
    FileUnit& f_;
    std::vector<std::string> ahead_;  // [used_, count_) wait; the rest are spare strings
    std::size_t used_ = 0, count_ = 0;
    std::exception_ptr stop_;
    bool end_ = false;
};

// Reads `n` values into `out` starting with `line` and going on over further
// lines as needed. Returns when the row is full, at "/" or end of file, or at
// a word that is not a number. Null values leave their item unchanged.
void read_row(std::string& line, RowLines& lines, float* out, std::size_t n) {
    std::size_t k = 0;
    std::size_t pos = 0;
    bool after_value = false;  // a comma right after a value only separates
    while (k < n) {
        while (pos < line.size() && is_blank(line[pos])) ++pos;
        if (pos >= line.size()) {
            if (!lines.get(line)) return;
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
                       lines.file().name());
        for (std::size_t r = 0; r < repeat && k < n; ++r) out[k++] = v;
    }
}

// The common row: `n` plain finite numbers between blanks on its own line.
// Reads it as read_row would and says true; says false for any other row
// (fewer numbers, separators, repeats, a word that ends the row early), which
// read_row then reads again.
bool read_plain_row(const std::string& line, float* out, std::size_t n) {
    const char* p = line.data();
    const char* const e = p + line.size();
    for (std::size_t k = 0; k < n; ++k) {
        while (p < e && is_blank(*p)) ++p;
        if (p == e) return false;
        // Plain decimals (nearly every word of a watershed grid) are read on
        // the way, as word_to_float reads them.
        const char* w = p;
        float x = 0.0f;
        if (const char* q = short_decimal_prefix(p, e, x); q != nullptr && (q == e || is_blank(*q))) {
            out[k] = x;
            p = q;
            continue;
        }
        if (*p == ',' || *p == '/') return false;
        while (p < e && !ends_word(*p)) ++p;
        const std::string_view word(w, static_cast<std::size_t>(p - w));
        float v = 0.0f;
        if (word.find('*') != std::string_view::npos || !word_to_float(word, v) || !std::isfinite(v)) return false;
        out[k] = v;
    }
    return true;
}

}  // namespace

void read_attribute_values(R2cHeader& h, int xcount, int ycount, FileUnit& f, int threads,
                           const AttributeTaker& take) {
    const std::size_t nx = xcount > 0 ? static_cast<std::size_t>(xcount) : 0;
    const std::size_t ny = ycount > 0 ? static_cast<std::size_t>(ycount) : 0;
    const int count = std::min<int>(h.attribute_count, static_cast<int>(h.attributes.size()));
    RowLines lines(f);
    std::string line;
    line.reserve(4096);
    std::vector<char> plain;
    decltype(AttributeEntry::values) spare;  // the memory of a grid taken
    // Small grids: the lines of every attribute are read ahead at once and
    // parsed in one parallel pass (a pass per attribute is too short to
    // share out). Attributes whose rows were all plain rows are then done;
    // from the first that was not, the reading goes on as below.
    int parsed = 0;  // leading attributes read by that pass
    const std::size_t grid_bytes = nx * ny * sizeof(float);
    if (take && nx > 0 && ny > 0 && count > 1 && grid_bytes * static_cast<std::size_t>(count) <= (std::size_t{8} << 20)) {
        for (int a = 0; a < count; ++a) h.attributes[static_cast<std::size_t>(a)].values.resize(nx * ny);
        lines.read_ahead(static_cast<std::size_t>(count) * ny, std::size_t{16} << 20);
        const std::size_t waiting = lines.waiting();
        plain.assign(waiting, 0);
        parallel_for(threads, waiting, 1, 64, [&](std::size_t b, std::size_t e) {
            for (std::size_t i = b; i < e; ++i) {
                auto& values = h.attributes[i / ny].values;
                plain[i] = read_plain_row(lines.waiting_line(i), values.data() + (i % ny) * nx, nx);
            }
        });
        const std::size_t done = static_cast<std::size_t>(std::find(plain.begin(), plain.end(), 0) - plain.begin());
        parsed = static_cast<int>(done / ny);
        lines.skip(static_cast<std::size_t>(parsed) * ny);
    }
    for (int a = 0; a < count; ++a) {
        auto& values = h.attributes[static_cast<std::size_t>(a)].values;
        if (a < parsed) {
            if (take(a, values.data())) decltype(AttributeEntry::values)().swap(values);
            continue;
        }
        if (take && spare.capacity() >= nx * ny) values.swap(spare);
        if (values.capacity() < nx * ny) {  // large pages: far fewer page faults on a large grid
            values = {};
            values.reserve(nx * ny);
            advise_large_pages(values.data(), nx * ny * sizeof(float));
        }
        values.resize(nx * ny);  // not cleared: every row is written below
        if (nx == 0) {
            for (std::size_t r = 0; r < ny; ++r) lines.get(line);
            continue;
        }
        std::size_t r = 0;
        // Rows on a line each (nearly every row of a real file) are read a
        // batch of lines at a time, in parallel with more than one thread. At
        // the first other row the rest of the grid is read row by row, since
        // its rows no longer start on known lines.
        while (r < ny) {
            lines.read_ahead(ny - r, std::size_t{8} << 20);
            // (Lines of the next grids may be waiting too.)
            const std::size_t batch = std::min(lines.waiting(), ny - r);
            if (batch == 0) break;
            plain.assign(batch, 0);
            parallel_for(threads, batch, 1, 64, [&](std::size_t b, std::size_t e) {
                for (std::size_t i = b; i < e; ++i)
                    plain[i] = read_plain_row(lines.waiting_line(i), values.data() + (r + i) * nx, nx);
            });
            const std::size_t done = static_cast<std::size_t>(std::find(plain.begin(), plain.end(), 0) - plain.begin());
            lines.skip(done);
            r += done;
            if (done < batch) {
                // Parts read by the parallel pass must not stand in for null values.
                break;
            }
        }
        for (; r < ny; ++r) {
            float* row = values.data() + r * nx;
            std::fill_n(row, nx, 0.0f);      // null values and values not reached are 0
            if (!lines.get(line)) continue;  // end of file: this row (and the rest) stay 0
            read_row(line, lines, row, nx);
        }
        if (take && take(a, values.data())) {
            spare.swap(values);
            values = {};
        }
    }
}

}  // namespace nimbex
