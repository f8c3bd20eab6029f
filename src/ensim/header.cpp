#include "ensim/header.h"

#include "ensim/keyword_line.h"
#include "platform/console.h"
#include "platform/fatal.h"
#include "platform/files.h"

namespace nimbex {

void init_header(EnSimHeader& h) {
    h.attributes.clear();
    h.attribute_count = 0;
    h.data_format = 0;
    h.file_type = "Unknown";
    h.application = "Unknown";
    h.written_by = "Unknown";
    h.creation_date = "Unknown";
    h.data_type = "Unknown";
    h.version = "Unknown";
    h.name = "Unknown";
}

namespace {

// ":FileType": the type word must be the expected one (case matters), the
// format word ascii or binary (any case).
KeyOutcome file_type_key(Console& con, EnSimHeader& h, std::string_view value, std::string_view expected_type) {
    std::string word, rest;
    if (!next_word(value, word, rest)) return key_bad_value;
    take_value(word, h.file_type);
    if (!(h.file_type == expected_type)) {
        con.line("ERROR in file: ");
        const std::string shown = expected_type == "tb0" ? "TB0" : std::string(expected_type);
        con.line("Expected: " + shown + " Found: " + std::string(trim(word)));
        return key_bad_value;
    }
    std::string format;
    if (!next_word(rest, word, rest)) return key_bad_value;
    take_text(word, format);
    lower_case(format);
    if (format == "ascii") {
        h.data_format = 0;
    } else if (format == "binary") {
        h.data_format = 1;
    } else {
        con.line(" Stopped: invalid file format");
        return key_bad_value;
    }
    return key_stored;
}

KeyOutcome attribute_name_key(Console& con, EnSimHeader& h, std::string_view value) {
    std::string word, rest;
    if (!next_word(value, word, rest)) return key_bad_value;
    if (!is_number_word(word)) {
        con.line("Read '" + std::string(trim(word)) + "' but expected a number");
        return key_bad_value;
    }
    // The list has room for max_attributes entries; a further line is refused.
    if (h.attribute_count >= max_attributes) return key_bad_value;
    ++h.attribute_count;
    h.attributes.emplace_back();
    AttributeEntry& a = h.attributes.back();
    take_value(word, a.number);
    if (!next_word(rest, word, rest)) return key_bad_value;
    take_value(word, a.name);
    return key_stored;
}

template <typename Field>
KeyOutcome first_word_key(Field& field, std::string_view value) {
    std::string word, rest;
    if (!next_word(value, word, rest)) return key_bad_value;
    take_value(word, field);
    return key_stored;
}

}  // namespace

KeyOutcome handle_common_key(Console& con, EnSimHeader& h, std::string_view key, std::string_view value,
                             std::string_view expected_type) {
    if (key == ":filetype") return file_type_key(con, h, value, expected_type);
    if (key == ":application") return first_word_key(h.application, value);
    if (key == ":writtenby") return first_word_key(h.written_by, value);
    if (key == ":creationdate") return first_word_key(h.creation_date, value);
    if (key == ":datatype") return first_word_key(h.data_type, value);
    if (key == ":version") return first_word_key(h.version, value);
    if (key == ":name") return first_word_key(h.name, value);
    if (key == ":attributename") return attribute_name_key(con, h, value);
    if (key == ":projection" || key == ":ellipsoid") {
        // Both go into the header of every grid written: a word with a control
        // character (a NUL, a stray carriage return) could not be read back.
        std::string word, rest;
        if (next_word(value, word, rest) && has_control(word)) return key_bad_value;
        return first_word_key(key == ":projection" ? h.projection : h.ellipsoid, value);
    }
    if (key == ":zone") return first_word_key(h.zone, value);
    return key_not_mine;
}

void read_header(Console& con, FileUnit& f, const KeyHandler& handler, std::string_view reader_name,
                 std::string_view file_name, std::size_t line_size) {
    const std::string stop = " Stopped in " + std::string(trim_right(reader_name));
    std::string line = "#";
    std::string key, value;
    while (line.empty() || line[0] == '#' || line[0] == ':') {
        if (!f.get_line(line)) {
            con.line("ERROR: Premature EndOfFile encountered");
            fatal_stop(stop);
        }
        if (line.size() > line_size) line.resize(line_size);
        tabs_to_blanks(line);
        line = std::string(trim(line));
        if (line.empty() || line[0] != ':') continue;

        split_line(line, key, value, 128, line_size);
        lower_case(key);
        if (key == ":endheader") break;
        KeyOutcome result = key_not_mine;
        try {
            result = handler(key, value);
        } catch (const BadValue& e) {
            con.line("ERROR parsing " + std::string(trim_right(file_name)));  // the stop line names no file
            fatal_stop(bad_value_message(e.word(), line));
        }
        if (result == key_bad_value) {
            con.line("ERROR parsing " + std::string(trim_right(file_name)));
            con.line("   in line: " + line);
            fatal_stop(stop);
        }
    }
}

}  // namespace nimbex
