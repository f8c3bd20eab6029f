// Keyword-line splitting, the word and path helpers, and the header loop with
// the grid, watershed and table keyword handlers.
#include <string>
#include <string_view>

#include "ensim/header.h"
#include "ensim/keyword_line.h"
#include "ensim/r2c_header.h"
#include "ensim/tb0_header.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::enter_work_dir();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Every line through the toolkit.
    std::size_t b = 0;
    while (b <= bytes.size()) {
        std::size_t e = bytes.find('\n', b);
        if (e == std::string_view::npos) e = bytes.size();
        std::string_view line = bytes.substr(b, e - b);
        std::string key = "k", value = "v";
        const int n = nimbex::split_line(line, key, value, 128, 4096);
        fuzz::require(n >= 0 && n <= 2 && key.size() <= 128 && value.size() <= 4096, "split_line sizes");
        std::string lower(line);
        nimbex::lower_case(lower);
        nimbex::tabs_to_blanks(lower);
        (void)nimbex::is_number_word(line);
        fuzz::require(nimbex::count_words(line) >= 0, "count_words");
        std::string path(line);
        (void)nimbex::file_part(path);
        (void)nimbex::is_r2c_file(line);
        (void)nimbex::is_latlong(line);
        std::string word, rest;
        fuzz::run([&] {
            if (nimbex::next_word(value, word, rest)) {
                int i = 0;
                float f = 0.0f;
                std::string t;
                try { nimbex::take_value(word, i); } catch (const nimbex::BadValue&) {}
                try { nimbex::take_value(word, f); } catch (const nimbex::BadValue&) {}
                nimbex::take_text(word, t);
            }
        });
        b = e + 1;
    }

    // The whole input as a header, once per kind of handler.
    fuzz::write_file("hdr.r2c", data, size);
    for (int kind = 0; kind < 3; ++kind) {
        fuzz::Session s;
        if (s.rs.files.open(31, "hdr.r2c", nimbex::OpenStatus::old_file) != 0) std::abort();
        nimbex::FileUnit& f = s.rs.files[31];
        nimbex::ShedHeader shed;
        nimbex::init_shed_header(shed);
        nimbex::Tb0Header tb0;
        nimbex::init_tb0_header(tb0);
        nimbex::Tb0ColumnMetaData cols;
        bool in_block = false;
        const nimbex::KeyHandler handler = [&](std::string_view key, std::string_view value) -> nimbex::KeyOutcome {
            if (kind == 0) return nimbex::handle_r2c_key(s.con, shed, key, value);
            if (kind == 1) return nimbex::handle_shed_key(s.con, shed, key, value);
            key = nimbex::trim_right(key);
            if (key == ":columnmetadata") { in_block = true; return nimbex::key_stored; }
            if (key == ":endcolumnmetadata") { in_block = false; return nimbex::key_stored; }
            if (in_block) return nimbex::handle_column_key(cols, key, value);
            return nimbex::handle_tb0_key(s.con, tb0, key, value);
        };
        fuzz::run([&] { nimbex::read_header(s.con, f, handler, "fuzz", "hdr.r2c", kind == 2 ? 32768 : 4096); });
        fuzz::require(shed.attribute_count <= nimbex::max_attributes, "attribute list bound");
    }
    return 0;
}
