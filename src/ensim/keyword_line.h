#pragma once
// The line-and-keyword toolkit shared by every reader of r2c and tb0 files and
// of the event file (known in messages as EF_module).
#include <cstddef>
#include <string>
#include <string_view>

namespace nimbex {

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

}  // namespace nimbex
