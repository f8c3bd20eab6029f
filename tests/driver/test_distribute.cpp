// The hourly distribution: preparation of the gauge data, weighting calls,
// lapse-rate correction, disaggregation, dry steps, the 999.9 limit, totals,
// and the calendar of the frame times.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "driver/dist_test_support.h"
#include "driver/distribute.h"
#include "platform/fatal.h"
#include "writers/r2c_writer.h"

using namespace nimbex;
using nimbex::testing::TestRun;
using nimbex::testutil::lines_of;
using nimbex::testutil::read_file;

namespace {

// A row of `n` cells with one station on each cell, `nhours` hours.
void stations_on_cells(TestRun& t, int n, int nhours, int deltat) {
    t.grid(n, 1);
    t.gauges(n, nhours, deltat);
    for (int k = 1; k <= n; ++k) t.station(k, static_cast<float>(k), 1.0f);
}

void start_event(TestRun& t, int year, int month, int day, int hour) {
    t.rs.dist.start_year = year;
    t.rs.dist.start_month = month;
    t.rs.dist.start_day = day;
    t.rs.dist.start_hour = hour;
    create_work_arrays(t.rs, t.rs.gauges.nstations, t.rs.gauges.nhours);
    create_outarray(t.rs);
    OutputGridHeader& h = t.rs.out_hdr;
    h.xcount = t.rs.grid.xcount;
    h.ycount = t.rs.grid.ycount;
    t.rs.file_name(10) = t.path("event_met.r2c");
    write_r2c(t.rs, 40, 10, t.rs.gauges.nhours, 1, 0, 0, R2cFormat::f5_1);
    t.rs.frame_count = 0;
}

// Frames of the event file: the frame line and the data lines of each.
struct Frame {
    std::string head;
    std::vector<std::string> rows;
};
std::vector<Frame> frames(TestRun& t) {
    t.rs.files.close(40);
    std::vector<Frame> out;
    bool in = false;
    for (const auto& l : lines_of(read_file(t.dir / "event_met.r2c"))) {
        if (l.rfind(":Frame", 0) == 0) {
            out.push_back({l, {}});
            in = true;
        } else if (l == ":EndFrame") {
            in = false;
        } else if (in) {
            out.back().rows.push_back(l);
        }
    }
    return out;
}

std::string when(const Frame& f) { return f.head.substr(f.head.find('"')); }

}  // namespace

TEST(PrepareGauges, SpuriousValuesLapseRateAndPresence) {
    TestRun t;
    stations_on_cells(t, 3, 4, 1);
    GaugeSet& g = t.rs.gauges;
    g.precip(1, 2) = 150.0f;
    g.precip(2, 2) = 100.0f;  // exactly 100 stays
    g.precip(1, 3) = 2.0f;
    create_work_arrays(t.rs, 3, 4);
    EXPECT_TRUE(prepare_gauge_data(t.rs));
    EXPECT_EQ(g.precip(1, 2), -1.0f);
    EXPECT_EQ(g.precip(2, 2), 100.0f);
    EXPECT_EQ(t.rs.dist.station_has_data[1], 1);
    EXPECT_EQ(t.rs.dist.station_has_data[2], 1);
    EXPECT_EQ(t.rs.dist.station_has_data[3], 0);

    // Six-hour data keep their large values; only the step hours count for presence.
    stations_on_cells(t, 2, 12, 6);
    g.precip(1, 6) = 150.0f;
    g.precip(2, 3) = 1.0f;  // not a step hour
    g.station_elevation[1] = 500.0f;
    t.rs.lapse_active = true;
    t.rs.rlapse = 0.001f;
    EXPECT_FALSE(prepare_gauge_data(t.rs));
    EXPECT_EQ(g.precip(1, 6), 100.0f);  // 150 / 1.5
    EXPECT_EQ(g.precip(1, 12), -1.0f);  // no record stays
    EXPECT_EQ(t.rs.dist.station_has_data[2], 0);
}

