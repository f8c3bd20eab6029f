// The tb0 table header: its own keys and the column-description keys.
#include "ensim/tb0_header.h"

#include <string>

#include "ensim/keyword_line.h"
#include "platform/free_format.h"

namespace nimbex {

namespace {

// Reads `n` numbers of a column line into a fresh array; -1 if the line runs out.
KeyOutcome read_reals(std::string_view value, int n, std::vector<float>& arr) {
    arr.assign(static_cast<std::size_t>(n), 0.0f);
    ListReader r(value);
    for (int i = 0; i < n; ++i) {
        ReadResult res = r.read(arr[static_cast<std::size_t>(i)]);
        if (res == ReadResult::bad) throw BadValue(r.bad_word());
        if (res == ReadResult::eof) return key_bad_value;
    }
    return key_stored;
}

template <std::size_t N>
KeyOutcome read_texts(std::string_view value, int n, std::vector<FText<N>>& arr) {
    arr.assign(static_cast<std::size_t>(n), FText<N>());
    ListReader r(value);
    std::string word;
    for (int i = 0; i < n; ++i) {
        word.clear();
        ReadResult res = r.read(word, 0);
        if (res == ReadResult::eof || res == ReadResult::bad) return key_bad_value;
        if (res == ReadResult::value) arr[static_cast<std::size_t>(i)] = word;
    }
    return key_stored;
}

}  // namespace

void init_tb0_header(Tb0Header& h) {
    init_header(h);
    h.projection = "Cartesian";
    h.ellipsoid = "Unknown";
    h.zone = 0;
    h.unitconversion = 0.0f;
    h.deltat = 0;
    h.start_time.clear();
}

KeyOutcome handle_tb0_key(Console& con, Tb0Header& h, std::string_view key, std::string_view value) {
    key = trim_right(key);
    std::string word, rest;
    if (key == ":deltat") {
        if (!next_word(value, word, rest)) return key_bad_value;
        take_value(word, h.deltat);
        return key_stored;
    }
    if (key == ":unitconversion") {
        if (!next_word(value, word, rest)) return key_bad_value;
        take_value(word, h.unitconversion);
        return key_stored;
    }
    if (key == ":starttime") {
        const std::string_view t = trim(value);
        if (t.empty()) return key_not_mine;
        h.start_time = std::string(t);
        return key_stored;
    }
    if (key == ":name") {
        if (!next_word(value, word, rest)) return key_bad_value;
        take_value(word, h.name);
        return key_stored;
    }
    return handle_common_key(con, h, key, value, "tb0");
}

KeyOutcome handle_column_key(Tb0ColumnMetaData& c, std::string_view key, std::string_view value) {
    key = trim_right(key);
    enum class Field { x, y, x1, y1, name, classes, units, elevation, none };
    Field f = Field::none;
    if (key == ":columnlocationx") f = Field::x;
    else if (key == ":columnlocationy") f = Field::y;
    else if (key == ":columnlocationx1") f = Field::x1;
    else if (key == ":columnlocationy1") f = Field::y1;
    else if (key == ":columnname") f = Field::name;
    else if (key == ":columclasscount") f = Field::classes;  // the keyword is spelt without the n
    else if (key == ":columnunits") f = Field::units;
    else if (key == ":elevation") f = Field::elevation;
    if (f == Field::none) return key_not_mine;

    const int n = count_words(value);
    if (n <= 0) return key_bad_value;
    c.column_count = n;
    switch (f) {
        case Field::x: return read_reals(value, n, c.column_location_x);
        case Field::y: return read_reals(value, n, c.column_location_y);
        case Field::x1: return read_reals(value, n, c.column_location_x1);
        case Field::y1: return read_reals(value, n, c.column_location_y1);
        case Field::elevation: return read_reals(value, n, c.column_elevation);
        case Field::name: return read_texts(value, n, c.column_name);
        case Field::classes: return read_texts(value, n, c.column_class_count);
        case Field::units: {
            KeyOutcome res = read_texts(value, n, c.column_units);
            // A table without an elevation line still has one elevation per column.
            c.column_elevation.assign(static_cast<std::size_t>(n), -999.0f);
            return res;
        }
        case Field::none: break;
    }
    return key_not_mine;
}

}  // namespace nimbex
