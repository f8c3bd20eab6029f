// The distribution against a deliberately plain version of the weighting and
// the step loop, written as the loops of their definition (a station loop in
// a cell loop, every station in every sum, one step at a time): frames and
// totals must be the same bytes on random basins, and the same for one
// thread and two.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "driver/dist_test_support.h"
#include "driver/distribute.h"
#include "platform/fortran_format.h"
#include "weighting/weight.h"
#include "writers/r2c_writer.h"

using namespace nimbex;
using nimbex::testing::TestRun;
using nimbex::testutil::lines_of;
using nimbex::testutil::read_file;

namespace {

struct Basin {
    int nx = 10, ny = 8, ns = 5, nhours = 24, deltat = 1;
    int power = 2;
    float radius = 1.0e6f, smooth = 0.0f, rlapse = 0.0f, a12 = 0.0f;
    char smrflg = 'n';
    std::vector<float> x, y, elev_station, elev_cell;
    std::vector<float> precip;  // station x hour, (h-1)*ns + (k-1)
};

Basin random_basin(std::mt19937& rng, int nx, int ny, int ns, int nhours) {
    auto uni = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(rng); };
    auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
    Basin b;
    b.nx = nx;
    b.ny = ny;
    b.ns = ns;
    b.deltat = chance(0.3) ? 3 : 1;
    b.nhours = nhours;
    b.power = static_cast<int>(rng() % 4);
    b.smooth = chance(0.3) ? uni(0.2f, 2.0f) : 0.0f;
    b.radius = chance(0.4) ? uni(1.0f, 6.0f) : 1.0e6f;
    b.rlapse = chance(0.4) ? 0.0005f : 0.0f;
    b.smrflg = b.deltat > 1 && chance(0.7) ? 'y' : 'n';
    b.a12 = uni(0.3f, 2.5f);
    for (int k = 0; k < ns; ++k) {
        if (chance(0.3)) {  // on a cell
            b.x.push_back(static_cast<float>(1 + rng() % nx));
            b.y.push_back(static_cast<float>(1 + rng() % ny));
        } else {
            b.x.push_back(uni(-2.0f, nx + 2.0f));
            b.y.push_back(uni(-2.0f, ny + 2.0f));
        }
        b.elev_station.push_back(uni(50.0f, 900.0f));
    }
    if (ns > 2) b.x[1] = b.x[0], b.y[1] = b.y[0];  // two gauges on one spot
    for (int c = 0; c < nx * ny; ++c) b.elev_cell.push_back(uni(0.0f, 1200.0f));
    // Wet and dry spells, gauges without a record for a while, one never.
    b.precip.assign(static_cast<std::size_t>(ns) * nhours, 0.0f);
    bool wet = false;
    for (int h = 1; h <= nhours; ++h) {
        if (chance(0.25)) wet = !wet;
        for (int k = 1; k <= ns; ++k) {
            float v = wet && chance(0.7) ? std::round(uni(0.0f, 12.0f) * 10.0f) / 10.0f : 0.0f;
            if (chance(0.01)) v = 150.0f;  // spurious in hourly data
            if (chance(0.08) || k == ns) v = -1.0f;
            b.precip[static_cast<std::size_t>(h - 1) * ns + (k - 1)] = v;
        }
    }
    return b;
}

void load(TestRun& t, const Basin& b) {
    t.grid(b.nx, b.ny);
    t.gauges(b.ns, b.nhours, b.deltat);
    for (int k = 1; k <= b.ns; ++k) t.station(k, b.x[k - 1], b.y[k - 1], b.elev_station[k - 1]);
    for (int h = 1; h <= b.nhours; ++h)
        for (int k = 1; k <= b.ns; ++k) t.rs.gauges.precip(k, h) = b.precip[static_cast<std::size_t>(h - 1) * b.ns + (k - 1)];
    t.rs.elev_grid = b.elev_cell;
    t.rs.idw_power = b.power;
    t.rs.radiusinflce = b.radius;
    t.rs.smoothdist = b.smooth;
    t.rs.rlapse = b.rlapse;
    t.rs.lapse_active = b.rlapse > 0.0f;
    t.rs.a12 = b.a12;
}

struct Result {
    std::string file;                // the event's r2c file
    std::vector<std::string> frames;  // the data rows of each frame
    std::vector<float> psum, pmax, total;
};

std::vector<std::string> frame_rows(const std::string& text) {
    std::vector<std::string> out;
    bool in = false;
    for (const auto& l : lines_of(text)) {
        if (l.rfind(":Frame", 0) == 0) {
            out.emplace_back();
            in = true;
        } else if (l == ":EndFrame") {
            in = false;
        } else if (in) {
            out.back() += l + "\n";
        }
    }
    return out;
}

