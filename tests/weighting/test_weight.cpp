// Station weights: the worked cases, reach and cut-off, presence, station
// count changes, diagnostics, and bit-identity with a cell-by-cell weighting.
// The weighting needs no run state and no working directory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "driver/dist_test_support.h"
#include "weighting/weight.h"

using namespace nimbex;
using nimbex::testutil::lines_of;
using nimbex::testing::no_records;

namespace {

// The weighting on its own: stations, settings, a string console and, when
// asked for, an information report in an anonymous temporary file.
struct Weighing {
    std::ostringstream out;
    std::istringstream in;
    Console con{out, in};
    GaugeSet g;
    WeightSettings set;
    StationWeights sw;
    int debug = 0;
    std::vector<std::int32_t> rank;
    int xcount = 0, ycount = 0;
    std::unique_ptr<FileUnit> info_file;

    void grid(int x, int y) {
        xcount = x;
        ycount = y;
        rank.assign(static_cast<std::size_t>(x) * y, 1);
    }
    // ns stations, nh hours, every value "no record" until set.
    void gauges(int ns, int nh, int deltat) { no_records(g, ns, nh, deltat); }
    void station(int k, float x, float y) {
        g.station_x[k] = x;
        g.station_y[k] = y;
    }
    std::vector<std::string> console() const { return lines_of(out.str()); }
    void open_info() { info_file = std::make_unique<FileUnit>(51, "info", std::tmpfile()); }
    std::string info() {  // the report's text so far
        info_file->rewind();
        std::string text;
        for (std::string l; info_file->get_line(l);) text += l + "\n";
        return text;
    }
};

void weigh(Weighing& t, int hour, int nstations, int xcount, int ycount) {
    const WeightReports reports{t.con, t.info_file.get(), t.debug, t.rank.data(), t.xcount, t.ycount};
    weight(t.sw, t.g, t.set, reports, hour, nstations, xcount, ycount, 0.0f);
}

// Two stations on row 2 at columns 2 and 8, both reporting 1.0 at hour 1.
void two_stations(Weighing& t, int xcount = 10, int ycount = 3) {
    t.grid(xcount, ycount);
    t.gauges(2, 1, 1);
    t.station(1, 2.0f, 2.0f);
    t.station(2, 8.0f, 2.0f);
    t.g.precip(1, 1) = 1.0f;
    t.g.precip(2, 1) = 1.0f;
}

float w(Weighing& t, int i, int j, int k) { return t.sw.weight_at(i, j, k); }

int count_lines(const std::vector<std::string>& ls, const std::string& prefix) {
    int n = 0;
    for (const auto& l : ls) n += l.rfind(prefix, 0) == 0;
    return n;
}

}  // namespace

TEST(Weight, TwoStationsNearStationsAndSmoothing) {
    Weighing t;
    two_stations(t);
    weigh(t, 1, 2, 10, 3);
    EXPECT_EQ(w(t, 2, 5, 1), 0.5f);  // both 3.0 away
    EXPECT_EQ(w(t, 2, 5, 2), 0.5f);
    EXPECT_EQ(w(t, 2, 2, 1), 1.0f);  // the first lies on the cell
    EXPECT_EQ(w(t, 2, 2, 2), 0.0f);

    t.set.smoothing = 1.0f;  // distances 1.0 and 7.0: nobody is near
    weigh(t, 1, 2, 10, 3);
    EXPECT_FLOAT_EQ(w(t, 2, 2, 1), 49.0f / 50.0f);
    EXPECT_FLOAT_EQ(w(t, 2, 2, 2), 1.0f / 50.0f);

    t.set.smoothing = 0.99f;  // 0.99 away still lies on the cell
    weigh(t, 1, 2, 10, 3);
    EXPECT_EQ(w(t, 2, 2, 1), 1.0f);
    EXPECT_EQ(w(t, 2, 2, 2), 0.0f);

    // Two stations within 0.99 of a cell share it.
    t.set.smoothing = 0.0f;
    t.station(1, 5.0f, 2.0f);
    t.station(2, 5.5f, 2.0f);
    weigh(t, 1, 2, 10, 3);
    EXPECT_EQ(w(t, 2, 5, 1), 0.5f);
    EXPECT_EQ(w(t, 2, 5, 2), 0.5f);
    EXPECT_EQ(w(t, 2, 6, 1), 0.0f);  // 1.0 away: not near; the second, 0.5 away, is
    EXPECT_EQ(w(t, 2, 6, 2), 1.0f);
}

