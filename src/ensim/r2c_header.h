#pragma once
// The r2c grid header (and its watershed extension), its keyword handlers and
// the reader of the attribute values that follow ":EndHeader".
#include <functional>
#include <string_view>

#include "ensim/header.h"
#include "platform/text.h"

namespace nimbex {

class Console;
class FileUnit;

struct R2cHeader : EnSimHeader {
    int xcount = 0;
    int ycount = 0;
    float xdelta = 0.0f;
    float ydelta = 0.0f;
    float xorigin = 0.0f;
    float yorigin = 0.0f;
    float angle = 0.0f;
    float unitconversion = 1.0f;
    FText<32> surveydate{"Unknown"};
    FText<32> surveytime{"Unknown"};
};

struct ShedHeader : R2cHeader {
    float nominalgridsize_al = 0.0f;
    float contourinterval = 0.0f;
    float elevconversion = 1.0f;
    int classcount = 0;
    int numriverclasses = 0;
    int totalnumofgrids = 0;
    int numgridsinbasin = 0;
    int debuggridno = 0;
    FText<128> sourcefilename;  // not reset by init_shed_header
};

// Common fields, coordinate system ("Cartesian", "Unknown", zone 0) and the
// grid fields to their defaults.
void init_r2c_header(R2cHeader& h);
// init_r2c_header, then the watershed counts (the source file name is kept).
void init_shed_header(ShedHeader& h);

// Grid keys, then the common keys with "r2c" as the expected file type.
// `key` is lower-cased; answers key_stored, key_not_mine (not a grid key) or
// key_bad_value (value missing or wrong).
KeyOutcome handle_r2c_key(Console& con, R2cHeader& h, std::string_view key, std::string_view value);
// Watershed keys, then everything handle_r2c_key knows.
KeyOutcome handle_shed_key(Console& con, ShedHeader& h, std::string_view key, std::string_view value);

// Reads xcount x ycount values for every attribute of the header, in header
// order, from the line after ":EndHeader" on. Every row starts on a new line
// and may continue over lines; the rest of the row's last line is skipped. A
// row that cannot be read (end of file, a word that is not a number) ends
// without a message; values not reached stay 0. Rows that stand on a line
// each are read by up to `threads` threads; the values do not depend on it.
//
// With `take`, each attribute's grid is offered to it as soon as it is read
// (attribute index from 0, xcount x ycount values, row-major from row 1);
// a grid it takes (true) is not kept in the header, and its memory serves
// the next attribute: a caller that uses the grids one at a time holds one.
using AttributeTaker = std::function<bool(int attribute, const float* values)>;
void read_attribute_values(R2cHeader& h, int xcount, int ycount, FileUnit& f, int threads = 1,
                           const AttributeTaker& take = {});

}  // namespace nimbex
