#pragma once
// An r2c grid file as the program writes it, read back whole: the header, then
// either frames (":Frame" line, ycount rows from the south, ":EndFrame") or a
// single grid without a frame line.
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "ensim/r2c_header.h"

namespace nimbex::r2ctool {

// A command line the tool cannot follow, including an option that does not
// fit the file (a frame or attribute it lacks, a basin or coordinate system
// of another grid): exit status 2. Other failures are std::runtime_error.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A calendar hour as the frame lines give it.
struct Stamp {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool valid = false;
};

struct Frame {
    int number = 0;     // as on the ":Frame" line (1 for a grid without one)
    Stamp time;         // invalid when the file gives none
    // xcount x ycount values, row 1 (south) first; a field of "*" (a value
    // too large for its field) or a row cut short reads as NaN.
    std::vector<float> values;
};

struct R2cFile {
    std::string path;
    R2cHeader header;
    std::string sample_time;   // ":SampleTime" value, trimmed ("" if none)
    std::string source_file;   // ":SourceFile" value, trimmed
    int weight_used = 0;       // ":Weight used" value
    std::vector<std::string> comments;  // "#name  value" lines after the geometry
    std::vector<Frame> frames;
    // A file of attributes (the watershed file, several grids after the
    // header, no frame lines): one name per grid of `frames`, in header
    // order. Empty for a file of frames or of a single grid.
    std::vector<std::string> attribute_names;

    bool has_attributes() const { return !attribute_names.empty(); }

    int nx() const { return header.xcount; }
    int ny() const { return header.ycount; }
    float at(const Frame& f, int row, int col) const {  // row, col from 1
        return f.values[static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(nx()) +
                        static_cast<std::size_t>(col - 1)];
    }
};

// Reads the whole file. Throws std::runtime_error with a message for the user
// when the file cannot be read or is not a grid this tool understands.
R2cFile read_r2c_file(const std::string& path);

// "2023/7/1  8:00:00.000" (the quoted part of a frame line) or "2023-07-01 08:00".
Stamp parse_stamp(const std::string& text);
// Days from 1970-01-01 in the proleptic Gregorian calendar.
long days_from_civil(int y, int m, int d);
// Hours from `a` to `b`.
double hours_between(const Stamp& a, const Stamp& b);
// "2023/7/1 8:00" for titles and lists.
std::string stamp_text(const Stamp& s);

// Which grid a conversion takes: one frame, or the cell-by-cell sum of all.
struct GridChoice {
    int frame = 0;       // 1-based frame index; 0 = none given
    bool sum = false;
    std::string attribute;  // attribute name (any case); "" = none given
};

// The grid chosen, with a description ("frame 3 of 84, 2023/7/1 10:00",
// "sum of 84 frames, ...", "single grid", "attribute Rank"). A file with one
// grid needs no choice; a file of several frames without one gives the sum;
// a file of attributes needs --attribute. Throws UsageError for a frame or
// attribute the file does not have.
struct ChosenGrid {
    std::vector<float> values;
    std::string description;
    Stamp time;          // the frame's time (or the first frame's for a sum)
};
ChosenGrid choose_grid(const R2cFile& f, const GridChoice& choice);

// True when the header's name says the grid holds precipitation.
bool is_precipitation(const R2cFile& f);

// A header real as the shortest decimal that reads back to the same single
// precision value (0.01f -> 0.01, not 0.00999999978), as text and as double.
std::string decimal_text(float v);
double decimal(float v);

// The cells of the basin (rank above 0 in a watershed file) on the grid of
// `f`; empty when no basin was given.
struct BasinMask {
    std::vector<unsigned char> inside;  // one per cell, row 1 (south) first
    bool empty() const { return inside.empty(); }
};
// Reads the "rank" attribute of the watershed file `shd_path`. Throws
// UsageError when that grid is not the grid of `f`.
BasinMask read_basin_mask(const std::string& shd_path, const R2cFile& f);
// Cells outside the basin become NaN (no value).
void apply_mask(const BasinMask& m, std::vector<float>& values);

}  // namespace nimbex::r2ctool