TEST(Weight, AbsentStationGetsNothingAndOthersRenormalise) {
    Weighing t;
    t.grid(12, 4);
    t.gauges(3, 2, 1);
    t.station(1, 1.5f, 1.5f);
    t.station(2, 9.0f, 3.0f);
    t.station(3, 4.0f, 4.0f);
    for (int k = 1; k <= 3; ++k) t.g.precip(k, 2) = 2.0f;
    t.g.precip(2, 2) = -1.0f;
    t.g.precip(3, 2) = NAN;  // a NaN never reports
    t.g.precip(1, 1) = 5.0f;
    weigh(t, 2, 3, 12, 4);
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 12; ++j) {
            EXPECT_EQ(w(t, i, j, 1), 1.0f);
            EXPECT_EQ(w(t, i, j, 2), 0.0f);
            EXPECT_EQ(w(t, i, j, 3), 0.0f);
        }
    t.g.precip(3, 2) = 0.0f;  // 0.0 reports
    weigh(t, 2, 3, 12, 4);
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 12; ++j) {
            EXPECT_EQ(w(t, i, j, 2), 0.0f);
            EXPECT_NEAR(w(t, i, j, 1) + w(t, i, j, 3), 1.0f, 1e-6f);
        }
}

TEST(Weight, ReachAndCutOff) {
    Weighing t;
    t.grid(30, 1);
    t.gauges(2, 1, 1);
    t.set.reach = 1.0f;
    t.station(1, 1.0f, 1.0f);
    t.station(2, 11.0f, 1.0f);
    t.g.precip(1, 1) = 1.0f;
    t.g.precip(2, 1) = 1.0f;
    weigh(t, 1, 2, 30, 1);
    EXPECT_EQ(t.sw.max_reach, 12.0f);  // nearest neighbour 10 + 2
    EXPECT_EQ(w(t, 1, 25, 1), 0.0f);       // 24 away
    EXPECT_EQ(w(t, 1, 25, 2), 1.0f);       // 14 away: on the cut-off, still in reach
    EXPECT_EQ(w(t, 1, 26, 1), 0.0f);       // 25 and 15 away: no weight at all
    EXPECT_EQ(w(t, 1, 26, 2), 0.0f);

    t.set.reach = -5.0f;  // a negative radius counts as 0
    weigh(t, 1, 2, 30, 1);
    EXPECT_EQ(t.sw.max_reach, 12.0f);
    t.set.reach = 20.0f;
    weigh(t, 1, 2, 30, 1);
    EXPECT_EQ(t.sw.max_reach, 20.0f);
    EXPECT_GT(w(t, 1, 26, 2), 0.0f);
}

TEST(Weight, PowerZeroAndPowerThree) {
    Weighing t;
    t.grid(20, 20);
    t.gauges(3, 1, 1);
    t.station(1, 1.0f, 1.0f);
    t.station(2, 7.0f, 3.0f);
    t.station(3, 2.0f, 15.0f);
    for (int k = 1; k <= 3; ++k) t.g.precip(k, 1) = 1.0f;
    t.set.power = 0;
    weigh(t, 1, 3, 20, 20);
    for (int k = 1; k <= 3; ++k) EXPECT_FLOAT_EQ(w(t, 18, 18, k), 1.0f / 3.0f);
    EXPECT_EQ(w(t, 1, 1, 1), 1.0f);  // a near station still takes everything

    t.set.power = 3;  // cell (1, 4): distances 3, sqrt(13), sqrt(200)
    weigh(t, 1, 3, 20, 20);
    const float d2 = std::sqrt(13.0f), d3 = std::sqrt(200.0f);
    const float t1 = 1.0f / 27.0f, t2 = 1.0f / (d2 * d2 * d2), t3 = 1.0f / (d3 * d3 * d3);
    const float s = t1 + t2 + t3;
    EXPECT_EQ(w(t, 1, 4, 1), t1 / s);
    EXPECT_EQ(w(t, 1, 4, 2), t2 / s);
    EXPECT_EQ(w(t, 1, 4, 3), t3 / s);
}

