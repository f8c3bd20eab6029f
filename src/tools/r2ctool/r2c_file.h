#pragma once
// An r2c grid file as the program writes it, read back whole: the header, then
// either frames (":Frame" line, ycount rows from the south, ":EndFrame") or a
// single grid without a frame line.
#include <cmath>
#include <string>
#include <vector>

#include "ensim/r2c_header.h"

namespace nimbex::r2ctool {

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
};

// The grid chosen, with a description ("frame 3 of 84, 2023/7/1 10:00",
// "sum of 84 frames, ...", "single grid"). A file with one grid needs no
// choice; a file of several frames without one gives the sum. Throws
// std::runtime_error for a frame number out of range.
struct ChosenGrid {
    std::vector<float> values;
    std::string description;
    Stamp time;          // the frame's time (or the first frame's for a sum)
};
ChosenGrid choose_grid(const R2cFile& f, const GridChoice& choice);

// True when the header's name says the grid holds precipitation.
bool is_precipitation(const R2cFile& f);

}  // namespace nimbex::r2ctool
