#pragma once
// Work grids of the hourly distribution.
namespace nimbex {

struct DistState {
};

}  // namespace nimbex
