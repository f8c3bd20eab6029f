// Reading an r2c file back whole, and choosing, masking and describing its grids.
#include "tools/r2ctool/r2c_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "ensim/header.h"
#include "ensim/keyword_line.h"
#include "platform/console.h"
#include "platform/fatal.h"
#include "platform/files.h"
#include "platform/text.h"

namespace nimbex::r2ctool {

namespace {

constexpr int data_unit = 1;
constexpr int comment_unit = 2;

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw std::runtime_error(path + ": " + what);
}

bool starts_with_ci(std::string_view line, std::string_view prefix) {
    if (line.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = line[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// The "#name  value" lines the writer puts between the geometry and
// ":endHeader" (run parameters), without the blank-only "#" lines.
std::vector<std::string> header_comments(FileTable& files, const std::string& path) {
    std::vector<std::string> out;
    if (files.open_read(comment_unit, path) != 0) return out;
    std::string line;
    while (files[comment_unit].get_line(line)) {
        std::string_view t = trim(line);
        if (starts_with_ci(t, ":endheader")) break;
        if (t.size() > 1 && t[0] == '#' && t[1] != '-' && t[1] != '#' && t[1] != ' ')
            out.emplace_back(t);
    }
    files.close(comment_unit);
    return out;
}

// One grid row of `n` values from `line` on, continuing over further lines as
// a row longer than a line does. A field of "*" is NaN; a row cut short
// leaves NaN. Returns false at end of file or when a keyword line comes
// first (`line` then holds it).
bool read_grid_row(FileUnit& f, std::string& line, float* out, std::size_t n) {
    std::size_t k = 0;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < n; ++i) out[i] = std::numeric_limits<float>::quiet_NaN();
    while (k < n) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t' || line[pos] == ',')) ++pos;
        if (pos >= line.size()) {
            if (!f.get_line(line)) return false;
            if (!trim(line).empty() && trim(line)[0] == ':') return false;
            pos = 0;
            continue;
        }
        std::size_t end = pos;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != ',') ++end;
        const char* first = line.data() + pos;
        const char* last = line.data() + end;
        if (*first == '*') {
            ++k;  // overflowed field: stays NaN
        } else {
            if (*first == '+') ++first;
            float v = 0.0f;
            auto [p, ec] = std::from_chars(first, last, v);
            if (ec != std::errc() || p != last)
                throw std::runtime_error("not a number: '" + std::string(line.data() + pos, end - pos) + "'");
            out[k++] = v;
        }
        pos = end;
    }
    return true;
}

int parse_int(std::string_view s, std::size_t& pos) {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '"')) ++pos;
    int v = 0;
    auto [p, ec] = std::from_chars(s.data() + pos, s.data() + s.size(), v);
    if (ec != std::errc()) throw std::runtime_error("bad number");
    pos = static_cast<std::size_t>(p - s.data());
    return v;
}

}  // namespace

long days_from_civil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

double hours_between(const Stamp& a, const Stamp& b) {
    const double da = static_cast<double>(days_from_civil(a.year, a.month, a.day)) * 24.0 + a.hour +
                      a.minute / 60.0 + a.second / 3600.0;
    const double db = static_cast<double>(days_from_civil(b.year, b.month, b.day)) * 24.0 + b.hour +
                      b.minute / 60.0 + b.second / 3600.0;
    return db - da;
}

Stamp parse_stamp(const std::string& text) {
    Stamp s;
    std::string t;
    for (char c : text) t += (c == '/' || c == '-' || c == ':' || c == '"' || c == 'T') ? ' ' : c;
    std::istringstream in(t);
    double sec = 0.0;
    if (!(in >> s.year >> s.month >> s.day)) return Stamp{};
    in >> s.hour;
    if (in) in >> s.minute;
    if (in) in >> sec;
    s.second = static_cast<int>(sec);
    s.valid = s.month >= 1 && s.month <= 12 && s.day >= 1 && s.day <= 31 && s.hour >= 0 && s.hour <= 24;
    if (!s.valid) return Stamp{};
    return s;
}

std::string stamp_text(const Stamp& s) {
    if (!s.valid) return "";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d/%d/%d %d:%02d", s.year, s.month, s.day, s.hour, s.minute);
    return buf;
}