// The program's own path.
Result run_fast(const Basin& b, const char* threads) {
    setenv("NIMBEX_THREADS", threads, 1);
    TestRun t("ref");
    load(t, b);
    DistState& ds = t.rs.dist;
    ds.smrflg = b.smrflg;
    ds.start_year = 2020, ds.start_month = 2, ds.start_day = 28, ds.start_hour = 21;
    create_work_arrays(t.rs, b.ns, b.nhours);
    create_outarray(t.rs);
    prepare_gauge_data(t.rs);
    OutputGridHeader& h = t.rs.out_hdr;
    h.xcount = b.nx;
    h.ycount = b.ny;
    t.rs.file_name(10) = t.path("event_met.r2c");
    write_r2c(t.rs, 40, 10, b.nhours, 1, 0, 0, R2cFormat::f5_1);
    t.rs.frame_count = 0;
    distribute(t.rs);
    t.rs.files.close(40);
    unsetenv("NIMBEX_THREADS");
    Result r;
    r.file = read_file(t.dir / "event_met.r2c");
    r.frames = frame_rows(r.file);
    r.psum = ds.psum;
    r.pmax = ds.pmax;
    r.total = ds.run_total;
    return r;
}

// The plain path: the gauge values as prepared by the program, then the
// weights and the step loop as their definition writes them.
Result run_plain(const Basin& b) {
    TestRun t("ref");
    load(t, b);
    create_work_arrays(t.rs, b.ns, b.nhours);
    prepare_gauge_data(t.rs);
    const GaugeSet& g = t.rs.gauges;
    const int nx = b.nx, ny = b.ny, ns = b.ns, dt = b.deltat;
    auto at = [nx](int i, int j) { return static_cast<std::size_t>(i - 1) * nx + (j - 1); };
    std::vector<float> weights(static_cast<std::size_t>(nx) * ny * (ns + 1), 0.0f);
    auto wt = [&](int i, int j, int k) -> float& { return weights[at(i, j) * (ns + 1) + k]; };

    auto plain_weight = [&](int hour) {
        for (int i = 1; i <= ny; ++i)
            for (int j = 1; j <= nx; ++j)
                for (int k = 1; k <= ns; ++k) wt(i, j, k) = 0.0f;
        if (ns == 1) {
            for (int i = 1; i <= ny; ++i)
                for (int j = 1; j <= nx; ++j) wt(i, j, 1) = 1.0f;
            return;
        }
        float max_reach = b.radius < 0.0f ? 0.0f : b.radius;
        for (int k = 1; k <= ns; ++k) {
            float nearest = 1.0e32f;
            for (int l = 1; l <= ns; ++l) {
                const float dx = g.station_x[k] - g.station_x[l], dy = g.station_y[k] - g.station_y[l];
                const float sep = std::sqrt(dx * dx + dy * dy);
                if (l != k && sep < nearest) nearest = sep;
            }
            max_reach = std::max(max_reach, nearest + 2.0f);
        }
        std::vector<float> dst(ns + 1);
        std::vector<char> relv(ns + 1);
        for (int i = 1; i <= ny; ++i)
            for (int j = 1; j <= nx; ++j) {
                int near_count = 0;
                float s = 0.0f;
                for (int k = 1; k <= ns; ++k) {
                    relv[k] = 1;
                    if (!(g.precip(k, hour) >= 0.0f)) continue;
                    const float dx = g.station_x[k] - static_cast<float>(j);
                    const float dy = g.station_y[k] - static_cast<float>(i);
                    const float d = std::sqrt(dx * dx + dy * dy) + b.smooth;
                    dst[k] = d;
                    if (d > max_reach + 2.0f) relv[k] = 0;
                    if (relv[k]) {
                        if (d <= 0.99f) ++near_count;
                        else s += 1.0f / int_power(d, b.power);
                    }
                }
                for (int k = 1; k <= ns; ++k) {
                    if (!(g.precip(k, hour) >= 0.0f)) continue;
                    if (dst[k] <= 0.99f) wt(i, j, k) = 1.0f / static_cast<float>(near_count);
                    else if (!relv[k]) wt(i, j, k) = 0.0f;
                    else if (near_count == 0) wt(i, j, k) = (1.0f / int_power(dst[k], b.power)) / s;
                }
            }
    };

    Result r;
    const std::size_t cells = static_cast<std::size_t>(nx) * ny;
    std::vector<float> p(cells), out(cells), rem(cells);
    r.psum.assign(cells, 0.0f);
    r.pmax.assign(cells, 0.0f);
    r.total.assign(cells, 0.0f);
    auto frame = [&]() {
        std::string text;
        for (int i = 1; i <= ny; ++i) {
            for (int j = 1; j <= nx; ++j) {
                text += ' ';
                put_f_exact(text, out[at(i, j)], 6, 2);
            }
            text += '\n';
        }
        r.frames.push_back(text);
    };
    for (int step_hour = dt; step_hour <= (b.nhours / dt) * dt; step_hour += dt) {
        std::fill(p.begin(), p.end(), 0.0f);
        bool present = false, changed = false;
        float z = 0.0f;
        for (int k = 1; k <= ns; ++k) {
            const float v = g.precip(k, step_hour);
            present = present || v >= 0.0f;
            if (step_hour > dt && (v >= 0.0f) != (g.precip(k, step_hour - dt) >= 0.0f)) changed = true;
            z = std::max(z, v);
        }
        const bool disaggregate = b.smrflg == 'y' && z > b.a12 && dt > 1;
        if (present) {
            if (changed || step_hour == dt) plain_weight(step_hour);
            for (int i = 1; i <= ny; ++i)
                for (int j = 1; j <= nx; ++j)
                    for (int k = 1; k <= ns; ++k) p[at(i, j)] += wt(i, j, k) * g.precip(k, step_hour);
        }
        if (t.rs.lapse_active) {
            for (int i = 1; i <= ny; ++i)
                for (int j = 1; j <= nx; ++j)
                    p[at(i, j)] = std::max(0.0f, p[at(i, j)] * (1.0f + b.rlapse * b.elev_cell[at(i, j)]));
        }
        if (!disaggregate) {
            bool rain = false;
            for (std::size_t c = 0; c < cells; ++c) {
                out[c] = std::min(p[c], 999.9f);
                if (p[c] > 0.0f) rain = true;
            }
            if (rain) frame();
        } else {
            rem = p;
            const float d = static_cast<float>(dt);
            for (int m = 1; m <= dt; ++m) {
                bool rain = false;
                for (std::size_t c = 0; c < cells; ++c) {
                    const float pv = p[c], rv = rem[c];
                    if (pv <= 0.0f) {
                        out[c] = 0.0f;
                    } else if (pv <= b.a12) {
                        out[c] = rv;
                        rem[c] = 0.0f;
                    } else if (pv <= d) {
                        out[c] = rv > 1.0e-6f ? std::min(b.a12, rv) : 0.0f;
                        rem[c] = rv - out[c];
                    } else {
                        out[c] = pv / d;
                    }
                    if (out[c] > 0.0f) rain = true;
                }
                if (rain) frame();
            }
        }
        for (std::size_t c = 0; c < cells; ++c) {
            r.psum[c] += p[c];
            r.total[c] += p[c];
            r.pmax[c] = std::max(r.pmax[c], p[c]);
        }
    }
    return r;
}

