#include "platform/fatal.h"

namespace nimbex {

void fatal_stop(const std::string& message) { throw FatalStop(message); }

}  // namespace nimbex
