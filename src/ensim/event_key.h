#pragma once
// The event file's keyword handler.
#include <string>
#include <string_view>

#include "platform/fatal.h"

#include "ensim/event_record.h"
#include "ensim/keyword_line.h"

namespace nimbex {

class Console;

// Stores the value of one event-file keyword (lower-cased) into the record:
// key_stored, or key_bad_value for an empty value. A keyword it does not know ends the run with
// "Program aborted in EF_module @ 2763"; a number that cannot be read throws
// BadValue.
KeyOutcome handle_event_key(Console& con, EventRecord& e, std::string_view key, std::string_view value);

// A file name longer than the field of its keyword: it would be cut and name
// another file. Thrown by handle_event_key; the event reader, which knows the
// file and line, turns it into the stop.
class LongName : public FatalStop {
public:
    LongName(std::string_view key, std::string_view name)
        : FatalStop("file name longer than " + std::to_string(event_name_width) + " characters"),
          key_(key), name_(name) {}
    const std::string& key() const { return key_; }
    const std::string& name() const { return name_; }
private:
    std::string key_;
    std::string name_;
};

}  // namespace nimbex