TEST(Distribute, LapseRateMovesGaugeAmountsToCellElevations) {
    TestRun t;
    t.grid(2, 1);
    t.gauges(1, 1, 1);
    t.station(1, 1.0f, 1.0f, 500.0f);
    t.rs.gauges.precip(1, 1) = 3.0f;
    t.rs.rlapse = 0.001f;
    t.rs.lapse_active = true;
    t.rs.elev_grid = {1000.0f, -2000.0f};
    start_event(t, 2016, 6, 5, 0);
    prepare_gauge_data(t.rs);
    EXPECT_EQ(t.rs.gauges.precip(1, 1), 2.0f);
    distribute(t.rs);
    EXPECT_EQ(t.rs.dist.psum[0], 4.0f);
    EXPECT_EQ(t.rs.dist.psum[1], 0.0f);  // never below 0
    const auto f = frames(t);
    ASSERT_EQ(f.size(), 0u);  // one hour: a single-frame file has no frame lines
}

TEST(Distribute, CellsBeyondTheWatershedKeepTheSeaLevelValue) {
    TestRun t;
    t.grid(1, 1);  // watershed grid 1 x 1
    t.rs.grid.xcount = 2;
    t.rs.grid.ycount = 2;
    t.rs.nx_pdl = 3;  // pdl grid larger still: its extra cells stay dry
    t.rs.ny_pdl = 2;
    t.gauges(1, 2, 1);
    t.station(1, 1.0f, 1.0f, 500.0f);
    t.rs.gauges.precip(1, 1) = 3.0f;
    t.rs.rlapse = 0.001f;
    t.rs.lapse_active = true;
    t.rs.elev_grid = {1000.0f};
    start_event(t, 2016, 6, 5, 0);
    prepare_gauge_data(t.rs);
    distribute(t.rs);
    const auto& s = t.rs.dist.psum;
    EXPECT_EQ(s, (std::vector<float>{4.0f, 2.0f, 0.0f, 2.0f, 2.0f, 0.0f}));
}

TEST(Distribute, DisaggregationOfSmallMediumAndLargeAmounts) {
    TestRun t;
    stations_on_cells(t, 3, 6, 6);
    t.rs.gauges.precip(1, 6) = 0.5f;
    t.rs.gauges.precip(2, 6) = 4.5f;
    t.rs.gauges.precip(3, 6) = 12.0f;
    t.rs.dist.smrflg = 'y';
    t.rs.a12 = 1.0f;
    start_event(t, 2016, 6, 5, 0);
    prepare_gauge_data(t.rs);
    distribute(t.rs);
    const auto f = frames(t);
    ASSERT_EQ(f.size(), 6u);
    const char* rows[6] = {"   0.50   1.00   2.00", "   0.00   1.00   2.00", "   0.00   1.00   2.00",
                           "   0.00   1.00   2.00", "   0.00   0.50   2.00", "   0.00   0.00   2.00"};
    for (int m = 0; m < 6; ++m) {
        EXPECT_EQ(f[m].rows, std::vector<std::string>{rows[m]}) << "hour " << m + 1;
        EXPECT_EQ(when(f[m]), "\"2016/6/5  " + std::to_string(m) + ":00:00.000\"");
    }
    EXPECT_EQ(t.rs.frame_count, 6);
    EXPECT_EQ(t.rs.dist.psum, (std::vector<float>{0.5f, 4.5f, 12.0f}));
    EXPECT_EQ(t.rs.dist.pmax, (std::vector<float>{0.5f, 4.5f, 12.0f}));
}

// The released amount is compared with the number of hours of the step, and
// disaggregated hours are not limited to 999.9.
TEST(Distribute, DisaggregationComparesTheAmountWithTheHoursOfTheStep) {
    TestRun t;
    stations_on_cells(t, 3, 6, 6);
    t.rs.gauges.precip(1, 6) = 6.0f;     // a12 < P = 6 hours: a12 per hour
    t.rs.gauges.precip(2, 6) = 6.6f;     // P > 6 hours: P / 6 every hour
    t.rs.gauges.precip(3, 6) = 7200.0f;  // 1200.0 every hour, too wide for the field
    t.rs.dist.smrflg = 'y';
    t.rs.a12 = 1.0f;
    start_event(t, 2016, 6, 5, 0);
    distribute(t.rs);
    auto f = frames(t);
    ASSERT_EQ(f.size(), 6u);
    for (const Frame& fr : f) EXPECT_EQ(fr.rows, std::vector<std::string>{"   1.00   1.10 ******"});
    EXPECT_EQ(t.rs.dist.psum, (std::vector<float>{6.0f, 6.6f, 7200.0f}));

    TestRun u;  // a12 above the hours of the step: an amount up to a12 falls in the first hour
    stations_on_cells(u, 2, 6, 6);
    u.rs.gauges.precip(1, 6) = 7.0f;
    u.rs.gauges.precip(2, 6) = 9.0f;
    u.rs.dist.smrflg = 'y';
    u.rs.a12 = 8.0f;
    start_event(u, 2016, 6, 5, 0);
    distribute(u.rs);
    f = frames(u);
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[0].rows, std::vector<std::string>{"   7.00   1.50"});
    for (int m = 1; m < 6; ++m) EXPECT_EQ(f[m].rows, std::vector<std::string>{"   0.00   1.50"}) << m + 1;
}