namespace {

// The header as the program's header parser reads it, with the keys only
// this tool keeps; refuses a grid it cannot read.
void read_r2c_header(FileUnit& f, R2cFile& r) {
    const std::string& path = r.path;
    std::ostringstream console_text;
    std::istringstream no_input;
    Console con(console_text, no_input);
    try {
        read_header(
            con, f,
            [&](std::string_view key, std::string_view value) -> KeyOutcome {
                if (key == ":sampletime") {
                    r.sample_time = std::string(trim(value));
                    return key_stored;
                }
                if (key == ":sourcefile") {
                    r.source_file = std::string(trim(value));
                    return key_stored;
                }
                if (key == ":weight") {  // ":Weight used   2"
                    std::string word, rest;
                    if (next_word(value, word, rest) && next_word(rest, word, rest)) take_value(word, r.weight_used);
                    return key_stored;
                }
                return handle_r2c_key(con, r.header, key, value);
            },
            "r2ctool", path);
    } catch (const FatalStop& stop) {
        std::string msg = console_text.str();
        while (!msg.empty() && msg.back() == '\n') msg.pop_back();
        fail(path, "not a readable r2c header: " + (msg.empty() ? std::string(stop.what()) : msg + " " + stop.what()));
    }
    if (r.header.data_format != 0) fail(path, "binary r2c files are not supported");
    if (r.header.xcount < 1 || r.header.ycount < 1)
        fail(path, "the header gives no grid size (:xCount, :yCount)");
    const std::size_t nx = static_cast<std::size_t>(r.header.xcount);
    const std::size_t ny = static_cast<std::size_t>(r.header.ycount);
    if (nx * ny > 400'000'000u) fail(path, "grid too large");
}

// A ":Frame" line: the frame's number and, between quotes, its time.
void read_frame_line(const std::string& path, std::string_view t, Frame& fr) {
    try {
        std::size_t pos = 6;
        fr.number = parse_int(t, pos);
    } catch (const std::exception&) {
        fail(path, "unreadable frame line: " + std::string(t));
    }
    const auto q1 = t.find('"');
    const auto q2 = q1 == std::string_view::npos ? q1 : t.find('"', q1 + 1);
    if (q2 != std::string_view::npos) fr.time = parse_stamp(std::string(t.substr(q1 + 1, q2 - q1 - 1)));
}

// The ycount rows of one grid, the first starting in `row_line`; `what`
// names the grid in messages.
void read_grid_rows(FileUnit& f, const R2cFile& r, std::string& row_line, Frame& fr, const std::string& what) {
    const std::size_t nx = static_cast<std::size_t>(r.header.xcount);
    const std::size_t ny = static_cast<std::size_t>(r.header.ycount);
    fr.values.resize(nx * ny);
    for (std::size_t row = 0; row < ny; ++row) {
        bool ok = false;
        try {
            ok = read_grid_row(f, row_line, fr.values.data() + row * nx, nx);
        } catch (const std::runtime_error& e) {
            fail(r.path, what + ", row " + std::to_string(row + 1) + ": " + e.what());
        }
        if (!ok) fail(r.path, what + " ends after " + std::to_string(row) + " of " + std::to_string(ny) + " rows");
        if (row + 1 < ny && !f.get_line(row_line))
            fail(r.path, what + " ends after " + std::to_string(row + 1) + " of " + std::to_string(ny) + " rows");
    }
}

// The grids after the header: frames, or grids without frame lines, one
// per attribute of the header (a file of attributes such as the watershed
// file), or the single grid of a file of one (the run totals).
void read_grids(FileUnit& f, R2cFile& r) {
    const std::string& path = r.path;
    const std::size_t grids = std::max<std::size_t>(1, r.header.attributes.size());
    auto attribute_name = [&](std::size_t i) { return std::string(r.header.attributes[i].name.trimmed()); };
    bool framed = false;
    std::string line;
    bool have_line = f.get_line(line);
    while (have_line) {
        std::string_view t = trim(line);
        if (t.empty()) {
            have_line = f.get_line(line);
            continue;
        }
        Frame fr;
        fr.number = static_cast<int>(r.frames.size()) + 1;
        std::string row_line;
        std::string what;
        if (starts_with_ci(t, ":frame")) {
            framed = true;
            read_frame_line(path, t, fr);
            what = "frame " + std::to_string(fr.number);
            if (!f.get_line(row_line)) fail(path, what + " has no rows");
        } else if (t[0] == ':') {
            have_line = f.get_line(line);  // a keyword this tool does not know, e.g. a stray ":EndFrame"
            continue;
        } else {
            if (framed || r.frames.size() >= grids) {
                const std::string after = framed || grids == 1 ? "frame " + std::to_string(r.frames.back().number)
                                                               : "the last attribute";
                fail(path, "values outside a frame after " + after);
            }
            row_line = line;
            if (grids == 1) fr.time = parse_stamp(r.sample_time);
            what = grids == 1 ? "frame " + std::to_string(fr.number) : "attribute " + attribute_name(r.frames.size());
        }
        read_grid_rows(f, r, row_line, fr, what);
        r.frames.push_back(std::move(fr));
        have_line = f.get_line(line);
        if (have_line && starts_with_ci(trim(line), ":endframe")) have_line = f.get_line(line);
    }
    if (!framed && grids > 1) {
        if (r.frames.size() < grids)
            fail(path, "holds " + std::to_string(r.frames.size()) + " grids for its " + std::to_string(grids) +
                           " attributes");
        for (std::size_t i = 0; i < grids; ++i) r.attribute_names.push_back(attribute_name(i));
    }
}

}  // namespace

