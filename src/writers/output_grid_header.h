#pragma once
// Header values of the r2c file being written.
namespace nimbex {

struct OutputGridHeader {
};

}  // namespace nimbex