TEST(Weight, SingleStationWeighsOneEverywhere) {
    Weighing t;
    t.debug = 1;
    t.grid(50, 3);
    t.gauges(1, 1, 1);
    t.set.reach = 1.0f;
    t.station(1, 1.0f, 1.0f);
    t.g.precip(1, 1) = -1.0f;  // even without a record
    weigh(t, 1, 1, 50, 3);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 50; ++j) EXPECT_EQ(w(t, i, j, 1), 1.0f);
    // Only the first-call line: no diagnostics for a single station.
    EXPECT_EQ(t.console(), std::vector<std::string>{t.console()[0]});
    EXPECT_EQ(t.console()[0].rfind("Allocating with ", 0), 0u);
    EXPECT_FALSE(t.sw.first_call);
}

TEST(Weight, StationCountChanges) {
    Weighing t;
    two_stations(t);
    weigh(t, 1, 2, 10, 3);
    auto con = t.console();
    ASSERT_EQ(con.size(), 1u);
    EXPECT_EQ(con[0].rfind("Allocating with ", 0), 0u);
    EXPECT_NE(con[0].find(" stations"), std::string::npos);

    // More stations than at the first call: "ng,ng_old" and arrays for three.
    t.gauges(3, 1, 1);
    t.station(1, 2.0f, 2.0f);
    t.station(2, 8.0f, 2.0f);
    t.station(3, 5.0f, 3.0f);
    for (int k = 1; k <= 3; ++k) t.g.precip(k, 1) = 1.0f;
    weigh(t, 1, 3, 10, 3);
    EXPECT_EQ(w(t, 3, 5, 3), 1.0f);
    weigh(t, 1, 3, 10, 3);  // the first count stays 2: the message again
    con = t.console();
    EXPECT_EQ(count_lines(con, "ng,ng_old"), 2);
    EXPECT_EQ(count_lines(con, "Allocating with"), 1);

    // Back to two: no message; one: the message.
    two_stations(t);
    weigh(t, 1, 2, 10, 3);
    EXPECT_EQ(count_lines(t.console(), "ng,ng_old"), 2);
    t.gauges(1, 1, 1);
    weigh(t, 1, 1, 10, 3);
    EXPECT_EQ(count_lines(t.console(), "ng,ng_old"), 3);
    EXPECT_EQ(t.sw.calls, 5);
}

TEST(Weight, DiagnosticsOfDebugLevelOne) {
    Weighing t;
    t.open_info();
    t.debug = 1;
    t.set.reach = 1.0f;
    t.grid(20, 2);
    t.gauges(2, 2, 1);
    t.station(1, 1.0f, 1.0f);
    t.station(2, 3.0f, 1.0f);
    for (int k = 1; k <= 2; ++k) t.g.precip(k, 1) = t.g.precip(k, 2) = 1.0f;
    t.rank[19] = 0;  // cell (1, 20) is outside the basin: not checked
    weigh(t, 1, 2, 20, 2);
    weigh(t, 2, 2, 20, 2);

    // Reach 4, cut-off 6: columns 10..19 of row 1 and 9..20 of row 2 are out
    // of reach of both stations (column 20 of row 1 is not ranked).
    const auto con = t.console();
    EXPECT_EQ(count_lines(con, "wt_check"), 2 * (10 + 12));
    EXPECT_EQ(count_lines(con, "New weights hr= "), 2);
    EXPECT_EQ(con.back().rfind("New weights hr= ", 0), 0u);

    const auto info = lines_of(t.info());
    EXPECT_EQ(count_lines(info, " weight check:"), 2);
    EXPECT_EQ(count_lines(info, " recalculated weight for gauge no"), 2);  // first call only
    // Gauge 1's grid, north row first, five columns per value.
    std::size_t g1 = 0;
    while (info[g1].find("recalculated weight for gauge no") == std::string::npos) ++g1;
    ASSERT_GT(info.size(), g1 + 3);
    EXPECT_EQ(info[g1 + 1].substr(0, 15), " 0.83 0.50 0.17");
    EXPECT_EQ(info[g1 + 2].substr(0, 20), " 1.00 0.50 0.00 0.10");
    EXPECT_EQ(info[g1 + 2].size(), 100u);
    EXPECT_EQ(info[g1 + 3], "");
}