R2cFile read_r2c_file(const std::string& path) {
    R2cFile r;
    r.path = path;
    init_r2c_header(r.header);
    FileTable files;
    if (!file_exists(path)) fail(path, "no such file");
    if (files.open_read(data_unit, path) != 0) fail(path, "cannot be opened");
    FileUnit& f = files[data_unit];
    read_r2c_header(f, r);
    read_grids(f, r);
    files.close(data_unit);
    r.comments = header_comments(files, path);
    // A header alone is what the program writes for an event without an
    // hour of rain: a file of no frames, which info reports as such.
    return r;
}

namespace {

std::string frame_label(const R2cFile& f, std::size_t i) {
    std::string s = "frame " + std::to_string(f.frames[i].number) + " of " + std::to_string(f.frames.size());
    if (f.frames[i].time.valid) s += ", " + stamp_text(f.frames[i].time);
    return s;
}


bool same_name(std::string a, std::string b) {
    lower_case(a);
    lower_case(b);
    return a == b;
}

std::string name_list(const std::vector<std::string>& names) {
    std::string s;
    for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
    return s;
}

}  // namespace

ChosenGrid choose_grid(const R2cFile& f, const GridChoice& choice) {
    ChosenGrid g;
    const std::size_t n = f.frames.size();
    if (n == 0) throw std::runtime_error(f.path + ": no grid after the header (an event without an hour of rain)");
    if (f.has_attributes() || !choice.attribute.empty()) {
        if (choice.frame != 0 || choice.sum)
            throw UsageError(f.has_attributes() ? f.path + " holds attributes, not frames: choose one with --attribute NAME"
                                                : "give --attribute or --frame/--sum, not both");
        std::vector<std::string> names = f.attribute_names;
        if (names.empty() && n == 1 && !f.header.attributes.empty())
            names.push_back(std::string(f.header.attributes.front().name.trimmed()));
        if (names.empty())
            throw UsageError(f.path + " holds frames, not attributes: --attribute does not apply");
        if (choice.attribute.empty())
            throw UsageError(f.path + " holds " + std::to_string(names.size()) + " attributes (" + name_list(names) +
                             "): choose one with --attribute NAME");
        for (std::size_t i = 0; i < names.size(); ++i)
            if (same_name(names[i], choice.attribute)) {
                g.values = f.frames[i].values;
                g.description = "attribute " + names[i];
                return g;
            }
        throw UsageError(f.path + " has no attribute " + choice.attribute + " (it has " + name_list(names) + ")");
    }
    if (choice.frame != 0 && choice.sum) throw UsageError("give --frame N or --sum, not both");
    if (choice.frame != 0) {
        if (choice.frame < 1 || static_cast<std::size_t>(choice.frame) > n)
            throw UsageError(f.path + " has " + std::to_string(n) + " frame" + (n == 1 ? "" : "s") +
                             "; --frame must be 1 to " + std::to_string(n));
        const std::size_t i = static_cast<std::size_t>(choice.frame - 1);
        g.values = f.frames[i].values;
        g.time = f.frames[i].time;
        g.description = n == 1 ? "single grid" : frame_label(f, i);
        if (n == 1 && g.time.valid) g.description += ", " + stamp_text(g.time);
        return g;
    }
    if (n == 1 && !choice.sum) {
        g.values = f.frames[0].values;
        g.time = f.frames[0].time;
        g.description = "single grid";
        if (g.time.valid) g.description += ", " + stamp_text(g.time);
        return g;
    }
    // Sum over the frames in file order, cell by cell.
    g.values.assign(f.frames[0].values.size(), 0.0f);
    for (const Frame& fr : f.frames)
        for (std::size_t k = 0; k < g.values.size(); ++k) g.values[k] += fr.values[k];
    g.time = f.frames.front().time;
    g.description = "sum of " + std::to_string(n) + " frame" + (n == 1 ? "" : "s");
    if (f.frames.front().time.valid && f.frames.back().time.valid)
        g.description += ", " + stamp_text(f.frames.front().time) + " to " + stamp_text(f.frames.back().time);
    return g;
}

