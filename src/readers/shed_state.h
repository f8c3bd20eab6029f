#pragma once
// The watershed's cell numbering and per-grid data, the pdl grid and static-grid results.
namespace nimbex {

struct ShedState {
};

}  // namespace nimbex
