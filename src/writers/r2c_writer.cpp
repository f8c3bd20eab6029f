// Writes r2c grids: the header of an output grid file and its frames.
#include "writers/r2c_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/fortran_format.h"
#include "platform/parallel.h"
#include "platform/fast_fixed.h"

namespace nimbex {

namespace {

constexpr int values_per_line = 9999;

struct FieldSpec {
    bool exponent;
    int w;
    int d;
};

FieldSpec field_of(R2cFormat format) {
    switch (format) {
        case R2cFormat::f5_0: return {false, 5, 0};
        case R2cFormat::f5_1: return {false, 5, 1};
        case R2cFormat::f5_2: return {false, 5, 2};
        case R2cFormat::f6_3: return {false, 6, 3};
        case R2cFormat::f7_4: return {false, 7, 4};
        case R2cFormat::f8_5: return {false, 8, 5};
        case R2cFormat::f9_6: return {false, 9, 6};
        case R2cFormat::e10_3: return {true, 10, 3};
        case R2cFormat::f6_2: return {false, 6, 2};
        case R2cFormat::f10_0: return {false, 10, 0};
        case R2cFormat::f8_3: return {false, 8, 3};
        case R2cFormat::f8_2: return {false, 8, 2};
        default: return {true, 12, 6};  // e12_6 and every code not listed
    }
}

std::string hash_line() { return fmt_pad("#", 40); }

std::string keyword(const char* key) { return fmt_pad(key, 20); }

// The file type, the program that wrote it and when.
void write_identification(FileUnit& f, const OutputGridHeader& h) {
    std::string s;
    f.put_line(std::string(40, '#'));
    f.put_line(fmt_pad(":FileType r2c  ASCII  EnSim 1.0", 40));
    f.put_line(hash_line());
    f.put_line(fmt_pad("# DataType               2D Rect Cell", 40));
    f.put_line(hash_line());
    f.put_line(fmt_pad(":Application             CORVANT", 40));
    f.put_line(fmt_pad(":Version                 2.1.23", 40));
    f.put_line(keyword(":WrittenBy") + h.written_by.str());
    s = keyword(":Weight used");
    put_i(s, h.weight_used, 16);
    f.put_line(s);

    const DateTime now = now_local();
    char date[64];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d  %02d:%02d", now.year, now.month, now.day,
                  now.hour, now.minute);
    f.put_line(keyword(":CreationDate") + date);
}

// What the grid holds and where it lies: name, projection, origin, source.
void write_place(FileUnit& f, const OutputGridHeader& h) {
    std::string s;
    f.put_line(hash_line());
    f.put_line("#" + std::string(39, '-'));
    f.put_line(hash_line());
    f.put_line(keyword(":Name") + h.name.str());
    f.put_line(hash_line());
    f.put_line(keyword(":Projection") + h.projection.str());
    if (h.projection == "LatLong") {
        f.put_line(keyword(":Ellipsoid") + h.ellipsoid.str());
    }
    if (h.projection == "UTM") {
        f.put_line(keyword(":Ellipsoid") + h.ellipsoid.str());
        s = keyword(":Zone");
        put_i(s, h.zone, 16);
        f.put_line(s);
    }
    f.put_line(hash_line());
    s = keyword(":xOrigin");
    put_f(s, h.xorigin, 16, 4);
    f.put_line(s);
    s = keyword(":yOrigin");
    put_f(s, h.yorigin, 16, 4);
    f.put_line(s);
    f.put_line(hash_line());
    f.put_line(keyword(":SourceFile") + h.source_file.str());
}

// The classes, the cell counts and sizes, and the sample time of a file of
// one frame.
void write_geometry(FileUnit& f, const OutputGridHeader& h, int no_frames, int no_classes) {
    std::string s;
    f.put_line(hash_line());
    for (int n = 1; n <= no_classes; ++n) {
        s = ":AttributeName";
        put_i(s, n, 5);
        s += " Class";
        put_i(s, n, 5);
        f.put_line(s);
    }
    f.put_line(hash_line());
    s = keyword(":xCount");
    put_i(s, h.xcount, 16);
    f.put_line(s);
    s = keyword(":yCount");
    put_i(s, h.ycount, 16);
    f.put_line(s);
    s = keyword(":xDelta");
    put_f(s, h.xdelta, 16, 4);
    f.put_line(s);
    s = keyword(":yDelta");
    put_f(s, h.ydelta, 16, 4);
    f.put_line(s);
    if (no_frames < 2) {
        f.put_line(hash_line());
        f.put_line(keyword(":SampleTime") + h.sample_date.str() + "  " + h.sample_time.str());
    }
}

// The conversion factor, the heat deficit of a snow grid and the comment
// lines (echoed on the console), then the header's end.
void write_settings(RunState& rs, FileUnit& f, const OutputGridHeader& h) {
    std::string s;
    f.put_line(hash_line());
    if (h.unit_conversion != 0.0f) {
        s = keyword(":UnitConversion");
        put_f(s, h.unit_conversion, 16, 4);
        f.put_line(s);
    }
    if (h.name == "Snow Water Equivalent") {
        s = keyword(":InitHeatDeficit");
        put_f(s, h.init_heat_deficit, 16, 4);
        f.put_line(s);
    }
    if (h.extra_count >= 1) {
        f.put_line(hash_line());
        // Never read past the lists the caller filled.
        const int n = std::min<int>(h.extra_count,
                                    static_cast<int>(std::min(h.extra_names.size(), h.extra_values.size())));
        for (int k = 0; k < n; ++k) {
            s = h.extra_names[k].str();
            put_f(s, h.extra_values[k], 16, 7);
            f.put_line(s);
            rs.con.line(s);
        }
    }
    f.put_line(hash_line());
    f.put_line(fmt_pad(":endHeader", 40));
}

void write_header(RunState& rs, FileUnit& f, int no_frames, int no_classes) {
    const OutputGridHeader& h = rs.out_hdr;
    write_identification(f, h);
    write_place(f, h);
    write_geometry(f, h, no_frames, no_classes);
    write_settings(rs, f, h);
}

std::string frame_line(const OutputGridHeader& h, int frame_no) {
    const int shown = std::abs(frame_no);
    std::string s = ":Frame";
    put_i(s, shown, 10);
    put_i(s, shown, 10);
    s += "   \"";
    put_i(s, h.year, 4);
    s += '/';
    put_i(s, h.month, h.month < 10 ? 1 : 2);
    s += '/';
    put_i(s, h.day, h.day < 10 ? 1 : 2);
    s += ' ';
    put_i(s, h.hour, 2);
    s += ":00:00.000\"\n";
    return s;
}

// A row of `count` fixed-point fields of width w: a blank before each field,
// a line break after every 9999 fields and at the end.
std::size_t fixed_row_length(std::size_t count, int w) {
    return count * static_cast<std::size_t>(w + 1) + (count > 0 ? (count - 1) / values_per_line : 0) + 1;
}

void fixed_row_text(char* dst, const float* values, std::size_t count, int w, int d, std::string& slow) {
    for (std::size_t j0 = 0; j0 < count; j0 += values_per_line) {
        const std::size_t n = std::min<std::size_t>(values_per_line, count - j0);
        fixed_fields(dst, values + j0, n, w, d, slow);
        dst += n * static_cast<std::size_t>(w + 1);
        *dst++ = '\n';
    }
    if (count == 0) *dst = '\n';
}

// Writes `head`, the grid and `tail`. With `background`, a frame whose text
// is not too large is handed to the frame writer once formed.
void write_grid(RunState& rs, FileUnit& f, R2cFormat format, const std::string& head, std::string_view tail,
                bool background) {
    const OutputGridHeader& h = rs.out_hdr;
    DistState& ds = rs.dist;
    const int xcount = std::max(0, h.xcount);
    const int ycount = std::max(0, h.ycount);
    // Cells beyond the grid the caller allocated are written as 0.0.
    const int xin = std::min(xcount, ds.nx);
    auto row_values = [&](int r, std::vector<float>& row) -> const float* {
        if (r <= ds.ny && xin == xcount && ds.outarray.size() >= ds.cell(r, 1) + xcount) {
            return ds.outarray.data() + ds.cell(r, 1);  // straight from outarray
        }
        row.assign(static_cast<std::size_t>(xcount), 0.0f);
        if (r <= ds.ny) {
            for (int j = 1; j <= xin; ++j) {
                const std::size_t c = ds.cell(r, j);
                if (c < ds.outarray.size()) row[j - 1] = ds.outarray[c];
            }
        }
        return row.data();
    };

    const FieldSpec fs = field_of(format);
    const std::size_t row_len = fixed_row_length(static_cast<std::size_t>(xcount), fs.w);
    const std::size_t cells = static_cast<std::size_t>(xcount) * ycount;
    const int threads = cells < (std::size_t{1} << 16) ? 1 : ds.thread_count();
    auto format_rows = [&](char* out, std::size_t r0, std::size_t nrows) {
        parallel_for(threads, nrows, 1, 1, [&](std::size_t a, std::size_t b) {
            std::vector<float> row;
            std::string slow;
            for (std::size_t r = a; r < b; ++r) {
                const float* v = row_values(static_cast<int>(r0 + r) + 1, row);
                fixed_row_text(out + r * row_len, v, static_cast<std::size_t>(xcount), fs.w, fs.d, slow);
            }
        });
    };
    constexpr std::size_t most_at_once = std::size_t{64} << 20;  // bytes of text
    const std::size_t text_len = row_len * static_cast<std::size_t>(ycount);
    if (background && !fs.exponent && text_len <= most_at_once) {
        WriteText text = f.spare_text();
        const std::size_t grid_len = row_len * static_cast<std::size_t>(ycount);
        text.resize(head.size() + grid_len + tail.size());
        std::copy(head.begin(), head.end(), text.begin());
        format_rows(text.data() + head.size(), 0, static_cast<std::size_t>(ycount));
        std::copy(tail.begin(), tail.end(), text.begin() + static_cast<std::ptrdiff_t>(head.size() + grid_len));
        f.put_in_background(std::move(text));
        return;
    }
    f.put(head);
    if (fs.exponent) {
        std::vector<float> row;
        std::string buf;
        for (int r = 1; r <= ycount; ++r) {
            append_r2c_row(buf, row_values(r, row), xcount, format);
            if (buf.size() >= (std::size_t{1} << 20)) {
                f.put(buf);
                buf.clear();
            }
        }
        if (!buf.empty()) f.put(buf);
        f.put(tail);
        return;
    }

    // Fixed-point fields have a fixed width, so every row's text has the same
    // length and its place in the frame's text is known: rows are formatted
    // in parallel, straight into one buffer, and written a few megabytes at a
    // time (a buffer used again costs less than a large new one).
    WriteText& text = ds.frame_text;
    constexpr std::size_t direct_at_once = std::size_t{2} << 20;  // bytes of text
    const std::size_t rows_at_once = std::max<std::size_t>(1, direct_at_once / row_len);
    for (std::size_t r0 = 0; r0 < static_cast<std::size_t>(ycount); r0 += rows_at_once) {
        const std::size_t nrows = std::min(rows_at_once, static_cast<std::size_t>(ycount) - r0);
        if (text.size() < nrows * row_len) text.resize(nrows * row_len);
        format_rows(text.data(), r0, nrows);
        f.put(std::string_view(text.data(), nrows * row_len));
    }
    f.put(tail);
}

}  // namespace