bool is_precipitation(const R2cFile& f) {
    std::string name(f.header.name.trimmed());
    lower_case(name);
    return name.find("precip") != std::string::npos || name.find("rain") != std::string::npos;
}

std::string decimal_text(float v) {
    // Fixed notation: a reader of grid headers expects 500000, not 5e+05.
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return ec == std::errc() ? std::string(buf, end) : std::string("nan");
}

double decimal(float v) {
    if (!std::isfinite(v)) return static_cast<double>(v);
    return std::strtod(decimal_text(v).c_str(), nullptr);
}

BasinMask read_basin_mask(const std::string& shd_path, const R2cFile& f) {
    const R2cFile shd = read_r2c_file(shd_path);
    const R2cHeader& a = shd.header;
    const R2cHeader& b = f.header;
    // The program writes origins and cell sizes with 4 decimals, so the grid
    // of its output may differ from the watershed's in the last digits: the
    // same grid within a hundredth of a cell.
    auto near = [](double x, double y, double cell) { return std::fabs(x - y) <= 0.01 * std::fabs(cell); };
    const bool same = a.xcount == b.xcount && a.ycount == b.ycount && near(a.xdelta, b.xdelta, b.xdelta) &&
                      near(a.ydelta, b.ydelta, b.ydelta) && near(a.xorigin, b.xorigin, b.xdelta) &&
                      near(a.yorigin, b.yorigin, b.ydelta);
    if (!same)
        throw UsageError("the basin " + shd_path + " is not on the grid of " + f.path + " (" +
                         std::to_string(a.xcount) + " x " + std::to_string(a.ycount) + " cells from " +
                         decimal_text(a.xorigin) + ", " + decimal_text(a.yorigin) + " against " +
                         std::to_string(b.xcount) + " x " + std::to_string(b.ycount) + " from " +
                         decimal_text(b.xorigin) + ", " + decimal_text(b.yorigin) + ")");
    const std::vector<float>* rank = nullptr;
    for (std::size_t i = 0; i < shd.header.attributes.size() && i < shd.frames.size(); ++i)
        if (same_name(std::string(shd.header.attributes[i].name.trimmed()), "rank")) rank = &shd.frames[i].values;
    if (rank == nullptr) throw UsageError(shd_path + " has no attribute Rank: not a watershed file");
    BasinMask m;
    m.inside.resize(rank->size());
    // A rank cut to a whole number above 0 is a cell of the basin.
    for (std::size_t k = 0; k < rank->size(); ++k) m.inside[k] = (*rank)[k] >= 1.0f ? 1 : 0;
    return m;
}

void apply_mask(const BasinMask& m, std::vector<float>& values) {
    if (m.empty()) return;
    for (std::size_t k = 0; k < values.size() && k < m.inside.size(); ++k)
        if (!m.inside[k]) values[k] = std::numeric_limits<float>::quiet_NaN();
}

}  // namespace nimbex::r2ctool
