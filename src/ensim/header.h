#pragma once
// The common EnSim header record and the header loop every r2c and tb0 reader runs.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ensim/keyword_line.h"
#include "platform/text.h"

#include "platform/parallel.h"

namespace nimbex {

class Console;
class FileUnit;

struct AttributeEntry {
    FText<64> name;
    int number = 0;
    // One per grid cell, filled by the r2c value reader (which writes every
    // cell, so a large grid is not cleared first).
    std::vector<float, UninitAllocator<float>> values;
};

struct EnSimHeader {
    std::vector<AttributeEntry> attributes;  // at most 1000, in line order
    int attribute_count = 0;
    int data_format = 0;                     // 0 ascii, 1 binary
    FText<8> file_type{"Unknown"};
    FText<32> application{"Unknown"};
    FText<32> written_by{"Unknown"};
    FText<32> creation_date{"Unknown"};
    FText<32> data_type{"Unknown"};
    FText<16> version{"Unknown"};
    FText<64> name{"Unknown"};
    FText<12> projection{"Cartesian"};
    FText<12> ellipsoid{"Unknown"};
    int zone = 0;
};

constexpr int max_attributes = 1000;

// Resets the common fields (attributes .. name) to their defaults.
void init_header(EnSimHeader& h);

// The keys every EnSim header has. `key` is lower-cased and trimmed.
KeyOutcome handle_common_key(Console& con, EnSimHeader& h, std::string_view key, std::string_view value,
                             std::string_view expected_type);

// A reader's keyword handler: (lower-cased keyword, value) -> what it made of them.
using KeyHandler = std::function<KeyOutcome(std::string_view key, std::string_view value)>;

// Reads header lines up to ":EndHeader" (see the header loop rules); stops
// with " Stopped in <reader_name>" on a premature end of file or a parse error.
// `line_size` is the reader's line buffer (4096, or 2 MiB for gauge tables): longer lines are cut.
void read_header(Console& con, FileUnit& f, const KeyHandler& handler, std::string_view reader_name,
                 std::string_view file_name, std::size_t line_size = 4096);

}  // namespace nimbex
