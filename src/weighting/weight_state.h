#pragma once
// What the station weighting keeps between calls.
#include <vector>

namespace nimbex {

struct WeightState {
    bool first_call = true;  // true until the first call of the run ends
    int first_count = 0;     // station count seen at the first call
    int calls = 0;           // calls so far (diagnostics, tests)

    // Working arrays, made at the first call and kept for the run.
    std::vector<float> separation;        // nstations x nstations, (k-1)*n + (l-1)
    std::vector<float> nearest_distance;  // 1-based
    std::vector<float> weight_check;      // ycount x xcount, row-major from row 1
    int nstations = 0;                    // stations the arrays are made for
    float max_reach = 0.0f;               // recomputed at every call
    int term_xcount = -1, term_ycount = -1, term_stations = -1;  // grid and count of the entries

    // The cells' norms (DistState::cell_norm) of recently weighted sets of
    // reporting stations, newest first: a gauge that is back after a gap
    // brings back a set seen before. Valid while the stations' entries stay the same.
    struct NormsOfSet {
        std::vector<char> reporting;  // 1-based flags
        std::vector<float> norm;
    };
    std::vector<NormsOfSet> recent_norms;
};

}  // namespace nimbex
