#include "platform/free_format.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/short_decimal.h"
#include "platform/text.h"

namespace nimbex {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

template <class T>
bool parse_integer(std::string_view w, T& v) {
    if (w.empty()) return false;
    bool neg = false;
    if (w[0] == '+' || w[0] == '-') {
        neg = w[0] == '-';
        w.remove_prefix(1);
    }
    if (w.empty() || w[0] == '+' || w[0] == '-') return false;
    T x{};
    auto r = std::from_chars(w.data(), w.data() + w.size(), x);
    if (r.ec != std::errc() || r.ptr != w.data() + w.size()) return false;
    v = neg ? -x : x;
    return true;
}

template <class T>
bool parse_floating(std::string_view w, T& v) {
    if (w.empty()) return false;
    bool neg = false;
    if (w[0] == '+' || w[0] == '-') {
        neg = w[0] == '-';
        w.remove_prefix(1);
    }
    if (w.empty() || w[0] == '+' || w[0] == '-') return false;
    // Fortran spellings: D or Q exponent letters, and an exponent without a
    // letter ("1.5+3").
    char buf[128];
    if (w.size() >= sizeof buf - 2) return false;
    std::size_t n = 0;
    bool digit_seen = false, exp_seen = false;
    for (std::size_t i = 0; i < w.size(); ++i) {
        char c = w[i];
        if (c == 'd' || c == 'D' || c == 'q' || c == 'Q') c = 'e';
        if (std::isdigit(static_cast<unsigned char>(c))) digit_seen = true;
        if (c == 'e' || c == 'E') exp_seen = true;
        if ((c == '+' || c == '-') && i > 0 && digit_seen && !exp_seen && w[i - 1] != 'e' && w[i - 1] != 'E') {
            buf[n++] = 'e';
            exp_seen = true;
        }
        buf[n++] = c;
    }
    T x{};
    auto r = std::from_chars(buf, buf + n, x, std::chars_format::general);
    if (r.ptr != buf + n) return false;
    if (r.ec == std::errc::result_out_of_range) {
        // Fortran gives the nearest representable value: overflow is infinite.
        x = std::numeric_limits<T>::infinity();
        bool tiny = false;
        for (std::size_t i = 0; i < n; ++i)
            if (buf[i] == 'e' && i + 1 < n && buf[i + 1] == '-') tiny = true;
        if (tiny) x = 0;
    } else if (r.ec != std::errc()) {
        return false;
    }
    v = neg ? -x : x;
    return true;
}

}  // namespace

bool parse_int(std::string_view word, int& v) { return parse_integer(word, v); }
bool parse_int(std::string_view word, long long& v) { return parse_integer(word, v); }
bool parse_real(std::string_view word, float& v) { return short_decimal(word, v) || parse_floating(word, v); }
bool parse_real(std::string_view word, double& v) { return parse_floating(word, v); }

ListReader::ListReader(std::string_view record) : rec_(record), have_record_(true) {}

ListReader::ListReader(std::string_view record, NextRecord next)
    : rec_(record), next_(std::move(next)), have_record_(true) {}

ListReader::ListReader(NextRecord next) : next_(std::move(next)) {}

bool ListReader::fetch_record() {
    if (!next_) return false;
    if (!next_(own_)) return false;
    rec_ = own_;
    pos_ = 0;
    have_record_ = true;
    return true;
}

