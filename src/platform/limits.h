#pragma once
// Bounds on what counts read from input files may ask for. A count outside
// them stops the run with a message naming the file, before anything is
// allocated or indexed with it.
#include <cstdint>

namespace nimbex {

// Values in any one array sized from counts in a file: the cells of a grid,
// the attribute values of one r2c file, the values of one gauge table. 2^28
// reals is 1 GiB; it also keeps every cell index and product of counts well
// inside a 32-bit integer.
constexpr std::int64_t max_values = std::int64_t{1} << 28;

// Stations of a gauge file (the old .rag layout's 5-column count holds at
// most 99999; a table line of 2 MiB holds 100,000 values of up to 20 characters).
constexpr int max_stations = 100000;

// Land-cover and river classes of a watershed (as many as a grid file can
// have attributes).
constexpr int max_classes = 1000;

}  // namespace nimbex