void append_r2c_row(std::string& out, const float* values, int count, R2cFormat format) {
    const FieldSpec fs = field_of(format);
    int on_line = 0;
    for (int j = 0; j < count; ++j) {
        if (on_line == values_per_line) {
            out += '\n';
            on_line = 0;
        }
        out += ' ';
        if (fs.exponent) {
            put_e(out, values[j], fs.w, fs.d);
        } else {
            append_fixed(out, values[j], fs.w, fs.d);
        }
        ++on_line;
    }
    out += '\n';
}

void write_r2c(RunState& rs, int unit, int file_number, int no_frames, int no_classes,
               int frame_no, int class_no, R2cFormat format) {
    if (no_frames > 1 && no_classes > 1) {
        rs.con.line("Programming error");
        rs.con.line("no_frames > 1  and  no_classes > 1");
        rs.con.line("This is not allowed");
        rs.con.blank();
        fatal_stop("Program aborted due to programming error");
    }
    const std::string& file_name = rs.file_name(file_number).str();

    if (frame_no == 0 && class_no == 0) {
        const int ios = rs.files.open(unit, trim_right(file_name), OpenStatus::replace);
        if (ios != 0) {
            rs.con.blank();
            rs.con.line(msg() << "Unable to open file" << first_chars(file_name, 40));
            rs.con.line(msg() << "ios = " << ios);
            rs.con.line("Possible cause(s):");
            rs.con.line("file in use by another application");
            rs.con.line("or target directory does not exist");
            rs.con.line("or New event files req`d for the new");
            rs.con.line("wind and temp. difference files");
            fatal_stop("in write_r2c @ L83");
        }
        if (rs.iopt >= 1) {
            rs.con.blank();
            rs.con.line(msg() << "In write_r2c opened unit=" << unit << " filename="
                              << first_chars(file_name, 50));
        }
        write_header(rs, rs.files[unit], no_frames, no_classes);
        return;
    }

    if (!(frame_no < 1 && class_no < 1)) {
        FileUnit& f = rs.files[unit];
        const std::string head =
            frame_no >= 1 && class_no == 0 && no_frames > 1 ? frame_line(rs.out_hdr, frame_no) : std::string();
        const bool last = frame_no >= no_frames && class_no >= no_classes;
        write_grid(rs, f, format, head, frame_no > 0 && class_no == 0 ? ":EndFrame\n" : "",
                   rs.dist.frames_in_background && !last);
    }

    if (frame_no >= no_frames && class_no >= no_classes) {
        rs.files.close(unit, true);
        const int a = no_frames < 1 ? class_no : frame_no;
        const int b = no_frames < 1 ? no_classes : no_frames;
        const std::string name40 = first_chars(file_name, 40);
        if (rs.files.is_open(unit::info_report)) {
            rs.files[unit::info_report].put_line(ListLine() << "Closed unit " << unit << " Filename=  " << name40
                                             << "fr #" << a << b);
        }
        rs.con.line(msg() << "Closed unit " << unit << " Filename=  " << name40 << "fr #" << a << b);
    }
}

void R2cWriter::finish() {
    if (rs_.files.is_open(unit_)) rs_.files.close(unit_, true);
}

}  // namespace nimbex