// The weights must be those of the literal cell-by-cell weighting, bit for bit.
TEST(Weight, SameBitsAsCellByCellWeighting) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(-3.0f, 40.0f);
    for (int power : {1, 2, 3, 4, 0}) {
        Weighing t;
        const int nx = 37, ny = 23, ns = 17;
        t.grid(nx, ny);
        t.gauges(ns, 1, 1);
        t.set.power = power;
        t.set.reach = 6.0f;
        t.set.smoothing = power == 3 ? 0.5f : 0.0f;
        for (int k = 1; k <= ns; ++k) {
            t.station(k, pos(rng), pos(rng) * 0.6f);
            t.g.precip(k, 1) = (k % 4 == 0) ? -1.0f : static_cast<float>(k);
        }
        t.station(5, 10.0f, 10.3f);  // on a cell
        weigh(t, 1, ns, nx, ny);

        const GaugeSet& g = t.g;
        float mr = 6.0f;
        for (int k = 1; k <= ns; ++k) {
            float nd = 1.0e32f;
            for (int l = 1; l <= ns; ++l) {
                const float dx = g.station_x[k] - g.station_x[l], dy = g.station_y[k] - g.station_y[l];
                const float s = std::sqrt(dx * dx + dy * dy);
                if (l != k && s < nd) nd = s;
            }
            mr = std::max(mr, nd + 2.0f);
        }
        for (int i = 1; i <= ny; ++i)
            for (int j = 1; j <= nx; ++j) {
                std::vector<float> dst(ns + 1);
                std::vector<bool> relv(ns + 1, true);
                int near = 0;
                float s = 0.0f;
                for (int k = 1; k <= ns; ++k) {
                    if (!(g.precip(k, 1) >= 0.0f)) continue;
                    const float dx = g.station_x[k] - static_cast<float>(j);
                    const float dy = g.station_y[k] - static_cast<float>(i);
                    const float d = std::sqrt(dx * dx + dy * dy) + t.set.smoothing;
                    dst[k] = d;
                    if (d > mr + 2.0f) relv[k] = false;
                    if (relv[k]) {
                        if (d <= 0.99f) ++near;
                        else s += 1.0f / int_power(d, power);
                    }
                }
                for (int k = 1; k <= ns; ++k) {
                    float expect = 0.0f;
                    if (g.precip(k, 1) >= 0.0f) {
                        if (dst[k] <= 0.99f) expect = 1.0f / static_cast<float>(near);
                        else if (!relv[k]) expect = 0.0f;
                        else if (near == 0) expect = (1.0f / int_power(dst[k], power)) / s;
                    }
                    const float got = w(t, i, j, k);
                    ASSERT_EQ(std::memcmp(&got, &expect, sizeof got), 0)
                        << "power " << power << " cell " << i << "," << j << " station " << k;
                }
            }
    }
}

TEST(Weight, IntegerPowerMultipliesInTurn) {
    const float d = 1.1f;
    EXPECT_EQ(int_power(d, 0), 1.0f);
    EXPECT_EQ(int_power(d, 1), d);
    EXPECT_EQ(int_power(d, 4), ((d * d) * d) * d);
    EXPECT_EQ(int_power(d, 9), int_power(d, 8) * d);
}