ListReader::Tok ListReader::next_token(std::string_view& word, bool& quoted) {
    quoted = false;
    if (slash_) return Tok::slash;
    if (repeat_left_ > 0) {
        --repeat_left_;
        if (repeat_null_) return Tok::null;
        word = repeat_word_;
        quoted = repeat_quoted_;
        return Tok::value;
    }
    if (!have_record_ && !fetch_record()) return Tok::eof;
    for (;;) {
        if (pos_ >= rec_.size()) {
            if (!fetch_record()) return Tok::eof;
            continue;  // the end of a record separates like a blank
        }
        char c = rec_[pos_];
        if (is_blank(c)) {
            ++pos_;
            continue;
        }
        if (c == ',') {
            ++pos_;
            if (after_value_) {  // this comma only ends the value before it
                after_value_ = false;
                continue;
            }
            return Tok::null;
        }
        if (c == '/') {
            slash_ = true;
            return Tok::slash;
        }
        break;
    }
    // A value: a quoted text, or a word up to a blank, comma or slash.
    auto take_word = [&](std::string_view& out, bool& q) {
        char c = rec_[pos_];
        if (c == '\'' || c == '"') {
            q = true;
            quoted_.clear();
            ++pos_;
            while (pos_ < rec_.size()) {
                if (rec_[pos_] == c) {
                    if (pos_ + 1 < rec_.size() && rec_[pos_ + 1] == c) {
                        quoted_.push_back(c);
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    break;
                }
                quoted_.push_back(rec_[pos_++]);
            }
            out = quoted_;
            return;
        }
        std::size_t b = pos_;
        while (pos_ < rec_.size() && !is_blank(rec_[pos_]) && rec_[pos_] != ',' && rec_[pos_] != '/') ++pos_;
        out = rec_.substr(b, pos_ - b);
    };
    std::string_view w;
    bool q = false;
    take_word(w, q);
    after_value_ = true;
    if (!q) {
        // repeat count r*c or r*
        auto star = w.find('*');
        if (star != std::string_view::npos && star > 0) {
            int r = 0;
            if (parse_integer(w.substr(0, star), r) && r > 0 && w[0] != '+' && w[0] != '-') {
                std::string_view rest = w.substr(star + 1);
                if (rest.empty()) {
                    // "r*c" with a quoted constant right after the star
                    if (pos_ < rec_.size() && (rec_[pos_] == '\'' || rec_[pos_] == '"')) {
                        std::string_view qw;
                        bool qq = false;
                        take_word(qw, qq);
                        repeat_word_ = std::string(qw);
                        repeat_quoted_ = true;
                        repeat_null_ = false;
                        repeat_left_ = r - 1;
                        word = repeat_word_;
                        quoted = true;
                        return Tok::value;
                    }
                    repeat_null_ = true;
                    repeat_left_ = r - 1;
                    return Tok::null;
                }
                repeat_quoted_ = false;
                if (rest.size() >= 2 && (rest[0] == '\'' || rest[0] == '"') && rest.back() == rest[0]) {
                    // r*'text': the constant is quoted
                    std::string t;
                    for (std::size_t i = 1; i + 1 < rest.size(); ++i) {
                        t.push_back(rest[i]);
                        if (rest[i] == rest[0] && i + 2 < rest.size() && rest[i + 1] == rest[0]) ++i;
                    }
                    repeat_word_ = t;
                    repeat_quoted_ = true;
                } else {
                    repeat_word_ = std::string(rest);
                }
                repeat_null_ = false;
                repeat_left_ = r - 1;
                word = repeat_word_;
                quoted = repeat_quoted_;
                return Tok::value;
            }
        }
    }
    word = w;
    quoted = q;
    return Tok::value;
}

namespace {
ReadResult from_tok(int t) {
    switch (t) {
        case 1: return ReadResult::null;
        case 2: return ReadResult::slash;
        default: return ReadResult::eof;
    }
}
}  // namespace

#define NIMBEX_LIST_READ(TYPE, PARSE)                                              \
    ReadResult ListReader::read(TYPE& v) {                                         \
        std::string_view w;                                                        \
        bool q = false;                                                            \
        Tok t = next_token(w, q);                                                  \
        if (t != Tok::value) return from_tok(static_cast<int>(t));                 \
        TYPE x{};                                                                  \
        if (q || !PARSE(w, x)) {                                                   \
            bad_word_ = std::string(w);                                            \
            return ReadResult::bad;                                                \
        }                                                                          \
        v = x;                                                                     \
        return ReadResult::value;                                                  \
    }

NIMBEX_LIST_READ(int, parse_int)
NIMBEX_LIST_READ(long long, parse_int)
NIMBEX_LIST_READ(float, parse_real)
NIMBEX_LIST_READ(double, parse_real)
#undef NIMBEX_LIST_READ

ReadResult ListReader::read(std::string& v, std::size_t width) {
    std::string_view w;
    bool q = false;
    Tok t = next_token(w, q);
    if (t != Tok::value) return from_tok(static_cast<int>(t));
    v = width ? fit(w, width) : std::string(w);
    return ReadResult::value;
}

}  // namespace nimbex
