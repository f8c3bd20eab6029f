#pragma once
// What the station weighting keeps between calls.
namespace nimbex {

struct WeightState {
};

}  // namespace nimbex
