#pragma once
// The line-and-keyword toolkit shared by every reader of r2c and tb0 files and
// of the event file (known in messages as EF_module).
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/fatal.h"
#include "platform/text.h"

namespace nimbex {

// What a keyword handler made of a keyword and its value. The values are
// those the handlers have always answered with.
enum KeyOutcome : int {
    key_bad_value = -1,  // the handler's keyword, with its value missing or wrong
    key_not_mine = 0,    // not a keyword of this handler
    key_stored = 1,      // the handler's keyword, its value stored
};

// Every tab becomes a blank; true if any was replaced.
bool tabs_to_blanks(std::string& s);
// 'A'..'Z' become 'a'..'z'; true if any was changed.
bool lower_case(std::string& s);
// Splits a keyword line: returns 0 (empty line; keyword and value untouched),
// 1 (keyword only, value blank) or 2 (keyword and value). The keyword is cut
// to `key_size` characters, the value to `value_size`; both are returned
// without trailing blanks.
int split_line(std::string_view line, std::string& keyword, std::string& value,
               std::size_t key_size = 128, std::size_t value_size = 4096);
// True if every character of the trimmed word is a digit, '+', '-' or '.'
// (an empty word counts as true).
bool is_number_word(std::string_view word);
// Number of blank-separated words after tabs become blanks.
int count_words(std::string_view text);
// The last word of the path after '/' and the character with code 28 become
// blanks (a backslash is not a separator); false if the path is empty.
bool file_part(std::string& path);
// True if the trimmed, lower-cased name ends in "r2c".
bool is_r2c_file(std::string_view name);
// True only for a projection text that is "latlong" in any case.
bool is_latlong(std::string_view projection);

// ---- Taking values inside keyword handlers --------------------------------

// A word that a handler cannot convert to its field's type. It is a fatal stop
// ("Bad value '<word>'"); the header loop and the event reader, which know the
// line, stop instead with "Bad value '<word>' in line: <line>".
class BadValue : public FatalStop {
public:
    explicit BadValue(const std::string& word)
        : FatalStop("Bad value '" + word + "'"), word_(word) {}
    const std::string& word() const { return word_; }
private:
    std::string word_;
};

// The stop line of an unconvertible word met on a given line.
std::string bad_value_message(std::string_view word, std::string_view line);

// Splits the first word off a value (split_line on the value): false when the
// value is empty or its first word is a quoted empty word "" (a handler then
// answers -1). `rest` gets the remainder.
bool next_word(std::string_view value, std::string& word, std::string& rest);

// Free-format conversion of one word into a field. A null word (",") leaves
// the field unchanged; a word that is not a number of the field's kind throws
// BadValue.
void take_value(std::string_view word, int& v);
void take_value(std::string_view word, float& v);
// The text a free-format read takes from a word: up to its first blank, comma
// or slash (a text quoted in ' keeps its blanks); a null word leaves it unchanged.
void take_text(std::string_view word, std::string& v);
template <std::size_t N>
void take_value(std::string_view word, FText<N>& v) {
    std::string s(v.trimmed());
    take_text(word, s);
    v = s;
}

}  // namespace nimbex
