#pragma once
// A run state on a string console with a scratch directory, for the tests of
// the weighting, the r2c writer and the distribution.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "readers/gauge_set.h"
#include "support/files.h"
#include "weighting/weight.h"

namespace nimbex::testing {

// A gauge set of ns stations and nh hours, every value "no record".
inline void no_records(GaugeSet& g, int ns, int nh, int deltat) {
    g.nstations = ns;
    g.nhours = nh;
    g.deltat = deltat;
    grow_station_descriptors(g, ns);
    grow_gauge_data(g, ns, nh);
    for (int h = 1; h <= nh; ++h)
        for (int k = 1; k <= ns; ++k) g.precip(k, h) = -1.0f;
}

struct TestRun {
    std::ostringstream out;
    std::istringstream in;
    Console con{out, in};
    RunState rs{con};
    std::filesystem::path dir;

    explicit TestRun(const std::string& tag = "dist") : dir(testutil::scratch_dir(tag)) {
        rs.iopt = 0;
        setenv("NIMBEX_FIXED_CLOCK", "2016-06-05 01:49", 1);
    }
    ~TestRun() { rs.files.close_all(); }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::vector<std::string> console() const { return testutil::lines_of(out.str()); }

    // Gauges: ns stations, nh hours, every value "no record" until set.
    void gauges(int ns, int nh, int deltat) { no_records(rs.gauges, ns, nh, deltat); }
    void station(int k, float x, float y, float elevation = 0.0f) {
        rs.gauges.station_x[k] = x;
        rs.gauges.station_y[k] = y;
        rs.gauges.station_elevation[k] = elevation;
    }
    // Grid in force and pdl grid of the same size; every cell ranked.
    void grid(int xcount, int ycount) {
        rs.grid.xcount = xcount;
        rs.grid.ycount = ycount;
        rs.nx_pdl = xcount;
        rs.ny_pdl = ycount;
        rs.shed.shed_xcount = xcount;
        rs.shed.shed_ycount = ycount;
        rs.shed.rank.assign(static_cast<std::size_t>(xcount) * ycount, 1);
        rs.elev_grid.assign(static_cast<std::size_t>(xcount) * ycount, 0.0f);
    }
    void open_info() { rs.files.open(51, path("nimbex_info.txt"), OpenStatus::unknown); }
    std::string info() {
        rs.files[51].flush();
        return testutil::read_file(dir / "nimbex_info.txt");
    }
};

// The weighting with the run's settings, reports and ranks.
inline void weigh(TestRun& t, int hour, int nstations, int xcount, int ycount) {
    RunState& rs = t.rs;
    const WeightSettings settings{rs.idw_power, rs.radiusinflce, rs.smoothdist};
    const WeightReports out{rs.con, rs.files.is_open(51) ? &rs.files[51] : nullptr, rs.iopt, rs.shed.rank.data(),
                            rs.shed.shed_xcount, rs.shed.shed_ycount};
    weight(rs.wts, rs.gauges, settings, out, hour, nstations, xcount, ycount, 0.0f);
}

}  // namespace nimbex::testing
