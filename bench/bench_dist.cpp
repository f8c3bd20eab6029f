// g++ -std=c++20 -O3 -pthread -fno-math-errno -ffp-contract=off -Isrc bench/bench_dist.cpp src/weighting/*.cpp src/writers/*.cpp src/driver/distribute.cpp src/readers/gauge_set.cpp src/platform/*.cpp -o bench_dist && ./bench_dist
//
// Times the station weighting, one step's weighted sum and one frame's
// writing for 1000 x 1000 cells and 500 gauges.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <sstream>

#include "driver/distribute.h"
#include "driver/run_state.h"
#include "weighting/weight.h"
#include "writers/r2c_writer.h"

using namespace nimbex;

namespace {
double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}
}  // namespace

int main() {
    constexpr int nx = 1000, ny = 1000, ns = 500;
    std::ostringstream out;
    std::istringstream in;
    Console con(out, in);
    RunState rs(con);
    rs.iopt = 0;  // no diagnostics: the per-gauge grids alone would be 2.5 GB of text
    rs.grid.xcount = rs.nx_pdl = nx;
    rs.grid.ycount = rs.ny_pdl = ny;

    GaugeSet& g = rs.gauges;
    g.nstations = ns;
    g.nhours = 2;
    g.deltat = 1;
    grow_station_descriptors(g, ns);
    grow_gauge_data(g, ns, 2);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> pos(0.5f, 1000.5f), rain(0.0f, 8.0f);
    for (int k = 1; k <= ns; ++k) {
        g.station_x[k] = pos(rng);
        g.station_y[k] = pos(rng);
        g.precip(k, 1) = (k % 10 == 0) ? -1.0f : rain(rng);  // a tenth without a record
    }
    create_work_arrays(rs, ns, 2);
    create_outarray(rs);

    auto t0 = std::chrono::steady_clock::now();
    const WeightSettings settings{rs.idw_power, rs.radiusinflce, rs.smoothdist};
    const WeightReports reports{rs.con, nullptr, rs.iopt};
    weight(rs.wts, rs.gauges, settings, reports, 1, ns, nx, ny, 0.0f);
    const double t_weight = seconds_since(t0);

    t0 = std::chrono::steady_clock::now();
    add_weighted_sum(rs, 1);
    const double t_sum = seconds_since(t0);

    for (std::size_t c = 0; c < rs.dist.p.size(); ++c) rs.dist.outarray[c] = std::min(rs.dist.p[c], 999.9f);
    rs.out_hdr.xcount = nx;
    rs.out_hdr.ycount = ny;
    rs.out_hdr.year = 2016, rs.out_hdr.month = 6, rs.out_hdr.day = 5;
    const std::string file = (std::filesystem::temp_directory_path() / "bench_dist_met.r2c").string();
    rs.file_name(10) = file;
    write_r2c(rs, 40, 10, 24, 1, 0, 0, R2cFormat::f5_1);
    t0 = std::chrono::steady_clock::now();
    write_r2c(rs, 40, 10, 24, 1, 1, 0, R2cFormat::f6_2);
    rs.files[40].flush();
    const double t_frame = seconds_since(t0);
    rs.files.close(40);
    std::filesystem::remove(file);

    std::printf("cells %d x %d, gauges %d\n", nx, ny, ns);
    std::printf("weight:       %8.3f s\n", t_weight);
    std::printf("weighted sum: %8.3f s\n", t_sum);
    std::printf("frame write:  %8.3f s\n", t_frame);
    return 0;
}
