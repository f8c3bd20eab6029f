#pragma once
// The event file's keyword handler.
#include <string_view>

#include "readers/event_state.h"

namespace nimbex {

class Console;

// Stores the value of one event-file keyword (lower-cased) into the record:
// 1 stored, -1 value empty. A keyword it does not know ends the run with
// "Program aborted in EF_module @ 2763"; a number that cannot be read throws
// BadValue.
int handle_event_key(Console& con, EventRecord& e, std::string_view key, std::string_view value);

}  // namespace nimbex
