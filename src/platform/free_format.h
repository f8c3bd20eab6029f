#pragma once
// List-directed ("free format") reading: blanks and/or commas separate values,
// an empty field between commas is a null value that leaves its item
// unchanged, "/" ends the list (the remaining items keep their values),
// repeat counts ("3*0.5", "2*" = two nulls), texts in ' or " quotes (a doubled
// quote inside stands for one). Values may continue over further records when
// the reader is given a way to fetch the next record.
#include <functional>
#include <string>
#include <string_view>

namespace nimbex {

enum class ReadResult {
    value,   // the item was read and stored
    null,    // a null value: the item is unchanged
    slash,   // "/" met (now or before): this and all later items are unchanged
    eof,     // no more records: the item is unchanged, the read failed
    bad,     // a word that cannot be converted to the item's type: the read failed
};

// True for the two outcomes that make a Fortran READ fail.
inline bool read_failed(ReadResult r) { return r == ReadResult::eof || r == ReadResult::bad; }

class ListReader {
public:
    // Gets the next record into the string; false when there is none.
    using NextRecord = std::function<bool(std::string&)>;

    // Reads from `record` only; running out of it is end of data.
    explicit ListReader(std::string_view record);
    // Reads from `record`, then from the records that `next` gives (a value
    // list that continues over lines).
    ListReader(std::string_view record, NextRecord next);
    // Reads only from the records that `next` gives (starts with the first of them).
    explicit ListReader(NextRecord next);

    ReadResult read(int& v);
    ReadResult read(long long& v);
    ReadResult read(float& v);
    ReadResult read(double& v);
    // A text item, cut or blank-padded to `width` (0 = keep as read).
    ReadResult read(std::string& v, std::size_t width = 0);

    // The word that failed to convert (for the caller's message).
    const std::string& bad_word() const { return bad_word_; }
    // True when a "/" ended the list.
    bool ended() const { return slash_; }

private:
    enum class Tok { value, null, slash, eof };
    Tok next_token(std::string_view& word, bool& quoted);
    bool fetch_record();

    std::string own_;          // current record when fetched from `next_`
    std::string_view rec_;     // current record
    std::size_t pos_ = 0;
    NextRecord next_;
    bool have_record_ = false;
    bool slash_ = false;
    bool after_value_ = false; // a value ended just before: the next comma only separates
    int repeat_left_ = 0;      // pending repeats of `repeat_word_`
    bool repeat_null_ = false;
    std::string repeat_word_;
    bool repeat_quoted_ = false;
    std::string quoted_;       // unescaped quoted text
    std::string bad_word_;
};

// Conversions of one word as a free-format read takes it. False if the word is
// not a number of that kind (an integer field refuses "3.5").
bool parse_int(std::string_view word, int& v);
bool parse_int(std::string_view word, long long& v);
bool parse_real(std::string_view word, float& v);
bool parse_real(std::string_view word, double& v);

}  // namespace nimbex
