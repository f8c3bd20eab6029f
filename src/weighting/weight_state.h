#pragma once
// What the station weighting owns: its working arrays, what the last call
// weighted for, and the means to form weights and weighted sums from that.
//
// The weight itself is told once, above weight() in weighting/weight.h. Here
// it is kept in two parts: a station's term, which does not depend on which
// stations report (its d^-power, mark_near or mark_out_of_reach), and the
// cell's norm, which does (the sum of the terms, or minus the on-cell share
// when reporting stations lie on the cell). weight_of() puts the two together.
//
// Neither is kept for the whole grid (that would be cells x stations): terms
// are formed for a short run of cells at a time, while they stay in cache,
// and used there for the norms and the sums of every step that needs them.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace nimbex {

// The distance settings of a weighting, in cell units.
struct WeightSettings {
    int power = 2;           // inverse-distance power
    float reach = 1.0e6f;    // radius of influence
    float smoothing = 0.0f;  // smoothing distance, added to every distance
};

// One step whose weighted sum is wanted: sum[c] := the weighted sum of the
// step's values in each cell c of the weighted grid that the sums cover.
struct StepSum {
    const float* values;         // station k's value at values[k - 1]
    const char* reporting;       // 1-based flags: the stations reporting at the step
    float* sum;                  // cell (i, j) at (i-1)*row_stride + (j-1)
};

struct StationWeights {
    static constexpr float mark_near = -1.0f;
    static constexpr float mark_out_of_reach = -2.0f;

    bool first_call = true;  // true until the first call of the run ends
    int first_count = 0;     // station count seen at the first call
    int calls = 0;           // calls so far (diagnostics, tests)

    // Working arrays, made at the first call and grown when needed.
    std::vector<float> separation;        // nstations x nstations, (k-1)*n + (l-1)
    std::vector<float> nearest_distance;  // 1-based
    std::vector<float> weight_check;      // ycount x xcount, row-major from row 1
    int nstations = 0;                    // stations the arrays are made for
    float max_reach = 0.0f;               // recomputed at every call

    // What the last call weighted for: the grid, the stations' places (0-based),
    // the settings and the reporting stations (1-based flags).
    int xcount = 0, ycount = 0;
    std::vector<float> x, y;
    float smooth = 0.0f, cutoff = 0.0f;
    int power = 2;
    bool single = false;  // one station: it takes everything, everywhere
    std::vector<char> reporting;

    // Station k's terms for n cells of row i from column j1 on.
    void terms(int k, int i, int j1, int n, float* out) const;

    // Station k's weight in cell (i, j) from the last call (0.0 for a station
    // that did not report). Forms the norms of the reporting stations at the
    // first question after a call.
    float weight_at(int i, int j, int k);

    // Writes the weighted sums of the steps into their grids, for the cells of the
    // weighted grid within `rows` x `cols` (rows and columns from 1). Each
    // cell sums over the stations in station order. The stations' places and
    // settings are those of the last call; each step brings its own reporting
    // stations. Up to `threads` threads, when the work is large enough.
    void add_sums(const std::vector<StepSum>& steps, int rows, int cols, std::size_t row_stride, int threads) const;

    // The weight of a reporting station from its term t and the cell's norm
    // (the rule above weight()).
    static float weight_of(float t, float norm) {
        const bool is_near = t == mark_near;
        const bool nobody_near = norm > 0.0f;  // a sum of 0 gives no weight, not NaN
        const bool is_far = !is_near & (t != mark_out_of_reach) & nobody_near;
        const float w = is_far ? t / norm : 0.0f;
        return is_near ? -norm : w;
    }

    // Norms of the reporting stations of the last call (weight_at).
    std::vector<float> norm;
    bool norm_current = false;
};

}  // namespace nimbex
