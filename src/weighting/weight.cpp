// Station weights by inverse distance.
#include "weighting/weight.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/allocation.h"
#include "platform/cell_kernel.h"
#include "platform/fatal.h"
#include "platform/fortran_format.h"
#include "platform/parallel.h"
#include "platform/fast_fixed.h"

namespace nimbex {

namespace {

constexpr float mark_near = StationWeights::mark_near;
constexpr float mark_out_of_reach = StationWeights::mark_out_of_reach;

constexpr float near_distance = 0.99f;

// v made again with n elements; the old ones are freed first, so the two
// never take memory together.
template <class V>
void remake(V& v, std::size_t n) {
    v.clear();
    v.shrink_to_fit();
    v.resize(n);
}

// The per-station arrays. The per-cell weight_check is made by the
// diagnostics, the only ones to use it.
void make_work_arrays(StationWeights& sw, int nstations, bool reallocation) {
    const std::size_t n = static_cast<std::size_t>(std::max(nstations, 0));
    const char* re = "Error with re-allocation in weight @ 63";
    allocate_or_stop(reallocation ? re : "Error with allocation of separation() in weight",
                     [&] { remake(sw.separation, n * n); });
    allocate_or_stop(reallocation ? re : "Error with allocation of nearest_distance() in weight",
                     [&] { remake(sw.nearest_distance, n + 1); });
    sw.nstations = nstations;
}

// The cells' loops. They are written once and inlined into the kernels that
// use them (NIMBEX_CELL_KERNEL below), so that a run of cells costs one call.
#define NIMBEX_CELL_LOOP [[gnu::always_inline]] inline

// One station's terms for a run of n cells of one row, starting at column
// j1 (the distance and its classes as told above weight()).
NIMBEX_CELL_LOOP void station_terms(float* w, float sx, float dy2, int j1, int n, float smooth, float cutoff,
                                    int pw) {
    // The distance and its classification; the power is written out for the
    // usual powers so that the loop vectorises.
#define NIMBEX_TERM_LOOP(POWER)                                             \
    for (int j = 0; j < n; ++j) {                                           \
        const float dx = sx - static_cast<float>(j1 + j);                   \
        const float d = __builtin_sqrtf(dx * dx + dy2) + smooth;            \
        const float t = 1.0f / (POWER);                                     \
        const bool out = d > cutoff;                                        \
        const bool on_cell = !out & (d <= near_distance);                   \
        const float mark = out ? mark_out_of_reach : mark_near;             \
        w[j] = (out | on_cell) ? mark : t;                                  \
    }
    switch (pw) {
        case 1: NIMBEX_TERM_LOOP(d) break;
        case 2: NIMBEX_TERM_LOOP(d * d) break;
        case 3: NIMBEX_TERM_LOOP(d * d * d) break;
        default: NIMBEX_TERM_LOOP(int_power(d, pw)) break;
    }
#undef NIMBEX_TERM_LOOP
}

// Station k's terms for n cells of row i from column j1 on.
NIMBEX_CELL_LOOP void run_terms(const StationWeights& sw, int k, int i, int j1, int n, float* out) {
    if (sw.single) {
        std::fill(out, out + n, mark_near);
        return;
    }
    const float dy = sw.y[static_cast<std::size_t>(k - 1)] - static_cast<float>(i);
    station_terms(out, sw.x[static_cast<std::size_t>(k - 1)], dy * dy, j1, n, sw.smooth, sw.cutoff, sw.power);
}

// Adds one reporting station's terms to the cells' sums and near counts.
NIMBEX_CELL_LOOP void add_to_norm(const float* w, int* nc, float* s, std::size_t n) {
    for (std::size_t c = 0; c < n; ++c) {
        const float t = w[c];
        const bool on_cell = t == mark_near;
        const bool far = !on_cell & (t != mark_out_of_reach);
        s[c] += far ? t : 0.0f;  // adding +0.0 changes no sum
        nc[c] += static_cast<int>(on_cell);
    }
}

NIMBEX_CELL_LOOP void finish_norm(float* norm, const int* nc, const float* s, std::size_t n) {
    for (std::size_t c = 0; c < n; ++c) {
        const float shared = 1.0f / static_cast<float>(nc[c]);  // only used when nc > 0
        norm[c] = nc[c] > 0 ? -shared : s[c];
    }
}

// A reporting station's weights over n cells from its terms and the cells'
// norms (StationWeights::weight_of written out for the vector unit).
NIMBEX_CELL_LOOP void weights_of(float* w, const float* t, const float* norm, std::size_t n) {
    for (std::size_t c = 0; c < n; ++c) {
        const float tc = t[c], nc = norm[c];
        const bool is_near = tc == mark_near;
        // A sum of 0 (every power beyond the real range) gives no weight, not NaN.
        const bool is_far = !is_near & (tc != mark_out_of_reach) & (nc > 0.0f);
        const float wf = is_far ? tc / nc : 0.0f;
        w[c] = is_near ? -nc : wf;
    }
}

NIMBEX_CELL_LOOP void add_weighted(float* p, const float* w, float v, std::size_t n) {
    for (std::size_t c = 0; c < n; ++c) p[c] += w[c] * v;
}

// The first term of a sum: the same 0.0 + w * v as add_weighted on a cleared
// sum, without clearing it first.
NIMBEX_CELL_LOOP void start_weighted(float* p, const float* w, float v, std::size_t n) {
    for (std::size_t c = 0; c < n; ++c) p[c] = 0.0f + w[c] * v;
}

// The norms of the reporting stations over a run of n cells of row i from
// column j1, into norm (s and nc are scratch of n cells).
NIMBEX_CELL_LOOP void run_norms(const StationWeights& sw, int i, int j1, std::size_t n, float* t, float* s, int* nc,
                                float* norm) {
    std::fill(nc, nc + n, 0);
    std::fill(s, s + n, 0.0f);
    for (std::size_t k = 1; k < sw.reporting.size(); ++k) {
        if (!sw.reporting[k]) continue;
        run_terms(sw, static_cast<int>(k), i, j1, static_cast<int>(n), t);
        add_to_norm(t, nc, s, n);
    }
    finish_norm(norm, nc, s, n);
}

NIMBEX_CELL_KERNEL void row_norms(const StationWeights& sw, int i, float* t, float* s, int* nc, float* norm) {
    run_norms(sw, i, 1, static_cast<std::size_t>(sw.xcount), t, s, nc, norm);
}

NIMBEX_CELL_KERNEL void row_weights_of(const StationWeights& sw, int k, int i, float* w, const float* norm) {
    run_terms(sw, k, i, 1, sw.xcount, w);
    weights_of(w, w, norm, static_cast<std::size_t>(sw.xcount));
}

// The norms of the last call's reporting stations over the whole grid.
void make_norms(StationWeights& sw) {
    const std::size_t xc = static_cast<std::size_t>(sw.xcount);
    sw.norm.resize(xc * static_cast<std::size_t>(sw.ycount));
    std::vector<float> buf(xc), s(xc);
    std::vector<int> nc(xc);
    for (int i = 1; i <= sw.ycount; ++i) {
        row_norms(sw, i, buf.data(), s.data(), nc.data(), sw.norm.data() + static_cast<std::size_t>(i - 1) * xc);
    }
    sw.norm_current = true;
}

// Station k's weights over row i (xcount cells) into `w`.
void row_weights(StationWeights& sw, int k, int i, float* w) {
    if (!sw.norm_current) make_norms(sw);
    row_weights_of(sw, k, i, w, sw.norm.data() + static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(sw.xcount));
}

void diagnostics(StationWeights& sw, const WeightReports& out, int hour, int nstations, int xcount, int ycount) {
    if (out.info) out.info->put_line(ListLine() << "weight check:");

    const std::size_t cells = static_cast<std::size_t>(xcount) * ycount;
    if (sw.weight_check.size() < cells) {
        allocate_or_stop(sw.weight_check.empty() ? "**Allocation failed for weight_check()"
                                                 : "Error with re-allocation in weight @ 63",
                         [&] { remake(sw.weight_check, cells); });
    }
    std::fill(sw.weight_check.begin(), sw.weight_check.begin() + cells, 0.0f);
    // Only cells of the watershed grid have a rank; cells beyond it are not checked.
    const int yc = std::min(ycount, out.rank_ycount);
    const int xc = std::min(xcount, out.rank_xcount);
    std::vector<float> buf(static_cast<std::size_t>(xcount));
    if (out.rank && yc > 0 && xc > 0) {
        for (int k = 1; k <= nstations; ++k) {
            if (!sw.reporting[k]) continue;  // its weights are 0.0, which adds nothing
            for (int i = 1; i <= yc; ++i) {
                const std::size_t row = static_cast<std::size_t>(i - 1) * xcount;
                row_weights(sw, k, i, buf.data());
                for (int j = 0; j < xc; ++j) sw.weight_check[row + j] += buf[j];
            }
        }
        for (int i = 1; i <= yc; ++i) {
            for (int j = 1; j <= xc; ++j) {
                const std::size_t c = static_cast<std::size_t>(i - 1) * xcount + (j - 1);
                if (out.rank[static_cast<std::size_t>(i - 1) * out.rank_xcount + (j - 1)] <= 0) {
                    sw.weight_check[c] = 0.0f;
                    continue;
                }
                const float sum = sw.weight_check[c];
                if (sum > 1.01f || sum < 0.99f) out.con.line(msg() << "wt_check" << i << j << sum);
            }
        }
    }

    if (sw.first_call && out.info) {
        std::string line;
        for (int k = 1; k <= nstations; ++k) {
            out.info->put_line(ListLine() << "recalculated weight for gauge no" << k);
            for (int i = ycount; i >= 1; --i) {
                if (sw.reporting[k]) {
                    row_weights(sw, k, i, buf.data());
                } else {
                    std::fill(buf.begin(), buf.end(), 0.0f);
                }
                line.clear();
                for (int j = 0; j < xcount; ++j) {
                    if (j > 0 && j % 999 == 0) line += '\n';
                    append_fixed(line, buf[j], 5, 2);
                }
                out.info->put_line(line);
            }
            out.info->put_line("");
        }
    }

    out.con.line(msg() << "New weights hr= " << hour);
}

}  // namespace

void StationWeights::terms(int k, int i, int j1, int n, float* out) const { run_terms(*this, k, i, j1, n, out); }

float StationWeights::weight_at(int i, int j, int k) {
    if (k < 1 || static_cast<std::size_t>(k) >= reporting.size() || !reporting[k]) return 0.0f;
    if (i < 1 || i > ycount || j < 1 || j > xcount) return 0.0f;
    if (!norm_current) make_norms(*this);
    float t = 0.0f;
    terms(k, i, j, 1, &t);
    return weight_of(t, norm[static_cast<std::size_t>(i - 1) * xcount + (j - 1)]);
}

namespace {

// The steps grouped by their reporting stations: each group's norms are
// formed once per run of cells for all its steps.
struct Part {
    float* sum;
    float v;
    std::size_t step;
};
struct Adding {
    int k;
    std::size_t first, count;  // its parts
};
struct Group {
    const char* reporting;
    std::vector<int> stations;  // reporting, in station order
    std::vector<Adding> adding;
};
struct SumPlan {
    std::vector<Group> groups;
    std::vector<Part> parts;
    std::vector<int> slot;  // station -> its terms in a run
    std::vector<int> used;  // stations whose terms are formed
};

SumPlan plan_sums(const std::vector<StepSum>& steps, int ns) {
    SumPlan plan;
    std::vector<Group>& groups = plan.groups;
    std::vector<Part>& parts = plan.parts;
    std::vector<int>& slot = plan.slot;
    std::vector<int>& used = plan.used;
    slot.assign(static_cast<std::size_t>(ns) + 1, -1);
    std::vector<std::vector<std::size_t>> members;
    for (std::size_t q = 0; q < steps.size(); ++q) {
        std::size_t g = 0;
        while (g < groups.size() && std::memcmp(groups[g].reporting + 1, steps[q].reporting + 1, ns) != 0) ++g;
        if (g == groups.size()) {
            groups.push_back({steps[q].reporting, {}, {}});
            members.emplace_back();
        }
        members[g].push_back(q);
    }
    for (std::size_t g = 0; g < groups.size(); ++g) {
        Group& gr = groups[g];
        for (int k = 1; k <= ns; ++k) {
            if (!gr.reporting[k]) continue;
            gr.stations.push_back(k);
            if (slot[k] < 0) {
                slot[k] = static_cast<int>(used.size());
                used.push_back(k);
            }
            const std::size_t first = parts.size();
            for (std::size_t q : members[g]) {
                const float v = steps[q].values[k - 1];
                if (v > 0.0f) parts.push_back({steps[q].sum, v, q});  // 0.0 adds nothing
            }
            if (parts.size() > first) gr.adding.push_back({k, first, parts.size() - first});
        }
    }
    return plan;
}

// One thread's scratch for its runs of cells: the terms of every station
// used (r cells apart), the norm sums and near counts, a station's weights,
// and which steps' sums have been started.
struct RunBuffers {
    std::size_t r;
    std::vector<float> t, s, norm, w;
    std::vector<int> nc;
    std::vector<char> started;
    RunBuffers(std::size_t nused, std::size_t run, std::size_t nsteps)
        : r(run), t(nused * run), s(run), norm(run), w(run), nc(run), started(nsteps) {}
};

// The sums of every step over a run of n cells of row i from column j1 (the
// run starts at `at` in the sums' grids): each station's terms are formed
// once, each group's norms once, and the weights of a station once for all
// the steps of its group. One call per run, the loops inlined.
NIMBEX_CELL_KERNEL void sum_run(const StationWeights& sw, const SumPlan& plan, const std::vector<StepSum>& steps,
                                int i, int j1, std::size_t n, std::size_t at, RunBuffers& b) {
    const std::size_t r = b.r;
    float* t = b.t.data();
    for (std::size_t u = 0; u < plan.used.size(); ++u)
        run_terms(sw, plan.used[u], i, j1, static_cast<int>(n), t + u * r);
    std::fill(b.started.begin(), b.started.end(), 0);
    for (const Group& gr : plan.groups) {
        if (gr.adding.empty()) continue;
        std::fill(b.nc.begin(), b.nc.begin() + static_cast<std::ptrdiff_t>(n), 0);
        std::fill(b.s.begin(), b.s.begin() + static_cast<std::ptrdiff_t>(n), 0.0f);
        for (int k : gr.stations) add_to_norm(t + plan.slot[k] * r, b.nc.data(), b.s.data(), n);
        finish_norm(b.norm.data(), b.nc.data(), b.s.data(), n);
        for (const Adding& a : gr.adding) {
            weights_of(b.w.data(), t + plan.slot[a.k] * r, b.norm.data(), n);
            for (std::size_t q = a.first; q < a.first + a.count; ++q) {
                const Part& pt = plan.parts[q];
                if (b.started[pt.step]) {
                    add_weighted(pt.sum + at, b.w.data(), pt.v, n);
                } else {
                    start_weighted(pt.sum + at, b.w.data(), pt.v, n);
                    b.started[pt.step] = 1;
                }
            }
        }
    }
    for (std::size_t q = 0; q < steps.size(); ++q) {
        if (!b.started[q]) std::fill(steps[q].sum + at, steps[q].sum + at + n, 0.0f);  // nothing to add
    }
}

}  // namespace

void StationWeights::add_sums(const std::vector<StepSum>& steps, int rows, int cols, std::size_t row_stride,
                              int threads) const {
    rows = std::min(rows, ycount);
    cols = std::min(cols, xcount);
    const int ns = static_cast<int>(x.size());
    if (steps.empty() || rows <= 0 || cols <= 0 || ns <= 0) return;

    const SumPlan plan = plan_sums(steps, ns);
    const std::vector<Part>& parts = plan.parts;
    const std::vector<int>& used = plan.used;

    // Runs of cells within a row, short enough that the terms of every
    // station used stay in cache (about 256 kB).
    const std::size_t nused = std::max<std::size_t>(used.size(), 1);
    const int run = static_cast<int>(std::clamp<std::size_t>((std::size_t{1} << 16) / nused / 16 * 16, 16, 1024));
    const std::size_t runs_per_row = (static_cast<std::size_t>(cols) + run - 1) / run;
    const std::size_t blocks = runs_per_row * static_cast<std::size_t>(rows);
    const std::size_t work = static_cast<std::size_t>(rows) * cols * (nused + parts.size());
    parallel_for(work < (std::size_t{1} << 20) ? 1 : threads, blocks, 1, 1, [&](std::size_t b0, std::size_t b1) {
        RunBuffers buf(nused, static_cast<std::size_t>(run), steps.size());
        for (std::size_t b = b0; b < b1; ++b) {
            const int i = static_cast<int>(b / runs_per_row) + 1;
            const int j0 = static_cast<int>(b % runs_per_row) * run;
            const std::size_t n = static_cast<std::size_t>(std::min(run, cols - j0));
            const std::size_t at = static_cast<std::size_t>(i - 1) * row_stride + static_cast<std::size_t>(j0);
            sum_run(*this, plan, steps, i, j0 + 1, n, at, buf);
        }
    });
}

void weight(StationWeights& sw, const GaugeSet& g, const WeightSettings& settings, const WeightReports& out,
            int hour, int nstations, int xcount, int ycount, float threshold) {
    ++sw.calls;
    xcount = std::max(xcount, 0);
    ycount = std::max(ycount, 0);
    nstations = std::max(nstations, 0);

    if (sw.first_call) {
        out.con.line(msg() << "Allocating with " << nstations << " stations");
        sw.first_count = nstations;
        make_work_arrays(sw, nstations, false);
    }
    if (nstations != sw.first_count) {
        out.con.line(msg() << "ng,ng_old" << nstations << sw.first_count);
    }
    // More stations than the arrays hold (more than at the first call): make
    // them again. Arrays that are large enough are kept, since every call
    // rebuilds their content anyway.
    if (sw.nstations < nstations) make_work_arrays(sw, nstations, true);
    const std::size_t ns = static_cast<std::size_t>(nstations);
    allocate_or_stop("Error with re-allocation in weight @ 63", [&] {
        sw.xcount = xcount;
        sw.ycount = ycount;
        sw.x.assign(g.station_x.begin() + 1, g.station_x.begin() + 1 + nstations);
        sw.y.assign(g.station_y.begin() + 1, g.station_y.begin() + 1 + nstations);
        sw.reporting.assign(ns + 1, 0);
    });
    sw.norm_current = false;
    sw.single = nstations == 1;

    if (nstations == 1) {
        // The single station takes everything, everywhere.
        sw.reporting[1] = 1;
        sw.first_call = false;
        return;
    }

    // Separations between all stations, reporting or not.
    for (int k = 1; k <= nstations; ++k) {
        float nearest = 1.0e32f;
        for (int l = 1; l <= nstations; ++l) {
            const float dx = g.station_x[k] - g.station_x[l];
            const float dy = g.station_y[k] - g.station_y[l];
            const float sep = std::sqrt(dx * dx + dy * dy);
            sw.separation[(k - 1) * ns + (l - 1)] = sep;
            if (l != k && sep < nearest) nearest = sep;
        }
        sw.nearest_distance[k] = nearest;
    }

    float max_reach = settings.reach < 0.0f ? 0.0f : settings.reach;
    for (int k = 1; k <= nstations; ++k) {
        const float r = sw.nearest_distance[k] + 2.0f;
        if (r > max_reach) max_reach = r;
    }
    sw.max_reach = max_reach;
    sw.cutoff = max_reach + 2.0f;
    sw.smooth = settings.smoothing;
    sw.power = settings.power;

    for (int k = 1; k <= nstations; ++k) {
        if (g.precip(k, hour) >= threshold) sw.reporting[k] = 1;
    }

    if (out.debug >= 1) diagnostics(sw, out, hour, nstations, xcount, ycount);
    sw.first_call = false;
}

}  // namespace nimbex
