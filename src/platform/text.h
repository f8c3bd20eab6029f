#pragma once
// Fixed-width, blank-padded texts as the file layouts use them.
#include <cstddef>
#include <string>
#include <string_view>

namespace nimbex {

// Text without its trailing blanks.
std::string_view trim_right(std::string_view s);
// Text without leading and trailing blanks.
std::string_view trim(std::string_view s);
// Length without trailing blanks.
std::size_t len_trim(std::string_view s);
// The text cut or blank-padded to exactly `width` characters (how a longer text
// is stored into a shorter field and a shorter one is padded).
std::string fit(std::string_view s, std::size_t width);
// The first n characters (or all of a shorter text), as a field of n characters.
inline std::string first_chars(std::string_view s, std::size_t n) { return fit(s, n); }
// Comparison that treats a shorter text as padded with blanks.
bool same_text(std::string_view a, std::string_view b);
// Text read from input as it may be shown in a message: control characters
// (codes 0-31 and 127) become visible escapes such as \r, \t and \x00, so a
// stray carriage return cannot hide the message on a terminal.
std::string visible(std::string_view s);
// True if the text holds a control character that visible() would escape.
bool has_control(std::string_view s);

// A text field of fixed width N: assignment cuts or pads, comparisons ignore
// trailing blanks.
template <std::size_t N>
class FText {
public:
    FText() : s_(N, ' ') {}
    FText(std::string_view v) : s_(fit(v, N)) {}  // NOLINT: implicit on purpose
    FText& operator=(std::string_view v) { s_ = fit(v, N); return *this; }
    const std::string& str() const { return s_; }          // full width, blanks included
    std::string_view trimmed() const { return trim_right(s_); }
    std::size_t len() const { return len_trim(s_); }
    char& operator[](std::size_t i) { return s_[i]; }
    char operator[](std::size_t i) const { return s_[i]; }
    static constexpr std::size_t width = N;
    friend bool operator==(const FText& a, std::string_view b) { return same_text(a.s_, b); }
    friend bool operator==(const FText& a, const FText& b) { return same_text(a.s_, b.s_); }
private:
    std::string s_;
};

}  // namespace nimbex
