// Station weights by inverse distance.
#include "weighting/weight.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>
#include <string>

#include "platform/fatal.h"
#include "platform/fortran_format.h"
#include "writers/fast_fixed.h"

namespace nimbex {

namespace {

// Markers left in a station's weight block between the two cell passes; any
// other value there is the station's inverse distance power for that cell.
constexpr float mark_near = -1.0f;      // the station lies on the cell
constexpr float mark_out_of_reach = -2.0f;

constexpr float near_distance = 0.99f;

template <class V>
void make(V& v, std::size_t n, const char* stop_message) {
    try {
        v.clear();
        v.shrink_to_fit();
        v.resize(n);
    } catch (const std::bad_alloc&) {
        fatal_stop(stop_message);
    } catch (const std::length_error&) {
        fatal_stop(stop_message);
    }
}

void make_work_arrays(WeightState& ws, int nstations, std::size_t cells, bool reallocation) {
    const std::size_t n = static_cast<std::size_t>(std::max(nstations, 0));
    const char* re = "Error with re-allocation in weight @ 63";
    make(ws.separation, n * n, reallocation ? re : "Error with allocation of separation() in weight");
    make(ws.nearest_distance, n + 1, reallocation ? re : "Error with allocation of nearest_distance() in weight");
    make(ws.weight_check, cells, reallocation ? re : "**Allocation failed for weight_check()");
    make(ws.near_count, cells, reallocation ? re : "**Allocation failed for sta_relv array in weight @ 47**");
    make(ws.inv_dist_sum, cells, reallocation ? re : "**Allocation failed for sta_relv array in weight @ 47**");
    ws.nstations = nstations;
}

// The two cell passes evaluate every operand and select; allowing the compiler
// to do so without trap semantics lets it vectorise them. No result changes.
#define NIMBEX_CELL_KERNEL [[gnu::optimize("no-trapping-math", "no-math-errno", "tree-vectorize")]]

// First pass for one reporting station over a run of n cells of one row,
// starting at column j1: its distance from each cell decides whether it is out
// of reach, on the cell, or adds its inverse distance power to the cell's sum.
// P is the power when it is 1, 2 or 3, and 0 for any other power pw.
template <int P>
NIMBEX_CELL_KERNEL void station_pass(float* w, int* nc, float* s, float sx, float dy2, int j1, int n,
                                     float smooth, float cutoff, int pw) {
    for (int j = 0; j < n; ++j) {
        const float dx = sx - static_cast<float>(j1 + j);
        const float d = __builtin_sqrtf(dx * dx + dy2) + smooth;  // inlines into the kernel
        float dp;
        if constexpr (P == 1) {
            dp = d;
        } else if constexpr (P == 2) {
            dp = d * d;
        } else if constexpr (P == 3) {
            dp = d * d * d;
        } else {
            dp = int_power(d, pw);
        }
        const float t = 1.0f / dp;
        // Bitwise rather than short-circuit logic keeps the loop free of branches.
        const bool out = d > cutoff;
        const bool on_cell = !out & (d <= near_distance);
        const bool far = !out & !on_cell;
        s[j] += far ? t : 0.0f;  // adding +0.0 changes no sum
        nc[j] += static_cast<int>(on_cell);
        const float mark = out ? mark_out_of_reach : mark_near;
        w[j] = far ? t : mark;
    }
}

// Second pass: the markers and inverse distance powers become weights.
NIMBEX_CELL_KERNEL void weight_pass(float* wk, const int* near, const float* sum, std::size_t cells) {
    for (std::size_t c = 0; c < cells; ++c) {
        const float v = wk[c];
        const int n = near[c];
        const float shared = 1.0f / static_cast<float>(n);  // only used when n > 0
        const float own = v / sum[c];                       // only used when nobody is near
        const bool is_near = v == mark_near;
        // A sum of 0 (every power beyond the real range) gives no weight, not NaN.
        const bool is_far = !is_near & (v != mark_out_of_reach) & (n == 0) & (sum[c] > 0.0f);
        float w = is_far ? own : 0.0f;
        w = is_near ? shared : w;
        wk[c] = w;
    }
}

// Weights of the reporting stations, a short run of cells at a time so that
// both passes over a run stay in cache. Every cell still sees the stations in
// station order, so its sum is that of a station loop inside a cell loop.
template <int P>
void weigh_cells(DistState& ds, WeightState& ws, const GaugeSet& g, const std::vector<int>& reporting,
                 int xcount, int ycount, float smooth, float cutoff, int pw) {
    constexpr int run = 256;
    for (int i = 1; i <= ycount; ++i) {
        const std::size_t row = static_cast<std::size_t>(i - 1) * xcount;
        for (int j0 = 0; j0 < xcount; j0 += run) {
            const int n = std::min(run, xcount - j0);
            const std::size_t c0 = row + j0;
            int* nc = ws.near_count.data() + c0;
            float* s = ws.inv_dist_sum.data() + c0;
            std::fill(nc, nc + n, 0);
            std::fill(s, s + n, 0.0f);
            for (int k : reporting) {
                const float dy = g.station_y[k] - static_cast<float>(i);
                station_pass<P>(ds.station_weights(k) + c0, nc, s, g.station_x[k], dy * dy, j0 + 1, n, smooth,
                                cutoff, pw);
            }
            for (int k : reporting) weight_pass(ds.station_weights(k) + c0, nc, s, static_cast<std::size_t>(n));
        }
    }
}

void diagnostics(RunState& rs, int hour, int nstations, int xcount, int ycount) {
    WeightState& ws = rs.wts;
    DistState& ds = rs.dist;
    const bool info = rs.files.is_open(51);
    if (info) rs.files[51].put_line(ListLine() << "weight check:");

    const std::size_t cells = static_cast<std::size_t>(xcount) * ycount;
    std::fill(ws.weight_check.begin(), ws.weight_check.begin() + cells, 0.0f);
    // Only cells of the watershed grid have a rank; cells beyond it are not checked.
    const int yc = std::min(ycount, rs.shed.shed_ycount);
    const int xc = std::min(xcount, rs.shed.shed_xcount);
    const bool have_ranks =
        yc > 0 && xc > 0 &&
        rs.shed.rank.size() >= static_cast<std::size_t>(rs.shed.shed_ycount) * rs.shed.shed_xcount;
    if (have_ranks) {
        for (int k = 1; k <= nstations; ++k) {
            const float* wk = ds.station_weights(k);
            for (int i = 1; i <= yc; ++i) {
                const std::size_t row = static_cast<std::size_t>(i - 1) * xcount;
                for (int j = 0; j < xc; ++j) ws.weight_check[row + j] += wk[row + j];
            }
        }
        for (int i = 1; i <= yc; ++i) {
            for (int j = 1; j <= xc; ++j) {
                const std::size_t c = static_cast<std::size_t>(i - 1) * xcount + (j - 1);
                if (rs.shed.rank_at(i, j) <= 0) {
                    ws.weight_check[c] = 0.0f;
                    continue;
                }
                const float sum = ws.weight_check[c];
                if (sum > 1.01f || sum < 0.99f) rs.con.line(msg() << "wt_check" << i << j << sum);
            }
        }
    }

    if (ws.first_call && info) {
        FileUnit& f = rs.files[51];
        std::string line;
        for (int k = 1; k <= nstations; ++k) {
            f.put_line(ListLine() << "recalculated weight for gauge no" << k);
            const float* wk = ds.station_weights(k);
            for (int i = ycount; i >= 1; --i) {
                line.clear();
                const float* row = wk + static_cast<std::size_t>(i - 1) * xcount;
                for (int j = 0; j < xcount; ++j) {
                    if (j > 0 && j % 999 == 0) line += '\n';
                    append_fixed(line, row[j], 5, 2);
                }
                f.put_line(line);
            }
            f.put_line("");
        }
    }

    rs.con.line(msg() << "New weights hr= " << hour);
}

}  // namespace

void weight(RunState& rs, int hour, int nstations, int xcount, int ycount, float threshold) {
    WeightState& ws = rs.wts;
    DistState& ds = rs.dist;
    GaugeSet& g = rs.gauges;
    ++ws.calls;
    xcount = std::max(xcount, 0);
    ycount = std::max(ycount, 0);
    nstations = std::max(nstations, 0);
    const std::size_t cells = static_cast<std::size_t>(xcount) * ycount;

    if (ws.first_call) {
        rs.con.line(msg() << "Allocating with " << nstations << " stations");
        ws.first_count = nstations;
        make_work_arrays(ws, nstations, cells, false);
    }
    if (nstations != ws.first_count) {
        rs.con.line(msg() << "ng,ng_old" << nstations << ws.first_count);
    }
    // More stations than the arrays hold (more than at the first call, or a
    // larger grid): make them again. Arrays that are large enough are kept,
    // since every call rebuilds their content anyway.
    if (ws.nstations < nstations || ws.weight_check.size() < cells) {
        make_work_arrays(ws, std::max(nstations, ws.nstations), std::max(cells, ws.weight_check.size()), true);
    }
    if (ds.weights.size() < static_cast<std::size_t>(nstations) * cells) {
        make(ds.weights, static_cast<std::size_t>(nstations) * cells, "Error with re-allocation in weight @ 63");
    }
    ds.w_xcount = xcount;
    ds.w_ycount = ycount;
    ds.w_cells = cells;

    if (nstations == 1) {
        std::fill(ds.weights.begin(), ds.weights.begin() + cells, 1.0f);
        ws.first_call = false;
        return;
    }

    // Separations between all stations, reporting or not.
    const std::size_t ns = static_cast<std::size_t>(nstations);
    for (int k = 1; k <= nstations; ++k) {
        float nearest = 1.0e32f;
        for (int l = 1; l <= nstations; ++l) {
            const float dx = g.station_x[k] - g.station_x[l];
            const float dy = g.station_y[k] - g.station_y[l];
            const float sep = std::sqrt(dx * dx + dy * dy);
            ws.separation[(k - 1) * ns + (l - 1)] = sep;
            if (l != k && sep < nearest) nearest = sep;
        }
        ws.nearest_distance[k] = nearest;
    }

    float max_reach = rs.radiusinflce < 0.0f ? 0.0f : rs.radiusinflce;
    for (int k = 1; k <= nstations; ++k) {
        const float r = ws.nearest_distance[k] + 2.0f;
        if (r > max_reach) max_reach = r;
    }
    ws.max_reach = max_reach;
    const float cutoff = max_reach + 2.0f;

    const float smooth = rs.smoothdist;
    const int pw = rs.idw_power;
    std::vector<int> reporting;
    reporting.reserve(ns);
    for (int k = 1; k <= nstations; ++k) {
        if (g.precip(k, hour) >= threshold) {
            reporting.push_back(k);
        } else {
            float* wk = ds.station_weights(k);
            std::fill(wk, wk + cells, 0.0f);
        }
    }
    switch (pw) {
        case 1: weigh_cells<1>(ds, ws, g, reporting, xcount, ycount, smooth, cutoff, pw); break;
        case 2: weigh_cells<2>(ds, ws, g, reporting, xcount, ycount, smooth, cutoff, pw); break;
        case 3: weigh_cells<3>(ds, ws, g, reporting, xcount, ycount, smooth, cutoff, pw); break;
        default: weigh_cells<0>(ds, ws, g, reporting, xcount, ycount, smooth, cutoff, pw); break;
    }

    if (rs.iopt >= 1) diagnostics(rs, hour, nstations, xcount, ycount);
    ws.first_call = false;
}

}  // namespace nimbex