void expect_same_floats(const std::vector<float>& a, const std::vector<float>& b, const char* what, int basin) {
    ASSERT_EQ(a.size(), b.size()) << what << " basin " << basin;
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << what << " basin " << basin;
}

}  // namespace

TEST(ReferencePath, SmallBasinsGiveTheSameFramesAndTotals) {
    std::mt19937 rng(20240611);
    for (int n = 0; n < 40; ++n) {
        const Basin b = random_basin(rng, 3 + static_cast<int>(rng() % 30), 2 + static_cast<int>(rng() % 20),
                                     1 + static_cast<int>(rng() % 12), 18 + static_cast<int>(rng() % 30));
        const Result fast = run_fast(b, "1");
        const Result plain = run_plain(b);
        ASSERT_EQ(fast.frames.size(), plain.frames.size()) << "basin " << n;
        for (std::size_t f = 0; f < plain.frames.size(); ++f) {
            ASSERT_EQ(fast.frames[f], plain.frames[f]) << "basin " << n << " frame " << f + 1;
        }
        expect_same_floats(fast.psum, plain.psum, "psum", n);
        expect_same_floats(fast.pmax, plain.pmax, "pmax", n);
        expect_same_floats(fast.total, plain.total, "run total", n);
    }
}

// Grids large enough for the cell loops to be split across threads, with the
// stations' entries kept (fewer station-cell pairs) and formed when needed
// (more).
TEST(ReferencePath, ThreadsChangeNothing) {
    std::mt19937 rng(99);
    for (int ns : {30, 70}) {
        Basin b = random_basin(rng, 330, 210, ns, 12);
        b.deltat = 1;
        b.smrflg = 'n';
        const Result one = run_fast(b, "1");
        const Result two = run_fast(b, "2");
        EXPECT_EQ(one.file, two.file) << ns << " stations";
        expect_same_floats(one.psum, two.psum, "psum", ns);
        expect_same_floats(one.total, two.total, "run total", ns);
        const Result plain = run_plain(b);
        ASSERT_EQ(one.frames.size(), plain.frames.size());
        for (std::size_t f = 0; f < plain.frames.size(); ++f) ASSERT_EQ(one.frames[f], plain.frames[f]) << f + 1;
        expect_same_floats(one.pmax, plain.pmax, "pmax", ns);
    }
}