// A value that is not a number, or minus infinity, is no record: it takes no
// part in the weighting and does not spoil the other gauges' sums.
TEST(Distribute, NotANumberGaugeValueCountsAsNoRecord) {
    TestRun t;
    stations_on_cells(t, 3, 2, 1);
    GaugeSet& g = t.rs.gauges;
    g.precip(1, 1) = 2.0f;
    g.precip(2, 1) = NAN;
    g.precip(3, 1) = -INFINITY;
    g.precip(1, 2) = 0.0f;
    g.precip(2, 2) = NAN;
    g.precip(3, 2) = 1.0f;
    start_event(t, 2016, 6, 5, 0);
    EXPECT_FALSE(prepare_gauge_data(t.rs));
    EXPECT_EQ(t.rs.dist.station_has_data[2], 0);
    distribute(t.rs);
    const auto f = frames(t);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].rows, std::vector<std::string>{"   2.00   2.00   2.00"});
    EXPECT_EQ(f[1].rows, std::vector<std::string>{"   0.00   0.50   1.00"});
    EXPECT_EQ(t.rs.dist.psum, (std::vector<float>{2.0f, 2.5f, 3.0f}));
}

TEST(Distribute, AmountAboveA12IsReleasedAtA12PerHour) {
    TestRun t;
    stations_on_cells(t, 2, 6, 6);
    t.rs.gauges.precip(1, 6) = 0.5f;
    t.rs.gauges.precip(2, 6) = 0.0f;
    t.rs.dist.smrflg = 'y';
    t.rs.a12 = 0.4f;
    start_event(t, 2016, 6, 5, 0);
    distribute(t.rs);
    const auto f = frames(t);
    ASSERT_EQ(f.size(), 2u);  // a12 < 0.5 <= 6 hours: 0.4, then the rest, then nothing
    EXPECT_EQ(f[0].rows[0], "   0.40   0.00");
    EXPECT_EQ(f[1].rows[0], "   0.10   0.00");
    EXPECT_EQ(when(f[1]), "\"2016/6/5  1:00:00.000\"");
}

TEST(Distribute, WholeStepsStampedWithTheirFirstHour) {
    TestRun t;
    stations_on_cells(t, 1, 18, 6);
    t.rs.gauges.precip(1, 6) = 0.0f;    // dry step: no frame
    t.rs.gauges.precip(1, 12) = 12.0f;  // smrflg n: whole
    t.rs.gauges.precip(1, 18) = 1200.0f;
    t.rs.dist.smrflg = 'n';
    t.rs.a12 = 1.0f;
    start_event(t, 2016, 6, 5, 3);
    distribute(t.rs);
    const auto f = frames(t);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].head, ":Frame         1         1   \"2016/6/5  9:00:00.000\"");
    EXPECT_EQ(f[0].rows[0], "  12.00");
    EXPECT_EQ(f[1].head, ":Frame         2         2   \"2016/6/5 15:00:00.000\"");
    EXPECT_EQ(f[1].rows[0], " 999.90");  // limited in the frame only
    EXPECT_EQ(t.rs.dist.psum[0], 1212.0f);
    EXPECT_EQ(t.rs.dist.pmax[0], 1200.0f);
    EXPECT_EQ(t.rs.dist.run_total[0], 1212.0f);
    EXPECT_EQ(t.rs.frame_count, 2);
}

