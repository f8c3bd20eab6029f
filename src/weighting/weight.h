#pragma once
// Station weights: for the stations reporting at `hour` (value >= threshold),
// the weight of every station in every cell of the grid (ycount x xcount), into
// rs.dist.weights (layout in driver/dist_state.h).
#include "driver/run_state.h"

namespace nimbex {

void weight(RunState& rs, int hour, int nstations, int xcount, int ycount, float threshold);

// d to the integer power n, as d multiplied by itself n times (1.0 for n = 0).
inline float int_power(float d, int n) {
    if (n == 2) return d * d;
    if (n < 0) return 1.0f / int_power(d, -n);
    float r = 1.0f;
    for (int k = 0; k < n; ++k) r *= d;
    return r;
}

}  // namespace nimbex
