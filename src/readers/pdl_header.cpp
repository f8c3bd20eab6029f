// Reads the header of the point-data-locations file (bsnm.pdl), which fixes
// the size of the precipitation grid.
#include "readers/pdl_header.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "driver/run_state.h"
#include "platform/bounds.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/files.h"
#include "platform/fortran_format.h"
#include "platform/free_format.h"
#include "platform/limits.h"
#include "platform/text.h"
#include "platform/whole_numbers.h"
#include "readers/watershed_file.h"

namespace nimbex {

namespace {

constexpr int pdl_unit = unit::pdl;
constexpr int pdl_entry = entry::pdl;

// The read statuses the old-layout read reports.
constexpr int status_eof = -1;
constexpr int status_bad = 5010;

// One fixed-column integer field (Iw): blanks are ignored, an empty field is 0.
bool fixed_int(std::string_view field, int& v) {
    std::string s;
    for (char c : field)
        if (c != ' ' && c != '\t') s += c;
    if (s.empty()) { v = 0; return true; }
    if (s[0] == '+') s.erase(0, 1);
    if (s.empty()) { v = 0; return true; }
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size();
}

// One fixed-column real field (Fw.d): blanks are ignored, an empty field is 0,
// and a field written without a point has d implied decimals ("60" is 6.0).
bool fixed_real(std::string_view field, int d, float& v) {
    std::string s;
    for (char c : field)
        if (c != ' ' && c != '\t') s += c;
    if (s.empty()) { v = 0.0f; return true; }
    // Mantissa and exponent (E, D, or a sign after the first character).
    std::size_t e = std::string::npos;
    for (std::size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == 'e' || c == 'E' || c == 'd' || c == 'D') { e = i; break; }
        if ((c == '+' || c == '-') && s[i - 1] != 'e' && s[i - 1] != 'E') { e = i; break; }
    }
    std::string mant = s.substr(0, e);
    std::string expo = e == std::string::npos ? "" : s.substr(e);
    if (!expo.empty() && (expo[0] == 'e' || expo[0] == 'E' || expo[0] == 'd' || expo[0] == 'D')) expo.erase(0, 1);
    if (mant.find('.') == std::string::npos) {
        std::string sign;
        if (!mant.empty() && (mant[0] == '+' || mant[0] == '-')) {
            sign = mant.substr(0, 1);
            mant.erase(0, 1);
        }
        if (mant.empty()) return false;
        while (mant.size() < static_cast<std::size_t>(d) + 1) mant.insert(0, "0");
        mant.insert(mant.size() - static_cast<std::size_t>(d), ".");
        mant = sign + mant;
    }
    std::string text = mant;
    if (!expo.empty()) text += "e" + expo;
    return parse_real(text, v);
}

// The fifteen fields of the old header line: 13 integers of 5 columns, then
// two reals of 5 columns with one decimal. Returns the read status.
struct OldHeader {
    int i[14] = {};     // fields 1..13 (element 0 unused)
    float ns = 0.0f;    // field 14: cell size north-south
    float ew = 0.0f;    // field 15: cell size east-west
};

int read_old_header(const std::string& line, OldHeader& h) {
    const std::string padded = fit(line, 75);
    for (int k = 1; k <= 13; ++k)
        if (!fixed_int(std::string_view(padded).substr(static_cast<std::size_t>(5 * (k - 1)), 5), h.i[k]))
            return status_bad;
    if (!fixed_real(std::string_view(padded).substr(65, 5), 1, h.ns)) return status_bad;
    if (!fixed_real(std::string_view(padded).substr(70, 5), 1, h.ew)) return status_bad;
    return 0;
}

// The grid the header describes must have cells, not too many of them, and
// usable cell sizes and origin.
void check_grid(Console& con, const std::string& name, int nx, int ny, bool sizes_ok) {
    if (nx >= 1 && ny >= 1 && std::int64_t{nx} * ny <= max_values && sizes_ok) return;
    con.line(msg() << "ERROR: the pdl file gives a grid of" << nx << " columns and" << ny << " rows");
    con.line("Counts must be 1 or more with at most 268435456 cells,");
    con.line("cell sizes above 0 and the origin a finite number");
    fatal_stop("program aborted in inpgrd: grid size out of range in " + name);
}

// Lines for the information report; nothing when it is not open.
struct InfoReport {
    FileUnit* info = nullptr;
    void operator()(std::string_view text) const {
        if (info) info->put_line(text);
    }
};

FileUnit& open_pdl_file(RunState& rs, const std::string& name) {
    Console& con = rs.con;
    if (int ios = rs.files.open(pdl_unit, name, OpenStatus::old_file); ios != 0) {
        if (ios == ENOENT) {
            // A missing file has always been reported with status 9.
            con.line(msg() << " file " << first_chars(name, 40) << " not found   ios=" << 9);
            con.line("It looks like there was no bsnm.pdl file");
            con.line("If you have already run tesk.exe, you need to rename");
            con.line("new.pdl to bsnm.pdl (where bsnm = your basin nime)");
            fatal_stop("program aborted in inpgrd @40");
        }
        con.line(msg() << " problems opening pdl file " << name);
        con.line(msg() << " ios=" << ios);
        con.line(msg() << " filename =" << first_chars(name, 40));
        fatal_stop("program aborted in inpgrd @ 44");
    }
    return rs.files[pdl_unit];
}

// The lines of a labelled header, each one free-format read: a label, and
// a value where the layout has one (a read may go on over empty lines).
// Each line read is echoed to the information report.
class LabelledLines {
public:
    LabelledLines(Console& con, FileUnit& f, const std::string& name, const InfoReport& report)
        : con_(con), f_(f), name_(name), report_(report) {}

