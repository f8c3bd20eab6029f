#pragma once
// Allocation failures that end the run with the message of the array concerned.
#include <new>
#include <stdexcept>
#include <string>

#include "platform/fatal.h"

namespace nimbex {

// Runs `make` (which sizes arrays); when memory runs out, or a size is beyond
// what a vector can hold, `explain` writes the lines that tell the user why
// and the run stops with `stop_message`.
template <class Make, class Explain>
void allocate_or_stop(const std::string& stop_message, Make&& make, Explain&& explain) {
    try {
        make();
    } catch (const std::bad_alloc&) {
        explain();
        fatal_stop(stop_message);
    } catch (const std::length_error&) {
        explain();
        fatal_stop(stop_message);
    }
}

template <class Make>
void allocate_or_stop(const std::string& stop_message, Make&& make) {
    allocate_or_stop(stop_message, make, [] {});
}

}  // namespace nimbex
