#include "ensim/keyword_line.h"

#include <algorithm>

#include "platform/free_format.h"

namespace nimbex {

namespace {

// Work areas of the line splitter and the word counter: as long as the
// longest line a reader keeps (a gauge table line, 2 MiB).
constexpr std::size_t split_work = std::size_t{1} << 21;
constexpr std::size_t count_work = std::size_t{1} << 21;
constexpr std::size_t path_work = 4096;     // work area of the path-part routine
constexpr std::size_t r2c_name_width = 256;
constexpr std::size_t projection_width = 12;

std::string_view left_trim(std::string_view s) {
    std::size_t i = s.find_first_not_of(' ');
    return i == std::string_view::npos ? std::string_view() : s.substr(i);
}

std::string cut_trim(std::string_view s, std::size_t width) {
    if (s.size() > width) s = s.substr(0, width);
    return std::string(trim_right(s));
}

}  // namespace

bool tabs_to_blanks(std::string& s) {
    bool changed = false;
    for (char& c : s) {
        if (c == '\t') {
            c = ' ';
            changed = true;
        }
    }
    return changed;
}

bool lower_case(std::string& s) {
    bool changed = false;
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
            changed = true;
        }
    }
    return changed;
}

int split_line(std::string_view line, std::string& keyword, std::string& value, std::size_t key_size,
               std::size_t value_size) {
    std::string w(line.substr(0, std::min(line.size(), split_work)));
    tabs_to_blanks(w);
    w = std::string(trim_right(left_trim(w)));
    if (w.empty()) return 0;

    const std::size_t first_blank = w.find(' ');

    if (w[0] == '"') {
        w[0] = ' ';
        const std::size_t close = w.find('"', 1);
        if (close != std::string::npos) {
            w[close] = ' ';
            keyword = cut_trim(std::string_view(w).substr(1, close - 1), key_size);
            if (close + 1 == w.size()) {
                value.clear();
                return 1;
            }
            value = cut_trim(left_trim(std::string_view(w).substr(close + 1)), value_size);
            return 2;
        }
        // An unclosed quote: split at the first blank of the line as it was,
        // so the keyword starts with the blank that replaced the quote.
    }

    if (first_blank == std::string::npos) {
        keyword = cut_trim(w, key_size);
        value.clear();
        return 1;
    }
    keyword = cut_trim(std::string_view(w).substr(0, first_blank + 1), key_size);
    value = cut_trim(left_trim(std::string_view(w).substr(first_blank + 1)), value_size);
    return 2;
}

bool is_number_word(std::string_view word) {
    for (char c : trim(word)) {
        if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')) return false;
    }
    return true;
}

int count_words(std::string_view text) {
    std::string w(text.substr(0, std::min(text.size(), count_work)));
    tabs_to_blanks(w);
    int n = 0;
    bool in_word = false;
    for (char c : w) {
        if (c == ' ') {
            in_word = false;
        } else if (!in_word) {
            in_word = true;
            ++n;
        }
    }
    return n;
}

bool file_part(std::string& path) {
    std::string w(path.substr(0, std::min(path.size(), path_work)));
    for (char& c : w) {
        if (c == '/' || c == static_cast<char>(28)) c = ' ';
    }
    const std::string_view t = trim_right(w);
    if (t.empty()) return false;
    const std::size_t b = t.find_last_of(' ');
    path = std::string(b == std::string_view::npos ? t : t.substr(b + 1));
    return true;
}

bool is_r2c_file(std::string_view name) {
    std::string w(name.substr(0, std::min(name.size(), r2c_name_width)));
    lower_case(w);
    const std::string_view t = trim_right(w);
    return t.size() >= 3 && t.substr(t.size() - 3) == "r2c";
}

bool is_latlong(std::string_view projection) {
    std::string w(projection.substr(0, std::min(projection.size(), projection_width)));
    lower_case(w);
    return trim_right(w) == "latlong";
}

// ---- Taking values ----------------------------------------------------------

std::string bad_value_message(std::string_view word, std::string_view line) {
    std::string m = "Bad value '";
    m += trim(word);
    m += "' in line: ";
    m += trim_right(line);
    return m;
}

bool next_word(std::string_view value, std::string& word, std::string& rest) {
    std::string w, r;
    if (split_line(value, w, r) == 0) return false;
    // A quoted empty word ("") is an empty value, like a missing one.
    if (trim(w).empty()) return false;
    word = std::move(w);
    rest = std::move(r);
    return true;
}

namespace {

template <typename T>
void take_number(std::string_view word, T& v) {
    ListReader reader(word);
    const ReadResult r = reader.read(v);
    if (r == ReadResult::bad || r == ReadResult::eof) throw BadValue(std::string(trim(word)));
}

}  // namespace

void take_value(std::string_view word, int& v) { take_number(word, v); }
void take_value(std::string_view word, float& v) { take_number(word, v); }

void take_text(std::string_view word, std::string& v) {
    ListReader reader(word);
    std::string s;
    const ReadResult r = reader.read(s);
    if (r == ReadResult::value) v = std::string(trim_right(s));
}

}  // namespace nimbex