    std::string text(int line_no, std::size_t width) {
        ListReader r(next());
        std::string label, value;
        if (read_failed(r.read(label, 20))) fail(line_no);
        if (read_failed(r.read(value, width))) fail(line_no);
        // The projection and ellipsoid go into every grid written: an
        // empty value or one with control characters cannot.
        if (trim(value).empty() || has_control(value)) fail(line_no);
        value = fit(value, width);
        put_pad(echo(label), value, static_cast<int>(width));
        report_(line_);
        return value;
    }
    void whole(int line_no, int& v) {
        ListReader r(next());
        std::string label;
        if (read_failed(r.read(label, 20))) fail(line_no);
        if (read_failed(r.read(v))) fail(line_no);
        put_i(echo(label), v, 12);
        report_(line_);
    }
    void real(int line_no, float& v) {
        ListReader r(next());
        std::string label;
        if (read_failed(r.read(label, 20))) fail(line_no);
        if (read_failed(r.read(v))) fail(line_no);
        // Refused before the echo: the report never shows NaN or Infinity.
        if (!std::isfinite(v)) {
            con_.line("Problems reading line " + std::to_string(line_no) + " in file: " + name_);
            fatal_stop("Program aborted in inpgrd: " + std::string(trim(label)) + " " + real_text(v) +
                       " is not a finite number in " + name_);
        }
        put_f(echo(label), v, 12, 3);
        report_(line_);
    }
    void label(int line_no) {
        ListReader r(next());
        std::string label;
        if (read_failed(r.read(label, 20))) fail(line_no);
        report_(echo(label));
    }
    // The line is taken as its first 20 characters.
    void first20(int line_no) {
        std::string l;
        if (!f_.get_line(l)) fail(line_no);
        report_(echo(first_chars(l, 20)));
    }

private:
    std::function<bool(std::string&)> next() {
        return [this](std::string& s) { return f_.get_line(s); };
    }
    std::string& echo(const std::string& label) {
        line_.clear();
        put_pad(line_, label, 20);
        return line_;
    }
    [[noreturn]] void fail(int line_no) {
        con_.line("Problems reading line " + std::to_string(line_no) + " in file: " + name_);
        con_.blank();
        fatal_stop("Program aborted in inpgrd @ 1356");
    }

