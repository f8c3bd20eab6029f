#pragma once
// Allocation failures that end the run with the message of the array concerned.
#include <new>
#include <stdexcept>
#include <string>

#include "platform/fatal.h"

namespace nimbex {

// Runs `make` (which sizes arrays); when memory runs out, or a size is beyond
// what a vector can hold, the run stops with `stop_message`.
template <class Make>
void allocate_or_stop(const std::string& stop_message, Make&& make) {
    try {
        make();
    } catch (const std::bad_alloc&) {
        fatal_stop(stop_message);
    } catch (const std::length_error&) {
        fatal_stop(stop_message);
    }
}

}  // namespace nimbex
