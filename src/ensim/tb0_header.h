#pragma once
// The tb0 table header record, its column descriptions, and their keyword
// handlers. The header loop hands keyword lines outside the column block to
// handle_tb0_key and those inside it to handle_column_key.
#include <string>
#include <string_view>
#include <vector>

#include "ensim/header.h"
#include "platform/text.h"

namespace nimbex {

class Console;

struct Tb0Header : EnSimHeader {
    float unitconversion = 0.0f;  // no default factor: a table must state it
    int deltat = 0;               // hours per data line
    FText<30> name;               // the table's own name (hides the common 64-character one)
    std::string start_time;       // ":StartTime" as written (date and time), empty if none
};

// Per-column descriptions; every array has as many entries as words on its
// own keyword line (0-based), and column_count is the word count of the last
// column line handled.
struct Tb0ColumnMetaData {
    int column_count = 0;
    std::vector<FText<64>> column_name;
    std::vector<FText<16>> column_units;
    std::vector<FText<8>> column_class_count;
    std::vector<float> column_location_x;
    std::vector<float> column_location_y;
    std::vector<float> column_location_x1;
    std::vector<float> column_location_y1;
    std::vector<float> column_elevation;
};

// Resets the common fields and the table's own: Cartesian, Unknown ellipsoid,
// zone 0, unitconversion 0.0, deltat 0. The table name is left as it was.
void init_tb0_header(Tb0Header& h);

// ":deltat", ":unitconversion", ":name", ":starttime" (kept as written; an
// empty one is passed over), then the common keys with "tb0" as
// the expected file type. `key` is lower-cased. Returns 1, 0 or -1.
KeyOutcome handle_tb0_key(Console& con, Tb0Header& h, std::string_view key, std::string_view value);

// The column keys (":columnname", ":columnunits", ":columclasscount",
// ":columnlocationx", ":columnlocationy", ":columnlocationx1",
// ":columnlocationy1", ":elevation"). Returns 1, 0 or -1.
KeyOutcome handle_column_key(Tb0ColumnMetaData& c, std::string_view key, std::string_view value);

}  // namespace nimbex