    Console& con_;
    FileUnit& f_;
    const std::string& name_;
    const InfoReport& report_;
    std::string line_;
};

// A labelled header replaces the grid description in force and gives the
// grid bounds and cell sizes.
void read_labelled_header(Console& con, FileUnit& f, const std::string& name, const InfoReport& report,
                          GridDescription& g, ShedState& sh) {
    con.line("New format " + first_chars(name, 30) + " pdl file found");
    con.line("Please look in ???_info.txt for error hints");
    con.blank();
    report(" ");
    report("Echo data from    " + first_chars(name, 40));
    report(" ");

    LabelledLines lines(con, f, name, report);
    lines.text(2, 10);
    g.projection = lines.text(5, 10);
    g.ellipsoid = lines.text(6, 10);
    if (g.projection.str().compare(0, 3, "UTM") == 0) {
        lines.whole(7, g.zone);
    } else {
        lines.label(7);
        g.zone = 0;
    }
    lines.first20(8);
    lines.real(9, g.xorigin);
    lines.real(9, g.yorigin);
    lines.label(10);
    lines.whole(11, g.xcount);
    lines.whole(12, g.ycount);
    lines.real(13, g.xdelta);
    lines.real(14, g.ydelta);
    report("Finished reading header " + first_chars(name, 40));
    check_grid(con, name, g.xcount, g.ycount,
               std::isfinite(g.xdelta) && std::isfinite(g.ydelta) && g.xdelta > 0.0f && g.ydelta > 0.0f &&
                   std::isfinite(g.xorigin) && std::isfinite(g.yorigin));
    // The grid description replaces the watershed's and goes into every
    // output header: each value must fit its field there.
    check_range(con, "inpgrd", ":xDelta", g.xdelta, min_cell_size, max_cell_size, name);
    check_range(con, "inpgrd", ":yDelta", g.ydelta, min_cell_size, max_cell_size, name);
    check_magnitude(con, "inpgrd", ":xOrigin", g.xorigin, max_coordinate, name);
    check_magnitude(con, "inpgrd", ":yOrigin", g.yorigin, max_coordinate, name);

    sh.x_cell = g.xdelta / 1000.0f;
    sh.y_cell = g.ydelta / 1000.0f;
    if (g.projection == "LATLONG") {
        sh.south = cut_to_int(60.0f * g.yorigin);
        sh.north = cut_to_int(60.0f * (static_cast<float>(g.ycount) * g.ydelta + g.yorigin));
        sh.west = cut_to_int(60.0f * g.xorigin);
        sh.east = cut_to_int(60.0f * (static_cast<float>(g.xcount) * g.xdelta + g.xorigin));
    } else {
        sh.west = cut_to_int(g.xorigin / 1000.0f);
        sh.east = cut_to_int(static_cast<float>(g.xcount - 1) * sh.x_cell + static_cast<float>(sh.west));
        sh.south = cut_to_int(g.yorigin / 1000.0f);
        sh.north = cut_to_int(static_cast<float>(g.ycount - 1) * sh.y_cell + static_cast<float>(sh.south));
    }
    lines.label(26);
}

// The integer bounds and cell sizes of an old fixed-column header:
// degrees and minutes when field 1 is 0 or below, whole km otherwise.
void take_old_bounds(const OldHeader& h, const InfoReport& report, GridDescription& g, ShedState& sh) {
    std::string line;
    if (h.i[1] <= 0) {
        g.latlong = true;
        for (int k = 6; k <= 13; ++k) put_i(line, h.i[k], 5);
        put_f(line, h.ns, 8, 1);
        put_f(line, h.ew, 8, 1);
        report(line);
        sh.pdl_south = h.i[6] * 60 + h.i[7];
        sh.pdl_north = h.i[8] * 60 + h.i[9];
        sh.pdl_west = h.i[10] * 60 + h.i[11];
        sh.pdl_east = h.i[12] * 60 + h.i[13];
        sh.y_cell = h.ns;
        sh.x_cell = h.ew;
    } else {
        g.latlong = false;
        for (int k = 1; k <= 5; ++k) put_i(line, h.i[k], 5);
        report(line);
        sh.pdl_south = h.i[2];
        sh.pdl_north = h.i[3];
        sh.pdl_west = h.i[4];
        sh.pdl_east = h.i[5];
        sh.x_cell = static_cast<float>(h.i[1]);
        sh.y_cell = static_cast<float>(h.i[1]);
    }
}

// An old fixed-column header line: bounds and cell sizes, from which the
// grid's column and row counts follow.
void read_old_layout(Console& con, FileUnit& f, const std::string& name, const InfoReport& report,
                     GridDescription& g, ShedState& sh, int& nx_pdl, int& ny_pdl) {
    f.rewind();
    con.line("New format " + name + " pdl file NOT found");
    con.line("Please look in ???_info.txt for error hints");
    con.blank();
    report("Old format found");
    report("");
    OldHeader h;
    std::string line;
    int ios = 0;
    if (!f.get_line(line)) ios = status_eof;
    else ios = read_old_header(line, h);
    line.clear();
    for (int k = 1; k <= 13; ++k) put_i(line, h.i[k], 5);
    put_f(line, h.ns, 5, 1);
    put_f(line, h.ew, 5, 1);
    report(line);
    con.line("fln(3)= " + name);
    con.line(msg() << "iostat= " << ios);
    con.blank();
    if (ios != 0) {
        con.line(" Problem reading " + name);
        con.line(" The above line = values found");
        fatal_stop("Program aborted in inpgrd @ 235");
    }
    take_old_bounds(h, report, g, sh);
    // A cell size of 0 would divide by zero below: the line is unusable.
    if (!(sh.x_cell > 0.0f) || !(sh.y_cell > 0.0f) || !std::isfinite(sh.x_cell) || !std::isfinite(sh.y_cell)) {
        con.line(" Problem reading " + name);
        con.line(" The above line = values found");
        fatal_stop("Program aborted in inpgrd @ 235");
    }
    check_range(con, "inpgrd", "cell size", sh.x_cell, min_cell_size, max_cell_size, name);
    check_range(con, "inpgrd", "cell size", sh.y_cell, min_cell_size, max_cell_size, name);
    sh.ix_cell = cut_to_int(sh.x_cell);
    sh.iy_cell = cut_to_int(sh.y_cell);
    auto count = [](int span, float cell) {
        const int c = cut_to_int(static_cast<float>(span) / cell);
        return c < 2147483647 ? c + 1 : c;
    };
    nx_pdl = count(sh.pdl_east - sh.pdl_west, sh.x_cell);
    ny_pdl = count(sh.pdl_north - sh.pdl_south, sh.y_cell);
    check_grid(con, name, nx_pdl, ny_pdl, true);
}

}  // namespace

