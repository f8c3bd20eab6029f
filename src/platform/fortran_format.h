#pragma once
// Fixed-width number formatting exactly as Fortran edit descriptors write it,
// and list-directed ("free format") output records. All file layouts and most
// console lines go through here.
//
// Conventions shared by every field routine:
//  - right-aligned in a field of `w` characters;
//  - a value that does not fit gives a field of w '*';
//  - the put_* forms append to a caller's buffer (no allocation in hot loops),
//    the fmt_* forms return a new string.
#include <cstdint>
#include <string>
#include <string_view>

namespace nimbex {

// Iw
void put_i(std::string& out, long long v, int w);
std::string fmt_i(long long v, int w);

// Fw.d: rounded to d decimals (round to nearest on the exact binary value), a
// leading "0" before the point when the field has room, the point always
// written (also for d = 0), a minus sign for negative values.
void put_f(std::string& out, double v, int w, int d);
// The same through the C library's conversion alone (put_f takes a faster
// way for most values; this one is its reference).
void put_f_exact(std::string& out, double v, int w, int d);
std::string fmt_f(double v, int w, int d);

// Ew.d: 0.ddddE+xx form (leading "0" when the field has room); exponents of
// three digits drop the letter (0.1234+100).
void put_e(std::string& out, double v, int w, int d);
std::string fmt_e(double v, int w, int d);

// Aw: a text in a field of w characters: a longer text keeps its first w
// characters, a shorter one is right-aligned (blanks first), as Fortran's A
// edit descriptor writes it.
void put_a(std::string& out, std::string_view s, int w);
std::string fmt_a(std::string_view s, int w);

// A text padded with blanks on the right (or cut) to w characters: how a
// keyword or a fixed-width text field is written "padded to w columns".
void put_pad(std::string& out, std::string_view s, int w);
std::string fmt_pad(std::string_view s, int w);

// List-directed output items (gfortran layout): integer in 11 columns, a
// single-precision real in 16 columns as G16.9 (1.00000000 followed by four
// blanks, 9.99999978E-03 outside 0.1 .. 1e9), a double in 25 columns as G25.17.
std::string list_int(long long v);
std::string list_real(float v);
std::string list_double(double v);

// One list-directed record. Items are appended in order; a separator blank
// precedes every item except a text item that follows a text item. A file
// record starts with one blank (`record_blank`); console messages in this
// program are written without it so that their texts stand exactly as given.
class ListLine {
public:
    explicit ListLine(bool record_blank = true) : first_blank_(record_blank) {}
    // A file record formed in `buffer`'s storage (its text is dropped): no
    // new memory for each of many records.
    explicit ListLine(std::string&& buffer) : s_(std::move(buffer)), first_blank_(true) { s_.clear(); }
    ListLine& operator<<(std::string_view s);
    ListLine& operator<<(const char* s) { return *this << std::string_view(s); }
    ListLine& operator<<(const std::string& s) { return *this << std::string_view(s); }
    ListLine& operator<<(char c) { return *this << std::string_view(&c, 1); }
    ListLine& operator<<(int v);
    ListLine& operator<<(long v);
    ListLine& operator<<(long long v);
    ListLine& operator<<(unsigned v) { return *this << static_cast<long long>(v); }
    ListLine& operator<<(std::size_t v) { return *this << static_cast<long long>(v); }
    ListLine& operator<<(float v);
    ListLine& operator<<(double v);
    ListLine& operator<<(bool v);  // Fortran logical: T or F
    const std::string& str() const { return s_; }
    std::string take() { return std::move(s_); }
    operator std::string_view() const { return s_; }  // NOLINT: lets a ListLine go to Console::line
private:
    void before_item(bool is_text);
    std::string s_;
    bool first_blank_;
    bool started_ = false;
    bool last_text_ = false;
};

// A console message: a list-directed line without the record's leading blank.
inline ListLine msg() { return ListLine(false); }

}  // namespace nimbex