TEST(Distribute, DryHoursWriteNoFrame) {
    TestRun t;
    stations_on_cells(t, 2, 3, 1);
    for (int k = 1; k <= 2; ++k) {
        t.rs.gauges.precip(k, 1) = 1.0f;
        t.rs.gauges.precip(k, 2) = 0.0f;
        t.rs.gauges.precip(k, 3) = 2.0f;
    }
    start_event(t, 2016, 6, 5, 0);
    distribute(t.rs);
    const auto f = frames(t);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].head, ":Frame         1         1   \"2016/6/5  0:00:00.000\"");
    EXPECT_EQ(f[1].head, ":Frame         2         2   \"2016/6/5  2:00:00.000\"");
    EXPECT_EQ(t.rs.frame_count, 2);
    EXPECT_EQ(t.rs.dist.psum, (std::vector<float>{3.0f, 3.0f}));
}

// Frames are written in the background with more than one thread: a write
// that fails still stops the run, naming the file.
TEST(Distribute, FailedFrameWriteStops) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP();
    setenv("NIMBEX_THREADS", "2", 1);
    TestRun t;
    stations_on_cells(t, 1, 3, 1);
    t.grid(20000, 1);  // frames larger than the file's buffer
    for (int h = 1; h <= 3; ++h) t.rs.gauges.precip(1, h) = 1.0f;
    start_event(t, 2016, 6, 5, 0);
    ASSERT_EQ(t.rs.files.open(40, "/dev/full", OpenStatus::unknown), 0);
    try {
        distribute(t.rs);
        t.rs.files.close(40);
        ADD_FAILURE() << "no stop";
    } catch (const FatalStop& s) {
        EXPECT_NE(s.message().find("/dev/full"), std::string::npos) << s.message();
    }
    t.rs.files.open(40, t.path("other.r2c"), OpenStatus::unknown);  // drops the failed unit unchecked
    unsetenv("NIMBEX_THREADS");
}

TEST(Distribute, WeightOnlyWhenTheReportingSetChanges) {
    TestRun t;
    stations_on_cells(t, 2, 6, 1);
    GaugeSet& g = t.rs.gauges;
    for (int h = 1; h <= 6; ++h) {
        g.precip(1, h) = 2.0f;
        g.precip(2, h) = 1.0f;
    }
    g.precip(2, 3) = 150.0f;  // removed as spurious: gauge 2 drops out at hour 3
    g.precip(1, 5) = g.precip(2, 5) = -1.0f;  // nobody reports: no call, no rain
    start_event(t, 2016, 6, 5, 0);
    EXPECT_TRUE(prepare_gauge_data(t.rs));
    distribute(t.rs);
    // Hour 1 (first step), hour 3 (gauge 2 out), hour 4 (back), hour 6 (after the empty hour).
    EXPECT_EQ(t.rs.wts.calls, 4);
    EXPECT_EQ(t.rs.frame_count, 5);
    EXPECT_EQ(t.rs.dist.psum, (std::vector<float>{10.0f, 6.0f}));  // hour 3: cell 2 gets gauge 1's value
}

TEST(Distribute, ProgressLines) {
    TestRun t;
    stations_on_cells(t, 1, 24, 1);
    start_event(t, 2016, 6, 5, 0);
    distribute(t.rs);
    int n = 0;
    for (const auto& l : t.console()) {
        if (l.rfind("distributing hour #", 0) == 0) {
            ++n;
            EXPECT_EQ(l.size(), 27u);
        }
    }
    EXPECT_EQ(n, 12);  // every second hour
    EXPECT_NE(t.out.str().find("distributing hour #      24"), std::string::npos);

    TestRun s;  // shorter than 10 hours: no progress lines, the distribution still runs
    stations_on_cells(s, 1, 6, 1);
    s.rs.gauges.precip(1, 2) = 1.0f;
    start_event(s, 2016, 6, 5, 0);
    distribute(s.rs);
    EXPECT_EQ(s.out.str().find("distributing hour #"), std::string::npos);
    EXPECT_EQ(s.rs.frame_count, 1);
}

TEST(Distribute, NotANumberInADisaggregatedStepStops) {
    TestRun t;
    stations_on_cells(t, 2, 6, 6);
    t.rs.gauges.precip(1, 6) = 1.0f;
    t.rs.gauges.precip(2, 6) = INFINITY;  // weight 0 in cell 1: 0 x infinity
    t.rs.dist.smrflg = 'y';
    t.rs.a12 = 1.0f;
    start_event(t, 2016, 6, 5, 0);
    try {
        distribute(t.rs);
        FAIL() << "no stop";
    } catch (const FatalStop& s) {
        EXPECT_EQ(s.message(), "");
    }
    const auto con = t.console();
    ASSERT_GE(con.size(), 2u);
    EXPECT_EQ(con[con.size() - 2].rfind("nhdt,i,j,p(i,j)/", 0), 0u);
    EXPECT_EQ(con.back(), "This should never happen!!!");
}

