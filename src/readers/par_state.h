#pragma once
// The shared parameter state of the parameter file.
namespace nimbex {

struct ParState {
};

}  // namespace nimbex
