#pragma once
// Work grids of the hourly distribution.
//
// The grids p, psum, pmax, run_total, remaining and outarray cover the
// precipitation (pdl) grid: ny rows by nx columns, row-major from row 1, so
// cell (i, j) is at (i-1)*nx + (j-1).
//
// A station's weight in a cell is made of two parts. Its entry, which does
// not depend on which stations report: its inverse distance power, or
// mark_near (the station lies on the cell) or mark_out_of_reach. And the
// cell's norm (cell_norm), which does: the sum of the reporting stations'
// inverse distance powers, or, when reporting stations lie on the cell, minus
// the share 1 / (their count). weight_of() puts the two together; a change of
// the reporting stations only recomputes the norms.
//
// The entries are kept in weights when they fit in a moderate amount of memory
// (terms_stored): per station one contiguous block over the cells of the grid
// the last weight call was made for (w_ycount rows by w_xcount columns,
// row-major from row 1), station k's entry for cell (i, j) at
// (k-1)*w_cells + (i-1)*w_xcount + (j-1). Otherwise they are formed again
// from the station places (term_x, term_y) each time they are needed, which
// on a large grid costs less than writing and reading them back.
#include <cstddef>
#include <vector>

#include "platform/parallel.h"

namespace nimbex {

// One station's entries for a run of n cells of one row, starting at column
// j1 (with the weighting).
void station_terms(float* w, float sx, float dy2, int j1, int n, float smooth, float cutoff, int pw);

struct DistState {
    int nx = 0, ny = 0;  // pdl grid the grids were made for

    std::vector<float> p, psum, pmax, run_total, remaining, outarray;

    std::vector<float, UninitAllocator<float>> weights;
    std::vector<float> cell_norm;  // w_cells entries
    std::vector<char> weighted;    // 1-based: the station reported at the last weight call
    int w_xcount = 0, w_ycount = 0;
    std::size_t w_cells = 0;
    std::vector<char> frame_text;  // text of the frame being written (kept to avoid reallocation)
    std::vector<float> step_sums;  // weighted sums of the coming steps with rain, one grid per step
    bool terms_current = false;    // the term_* inputs are those of the last weight call
    bool terms_stored = false;     // weights holds the entries for them
    std::vector<float> term_x, term_y;  // station places, 0-based
    float term_smooth = 0.0f, term_cutoff = 0.0f;
    int term_power = 0;
    int threads = 0;               // threads for the cell loops; 0 until decided

    std::vector<char> station_has_data;  // 1-based, element 0 unused

    int first_stations = 0;  // station count of the first event
    int alloc_hours = 0;     // largest hour count the arrays were made for
    int alloc_stations = 0;  // station count the arrays now cover

    // The event's switch and start, filled by the driver before the distribution.
    char smrflg = 'n';
    int start_year = 0, start_month = 1, start_day = 1, start_hour = 0;

    bool spurious_removed = false;  // set by prepare_gauge_data

    std::size_t cell(int i, int j) const { return static_cast<std::size_t>(i - 1) * nx + (j - 1); }
    float* station_weights(int k) { return weights.data() + static_cast<std::size_t>(k - 1) * w_cells; }
    const float* station_weights(int k) const { return weights.data() + static_cast<std::size_t>(k - 1) * w_cells; }
    // Station k's entries over the n cells from cell c on (within one row of
    // the weight grid unless they are stored); `buf` holds them when they
    // are formed here.
    const float* terms(int k, std::size_t c, std::size_t n, float* buf) const {
        if (terms_stored) return station_weights(k) + c;
        const std::size_t row = c / static_cast<std::size_t>(w_xcount);
        const int j0 = static_cast<int>(c - row * static_cast<std::size_t>(w_xcount));
        const float dy = term_y[static_cast<std::size_t>(k - 1)] - static_cast<float>(row + 1);
        station_terms(buf, term_x[static_cast<std::size_t>(k - 1)], dy * dy, j0 + 1, static_cast<int>(n),
                      term_smooth, term_cutoff, term_power);
        return buf;
    }
    // Station k's weight in cell (i, j), from the last weight call.
    float weight_at(int i, int j, int k) const {
        if (k < 1 || static_cast<std::size_t>(k) >= weighted.size() || !weighted[k]) return 0.0f;
        const std::size_t c = static_cast<std::size_t>(i - 1) * w_xcount + (j - 1);
        float t = 0.0f;
        return weight_of(*terms(k, c, 1, &t), cell_norm[c]);
    }
    int thread_count() {
        if (threads < 1) threads = thread_count_from_environment();
        return threads;
    }

    static constexpr float mark_near = -1.0f;
    static constexpr float mark_out_of_reach = -2.0f;

    // The weight of a reporting station from its entry t and the cell's norm:
    // shared equally among the stations on the cell when there are any, else
    // its inverse distance power over the sum (0 when out of reach).
    static float weight_of(float t, float norm) {
        const bool is_near = t == mark_near;
        const bool nobody_near = norm > 0.0f;  // a sum of 0 gives no weight, not NaN
        const bool is_far = !is_near & (t != mark_out_of_reach) & nobody_near;
        const float w = is_far ? t / norm : 0.0f;
        return is_near ? -norm : w;
    }
};

}  // namespace nimbex