TEST(Distribute, CalendarAcrossYearEndAndLeapDay) {
    auto eq = [](FrameTime a, FrameTime b) {
        return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour;
    };
    EXPECT_TRUE(eq(frame_time(2016, 12, 31, 22, 2), {2017, 1, 1, 0}));
    EXPECT_TRUE(eq(frame_time(2016, 2, 28, 0, 24), {2016, 2, 29, 0}));
    EXPECT_TRUE(eq(frame_time(2015, 2, 28, 0, 24), {2015, 3, 1, 0}));
    EXPECT_TRUE(eq(frame_time(1900, 2, 28, 12, 24), {1900, 2, 29, 12}));  // divisible by 4
    EXPECT_TRUE(eq(frame_time(2016, 1, 1, 0, 366 * 24 + 5), {2017, 1, 1, 5}));
    EXPECT_TRUE(eq(frame_time(2015, 1, 31, 23, 1 + 24 * 29), {2015, 3, 2, 0}));

    TestRun t;  // hourly event from 2016-12-31 22:00: the third step is 2017-01-01 00:00
    stations_on_cells(t, 1, 3, 1);
    for (int h = 1; h <= 3; ++h) t.rs.gauges.precip(1, h) = 1.0f;
    start_event(t, 2016, 12, 31, 22);
    distribute(t.rs);
    const auto f = frames(t);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(when(f[1]), "\"2016/12/31 23:00:00.000\"");
    EXPECT_EQ(when(f[2]), "\"2017/1/1  0:00:00.000\"");
}

TEST(Distribute, WeightedSumMatchesCellByCellSum) {
    TestRun t;
    const int nx = 13, ny = 9, ns = 7;
    t.grid(nx, ny);
    t.gauges(ns, 2, 1);
    for (int k = 1; k <= ns; ++k) {
        t.station(k, 1.3f * k + 0.2f, 0.9f * k);
        t.rs.gauges.precip(k, 1) = (k == 3) ? -1.0f : 0.37f * k + 0.011f;
    }
    t.rs.gauges.precip(5, 1) = 0.0f;
    start_event(t, 2016, 6, 5, 0);
    distribute(t.rs);
    for (int i = 1; i <= ny; ++i)
        for (int j = 1; j <= nx; ++j) {
            float p = 0.0f;
            for (int k = 1; k <= ns; ++k) p += t.rs.wts.weight_at(i, j, k) * t.rs.gauges.precip(k, 1);
            EXPECT_EQ(t.rs.dist.psum[t.rs.dist.cell(i, j)], p) << i << "," << j;
        }
}

TEST(WorkArrays, CreationAndRecreationRule) {
    TestRun t;
    t.rs.nx_pdl = 4;
    t.rs.ny_pdl = 3;
    create_work_arrays(t.rs, 3, 24);
    create_outarray(t.rs);
    EXPECT_EQ(t.rs.dist.p.size(), 12u);
    EXPECT_EQ(t.rs.dist.outarray.size(), 12u);
    EXPECT_GE(t.rs.dist.station_has_data.size(), 4u);
    EXPECT_FALSE(work_arrays_need_recreation(t.rs, 3, 24));
    EXPECT_FALSE(work_arrays_need_recreation(t.rs, 2, 10));
    EXPECT_TRUE(work_arrays_need_recreation(t.rs, 3, 25));
    EXPECT_TRUE(work_arrays_need_recreation(t.rs, 4, 10));
    recreate_work_arrays(t.rs, 4, 30);
    EXPECT_FALSE(work_arrays_need_recreation(t.rs, 3, 30));
    EXPECT_TRUE(work_arrays_need_recreation(t.rs, 4, 30));  // compared with the first event's count
    recreate_work_arrays(t.rs, 4, 12);
    EXPECT_FALSE(work_arrays_need_recreation(t.rs, 2, 30));  // the hour count never falls back
    EXPECT_GE(t.rs.dist.station_has_data.size(), 5u);
}
