#pragma once
// Minimum, maximum, mean and total of a grid's values, cells without a value
// (NaN) left out.
#include <cstddef>
#include <vector>

namespace nimbex::r2ctool {

struct GridStats {
    std::size_t cells = 0;     // cells with a value
    std::size_t missing = 0;   // cells without one
    double min = 0.0, max = 0.0, mean = 0.0, total = 0.0;
    void add(float v);
    void finish();
};

GridStats stats_of(const std::vector<float>& values);

}  // namespace nimbex::r2ctool