void inpgrd(RunState& rs, int& nx_pdl, int& ny_pdl, int mode) {
    Console& con = rs.con;
    const std::string name(rs.file_name(pdl_entry).trimmed());
    const InfoReport report{rs.files.is_open(unit::info_report) ? &rs.files[unit::info_report] : nullptr};

    FileUnit& f = open_pdl_file(rs, name);
    report("Opened " + first_chars(name, 50));

    std::string first;
    const bool have_first = f.get_line(first);
    const std::string first20 = first_chars(have_first ? first : std::string(), 20);
    con.blank();
    report("First line pdl file =  " + first20);
    con.line("First line pdl file =  " + first20);

    if (have_first && !first.empty() && first[0] == '#') {
        read_labelled_header(con, f, name, report, rs.grid, rs.shed);
        nx_pdl = rs.grid.xcount;
        ny_pdl = rs.grid.ycount;
    } else {
        read_old_layout(con, f, name, report, rs.grid, rs.shed, nx_pdl, ny_pdl);
    }

    std::string line = "iyr=";
    put_i(line, ny_pdl, 5);
    line += " ixr=";
    put_i(line, nx_pdl, 5);
    report(line);
    report("finished reading the pdl file header");
    con.line("finished reading the pdl file header");
    con.blank();
    con.line(msg() << "ng=" << mode);

    rs.files.close(pdl_unit, true);
    if (mode == pdl_header_only) {
        report("closed unit 33, file name:  " + first_chars(name, 30));
        report("");
        report(std::string(47, '-'));
        report("");
        con.blank();
    }
}

}  // namespace nimbex
