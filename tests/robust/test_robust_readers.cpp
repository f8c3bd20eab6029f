// Bad input to the readers: sizes, numbers and lines that must either read
// soundly or stop with a message that names the file, never overrun or let
// NaN into the run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "readers/gauge_test_util.h"
#include "readers/pdl_header.h"
#include "readers/legacy_rag_file.h"
#include "readers/event_file.h"
#include "readers/static_grid.h"
#include "readers/gauge_table.h"
#include "readers/watershed_file.h"
#include "platform/files.h"

namespace nimbex {
namespace {

class Robust : public testutil::GaugeRun {
protected:
    void put(const std::string& name, const std::string& text) {
        std::filesystem::create_directories((dir / name).parent_path());
        testutil::write_file(dir / name, text);
    }
    bool console_has(const std::string& text) { return out.str().find(text) != std::string::npos; }
};

// ---- watershed and static grids --------------------------------------------

std::string shed_text(const std::string& geometry, const std::string& counts, const std::string& values) {
    return ":FileType r2c ASCII EnSim 1.0\n:Projection UTM\n" + geometry + counts +
           ":NominalGridSize_AL 1000.0\n:ClassCount 1\n:NumRiverClasses 1\n:NumGridsInBasin 3\n:DebugGridNo 1\n"
           ":AttributeName 1 Rank\n:AttributeName 2 Elev\n:AttributeName 3 Forest\n:EndHeader\n" +
           values;
}
const std::string good_geometry =
    ":xOrigin 350000.0\n:yOrigin 5000000.0\n:xCount 3\n:yCount 2\n:xDelta 1000.0\n:yDelta 1000.0\n";
const std::string good_values = "1 2 0\n3 0 0\n100 200 300\n400 500 600\n1 1 1\n1 1 1\n";

TEST_F(Robust, WatershedSizesOutOfRangeStopNamingTheFileBeforeAnyArray) {
    struct Case {
        std::string geometry, counts;
    };
    const std::vector<Case> cases = {
        {":xCount 0\n:yCount 2\n:xDelta 1000.0\n:yDelta 1000.0\n", ":TotalNumOfGrids 3\n"},
        {":xCount -3\n:yCount -2\n:xDelta 1000.0\n:yDelta 1000.0\n", ":TotalNumOfGrids 3\n"},
        // 2^31 cells would overflow an int product; 10^10 values cannot be held.
        {":xCount 100000\n:yCount 100000\n:xDelta 1000.0\n:yDelta 1000.0\n", ":TotalNumOfGrids 3\n"},
        {":xCount 65536\n:yCount 32768\n:xDelta 1000.0\n:yDelta 1000.0\n", ":TotalNumOfGrids 3\n"},
        {good_geometry, ":TotalNumOfGrids 7\n"},   // more grid numbers than cells
        {good_geometry, ":TotalNumOfGrids -1\n"},
        {":xCount 3\n:yCount 2\n:xDelta 0.0\n:yDelta 1000.0\n", ":TotalNumOfGrids 3\n"},
        {":xCount 3\n:yCount 2\n:xDelta nan\n:yDelta 1000.0\n", ":TotalNumOfGrids 3\n"},
        {":xCount 3\n:yCount 2\n:xDelta 1000.0\n:yDelta 1000.0\n:xOrigin inf\n", ":TotalNumOfGrids 3\n"},
        {good_geometry, ":TotalNumOfGrids 3\n:ClassCount -2\n"},
        {good_geometry, ":TotalNumOfGrids 3\n:ClassCount 5000000\n"},
        // Values no output header field can hold.
        {":xCount 3\n:yCount 2\n:xDelta 1000.0\n:yDelta 1000.0\n:xOrigin -1e30\n", ":TotalNumOfGrids 3\n"},
        {":xCount 3\n:yCount 2\n:xDelta 1e-6\n:yDelta 1000.0\n", ":TotalNumOfGrids 3\n"},
        {":xCount 3\n:yCount 2\n:xDelta 1000.0\n:yDelta 1e12\n", ":TotalNumOfGrids 3\n"},
    };
    for (const Case& c : cases) {
        std::string text = shed_text(c.geometry, c.counts, good_values);
        // A later line of the same key wins: the class-count cases override ClassCount 1.
        if (c.counts.find(":ClassCount") != std::string::npos) text.replace(text.find(":ClassCount 1\n"), 14, "");
        put("basin/x_shd.r2c", text);
        rs->file_name(1) = "basin\\x_shd.r2c";
        const std::string stop = stop_of([&] { read_shed_ef(*rs, 31, 1); });
        EXPECT_NE(stop.find("out of range in basin\\x_shd.r2c"), std::string::npos) << c.geometry << c.counts << stop;
        EXPECT_TRUE(rs->shed.rank.empty()) << c.geometry << c.counts;
    }
}

TEST_F(Robust, WatershedRanksBeyondTheGridsAreIgnored) {
    // Ranks above totalnumofgrids and above 32767 index nothing, and the
    // cells left out are counted in a warning.
    put("basin/x_shd.r2c", shed_text(good_geometry, ":TotalNumOfGrids 3\n",
                                     "1 40000 0\n3 4 2147483647\n100 200 300\n400 500 600\n1 1 1\n1 1 1\n"));
    rs->file_name(1) = "basin\\x_shd.r2c";
    read_shed_ef(*rs, 31, 1);
    EXPECT_EQ(rs->shed.rank_at(1, 2), 40000);
    EXPECT_FLOAT_EQ(rs->shed.elev[1], 100.0f);
    EXPECT_FLOAT_EQ(rs->shed.elev[3], 400.0f);
    EXPECT_EQ(rs->shed.elev.size(), 4u);
    EXPECT_TRUE(console_has("WARNING:"));
    EXPECT_TRUE(console_has("3 cells of the watershed file basin\\x_shd.r2c")) << out.str();
    // Without :TotalNumOfGrids no cell is left: the run stops.
    put("basin/x_shd.r2c", shed_text(good_geometry, "", good_values));
    EXPECT_EQ(stop_of([&] { read_shed_ef(*rs, 31, 1); }),
              "Program aborted in read_shed_ef: every rank is above :TotalNumOfGrids 0 in basin\\x_shd.r2c");
}

TEST_F(Robust, GridValuesThatAreNotFiniteNumbersAreRefused) {
    for (const char* bad : {"nan", "-inf", "Infinity", "1e39"}) {
        put("basin/x_shd.r2c", shed_text(good_geometry, ":TotalNumOfGrids 3\n",
                                         std::string("1 2 0\n3 0 0\n100 ") + bad + " 300\n400 500 600\n1 1 1\n1 1 1\n"));
        rs->file_name(1) = "basin\\x_shd.r2c";
        const std::string stop = stop_of([&] { read_shed_ef(*rs, 31, 1); });
        EXPECT_EQ(stop, std::string("Program aborted: grid value '") + bad +
                            "' is not a finite number in basin\\x_shd.r2c");
    }
    // An elevation beyond any on earth.
    put("basin/x_shd.r2c", shed_text(good_geometry, ":TotalNumOfGrids 3\n",
                                     "1 2 0\n3 0 0\n100 5e12 300\n400 500 600\n1 1 1\n1 1 1\n"));
    EXPECT_EQ(stop_of([&] { read_shed_ef(*rs, 31, 1); }),
              "Program aborted in read_shed_ef: elev of grid no 2 4.99999991E+12 is out of range in "
              "basin\\x_shd.r2c");
    // The same refusal for a static grid.
    rs->grid.xcount = 3;
    rs->grid.ycount = 2;
    rs->grid.xdelta = rs->grid.ydelta = 1000.0f;
    put("basin/elv_max.r2c", ":FileType r2c ASCII\n:xCount 3\n:yCount 2\n:xDelta 1000.0\n:yDelta 1000.0\n"
                             ":AttributeName 1 Elev\n:EndHeader\n1 2 3\n4 NaN 6\n");
    rs->file_name(499) = "basin\\elv_max.r2c";
    std::vector<float> grid;
    EXPECT_EQ(stop_of([&] { read_gsm_ef(*rs, 499, 499, grid); }),
              "Program aborted: grid value 'NaN' is not a finite number in basin\\elv_max.r2c");
}

TEST_F(Robust, StaticGridOfAnotherSizeStopsWithoutReadingItsValues) {
    rs->grid.xcount = 3;
    rs->grid.ycount = 2;
    rs->grid.xdelta = rs->grid.ydelta = 1000.0f;
    // 2 x 10^9 cells per attribute and 3 attributes: only the mismatch report.
    put("basin/elv_max.r2c", ":FileType r2c ASCII\n:xCount 2000000000\n:yCount 2000000000\n:xDelta 1000.0\n"
                             ":yDelta 1000.0\n:AttributeName 1 A\n:AttributeName 2 B\n:AttributeName 3 C\n"
                             ":EndHeader\n1 2 3\n");
    rs->file_name(499) = "basin\\elv_max.r2c";
    std::vector<float> grid;
    EXPECT_EQ(stop_of([&] { read_gsm_ef(*rs, 499, 499, grid); }), "Program aborted in read_gsm_ef @ 141");
    EXPECT_TRUE(console_has("xcount_swe.ne.xcount"));
}

// ---- point data locations -------------------------------------------------

std::string pdl_text(const std::string& xcount, const std::string& xdelta) {
    return "#\nFileType pdl\nProjection UTM\nEllipsoid GRS80\nZone 17\n#\nxOrigin 500000.0\nyOrigin 4800000.0\n#\n"
           "xCount " + xcount + "\nyCount 15\nxDelta " + xdelta + "\nyDelta 1000.0\n#\n";
}

TEST_F(Robust, PdlGridSizesOutOfRangeStopNamingTheFile) {
    const std::vector<std::string> texts = {
        pdl_text("0", "1000.0"),
        pdl_text("-20", "1000.0"),
        pdl_text("2000000000", "1000.0"),  // 3 x 10^10 cells
        pdl_text("20", "0.0"),
        pdl_text("20", "-1000.0"),
        pdl_text("20", "nan"),
        pdl_text("20", "1e-6"),
        pdl_text("20", "1e12"),
        "#\nFileType pdl\nProjection UTM\nEllipsoid GRS80\nZone 17\n#\nxOrigin -1e30\nyOrigin 4800000.0\n#\n"
        "xCount 20\nyCount 15\nxDelta 1000.0\nyDelta 1000.0\n#\n",
        // Old layout: east bound west of the west bound, and a cell size beyond the reals.
        "   10 5000 5100  400  300    0    0    0    0    0    0    0    0  0.0  0.0\n",
        "    0    0    0    0    0   49    0   50    0  -98    0  -97    0 9e99  6.0\n",
        "    1-9999 9999-9999 9999    0    0    0    0    0    0    0    0  0.0  0.0\n",
    };
    for (const std::string& t : texts) {
        put("basin/x.pdl", t);
        rs->file_name(3) = "basin\\x.pdl";
        int nx = -7, ny = -7;
        const std::string stop = stop_of([&] { inpgrd(*rs, nx, ny, 2); });
        EXPECT_TRUE(stop.find("in basin\\x.pdl") != std::string::npos ||
                    stop == "Program aborted in inpgrd @ 235")
            << t << stop;
    }
}

// ---- gauge table ------------------------------------------------------------

std::string tb0_text(const std::string& header_extra, const std::string& data) {
    return ":FileType tb0 ASCII EnSim 1.0\n:DeltaT 1\n:UnitConversion 1.0\n" + header_extra +
           ":ColumnMetaData\n:ColumnName A B\n:ColumnUnits mm mm\n:ColumnLocationX 500000 501000\n"
           ":ColumnLocationY 4800000 4801000\n:Elevation 100 200\n:EndColumnMetaData\n:EndHeader\n" + data;
}

TEST_F(Robust, GaugeValuesThatAreNotNumbersCountAsNoRecord) {
    // NaN and infinities in any spelling, and a negative value the factor
    // takes past the real range.
    put("raing/t.tb0", tb0_text(":UnitConversion 25.4\n", "nan 1.0\n-inf INF\n-1e38 2.0\n"));
    rs->file_name(5) = "raing\\t.tb0";
    EXPECT_EQ(read_rag_ef(*rs, 35, 5).counts.nhours, 3);
    const GaugeSet& g = rs->gauges;
    for (int h = 1; h <= 3; ++h)
        for (int k = 1; k <= 2; ++k) EXPECT_TRUE(std::isfinite(g.precip(k, h))) << k << " " << h;
    EXPECT_FLOAT_EQ(g.precip(1, 1), -1.0f);
    EXPECT_FLOAT_EQ(g.precip(1, 3), -1.0f);
    EXPECT_FLOAT_EQ(g.precip(2, 2), -1.0f);
    EXPECT_FLOAT_EQ(g.precip(2, 1), 25.4f);
    EXPECT_EQ(g.record_count[1], 0);
    EXPECT_EQ(g.record_flag[1], 'N');
    EXPECT_EQ(g.record_flag[2], 'P');
    EXPECT_FLOAT_EQ(g.event_total[2], 76.2f);
}

TEST_F(Robust, GaugeTableCountsAndNumbersThatCannotBeUsedStop) {
    rs->file_name(5) = "raing\\t.tb0";
    auto stop_for = [&](const std::string& text) {
        put("raing/t.tb0", text);
        return stop_of([&] { read_rag_ef(*rs, 35, 5); });
    };
    // DeltaT times the lines overflows an int; a large DeltaT makes too many values.
    EXPECT_EQ(stop_for(tb0_text(":DeltaT 2000000000\n", "1 2\n3 4\n")),
              "Program aborted in read_rag_ef: too many hours of data in raing\\t.tb0");
    EXPECT_EQ(stop_for(tb0_text(":DeltaT 200000000\n", "1 2\n")),
              "Program aborted in read_rag_ef: too many hours of data in raing\\t.tb0");
    EXPECT_EQ(stop_for(tb0_text(":DeltaT -2000000000\n", "1 2\n3 4\n")),
              "Program aborted in read_rag_ef: too many hours of data in raing\\t.tb0");
    EXPECT_EQ(stop_for(tb0_text(":DeltaT 0\n", "1 2\n")), "Program aborted in read_rag_ef: DeltaT below 1");
    // Finite values beyond anything real: sums of them would overflow.
    EXPECT_EQ(stop_for(tb0_text(":UnitConversion 1e30\n", "1 2\n")),
              "Program aborted in read_rag_ef: :UnitConversion 1.00000002E+30 is out of range in raing\\t.tb0");
    EXPECT_EQ(stop_for(tb0_text(":DeltaT 6\n", "1 2\n3 3e38\n")),
              "Program aborted in read_rag_ef: rain of station 2 in data line 2 (3.00000001E+38 times 1.00000000) "
              "3.00000001E+38 is out of range in raing\\t.tb0");
    EXPECT_NE(stop_for(tb0_text(":UnitConversion 25.4\n", "1 2\n1e38 2\n"))
                  .find("rain of station 1 in data line 2 (9.99999968E+37 times 25.3999996) Infinity is out of range"),
              std::string::npos);
    {
        std::string t = tb0_text("", "1 2\n");
        t.replace(t.find(":Elevation 100 200"), 18, ":Elevation 100 5e12");
        EXPECT_EQ(stop_for(t),
                  "Program aborted in read_rag_ef: :Elevation of station 2 4.99999991E+12 is out of range in "
                  "raing\\t.tb0");
    }
    EXPECT_EQ(stop_for(tb0_text(":UnitConversion nan\n", "1 2\n")),
              "Program aborted in read_rag_ef: UnitConversion not a number in raing\\t.tb0");
    EXPECT_EQ(stop_for(tb0_text(":UnitConversion inf\n", "1 2\n")),
              "Program aborted in read_rag_ef: UnitConversion not a number in raing\\t.tb0");
    std::string t = tb0_text("", "1 2\n");
    t.replace(t.find("4800000 4801000"), 15, "4800000 nan");
    EXPECT_EQ(stop_for(t), "Program aborted in read_rag_ef: station location not a number in raing\\t.tb0");
}

TEST_F(Robust, GaugeTableLineEndsAndOddBytes) {
    rs->file_name(5) = "raing\\t.tb0";
    // CRLF line ends and no final newline read like plain lines.
    std::string crlf = tb0_text("", "1 2\n3 4");
    for (std::size_t p = crlf.find('\n'); p != std::string::npos; p = crlf.find('\n', p + 2)) crlf.insert(p, "\r");
    put("raing/t.tb0", crlf);
    EXPECT_EQ(read_rag_ef(*rs, 35, 5).counts.nhours, 2);
    EXPECT_FLOAT_EQ(rs->gauges.precip(2, 2), 4.0f);
    // A NUL byte or a non-ASCII byte inside a value is a bad number.
    std::string nul = tb0_text("", "1 2\n3 4");
    nul.insert(nul.size() - 1, std::string(1, '\0'));
    put("raing/t.tb0", nul);
    EXPECT_EQ(stop_of([&] { read_rag_ef(*rs, 35, 5); }),
              "Program aborted in read_rag_ef @ 368");
    put("raing/t.tb0", tb0_text("", "1 2\n3 \xc3\xa9\n"));
    EXPECT_EQ(stop_of([&] { read_rag_ef(*rs, 35, 5); }),
              "Program aborted in read_rag_ef @ 368");
    // An empty file has no header; a directory under the name is no file.
    put("raing/t.tb0", "");
    EXPECT_EQ(stop_of([&] { read_rag_ef(*rs, 35, 5); }), " Stopped in read_rag_ef");
    std::filesystem::remove(dir / "raing/t.tb0");
    std::filesystem::create_directory(dir / "raing/t.tb0");
    EXPECT_EQ(stop_of([&] { read_rag_ef(*rs, 35, 5); }),
              " Program STOPPED in read_rag_ef @65");
    // A FIFO would block the open for ever: refused.
    std::filesystem::remove(dir / "raing/t.tb0");
    ASSERT_EQ(::mkfifo((dir / "raing/t.tb0").c_str(), 0600), 0);
    EXPECT_EQ(stop_of([&] { read_rag_ef(*rs, 35, 5); }),
              "Program aborted: the input file raing\\t.tb0 is not a regular file (a FIFO, device or socket)");
    // A line without end (a binary file named by mistake) stops at the cap,
    // naming the line.
    std::filesystem::remove(dir / "raing/t.tb0");
    put("raing/t.tb0", tb0_text("", "1 2\n") + std::string(max_line_length + 1, '7'));
    EXPECT_EQ(stop_of([&] { read_rag_ef(*rs, 35, 5); }),
              "Program aborted: line 13 of raing\\t.tb0 is longer than 16777216 characters (not a text file of "
              "this program?)");
}

TEST_F(Robust, GaugeTableHoldsTenThousandGauges) {
    // UTM coordinates with decimals: 13 characters a value on the header lines.
    const int n = 10000;
    std::string names, xs, ys, elev, data;
    for (int i = 0; i < n; ++i) {
        names += " G" + std::to_string(i);
        xs += " " + std::to_string(500000 + i) + ".125";
        ys += " " + std::to_string(4800000 + i) + ".125";
        elev += " 100.0";
        data += i == n - 1 ? " 2.5" : " -1";
    }
    put("raing/t.tb0", ":FileType tb0 ASCII EnSim 1.0\n:DeltaT 1\n:UnitConversion 1.0\n:ColumnMetaData\n:ColumnName" +
                           names + "\n:ColumnLocationX" + xs + "\n:ColumnLocationY" + ys + "\n:Elevation" + elev +
                           "\n:EndColumnMetaData\n:EndHeader\n" + data + "\n");
    rs->file_name(5) = "raing\\t.tb0";
    EXPECT_EQ(read_rag_ef(*rs, 35, 5).counts.nstations, n);
    EXPECT_FLOAT_EQ(rs->gauges.station_y[n], 4809999.125f);
    EXPECT_FLOAT_EQ(rs->gauges.precip(n, 1), 2.5f);
}

// ---- legacy gauge files ---------------------------------------------------

std::string labelled_rag(const std::string& stations, const std::string& hours, const std::string& xs,
                         const std::string& data) {
    return "#\nFileType .rag\nProjection UTM\nEllipsoid GRS80\nZone 17\nStartTime\nSampleDate 2023-07-01\n"
           "SampleTime 06:00\nCounts\nNoStations " + stations + "\nNoHours " + hours +
           "\nDeltaT 1\nConversion 1.0\nNames\nG1 G2\n" + xs + "\n4800000 4805000\nline a\nline b\n" + data;
}

TEST_F(Robust, LegacyGaugeFilesTooLargeOrNotNumbersStop) {
    rs->file_name(5) = "raing\\r.rag";
    rs->shed.x_cell = rs->shed.y_cell = 1.0f;
    auto stop_for = [&](const std::string& text) {
        put("raing/r.rag", text);
        return stop_of([&] { rdrag(*rs, ".rag"); });
    };
    EXPECT_EQ(stop_for(labelled_rag("100000", "100000", "500000 510000", "")),
              "program aborted in rdrag: too many values in raing\\r.rag");
    EXPECT_EQ(stop_for(labelled_rag("2", "2147483647", "500000 510000", "")),
              "program aborted in rdrag: too many values in raing\\r.rag");
    EXPECT_EQ(stop_for("old\n99999999991.0\n"), "program aborted in rdrag: too many values in raing\\r.rag");
    // Many stations and no hours: the station arrays alone would be gigabytes.
    EXPECT_EQ(stop_for(labelled_rag("134217727", "0", "500000 510000", "")),
              "program aborted in rdrag: too many values in raing\\r.rag");
    EXPECT_EQ(stop_for(labelled_rag("2", "2", "500000 inf", "1 2\n3 4\n")),
              " program aborted in nimbex @ 178: coordinate not a number in raing\\r.rag");
    // Finite values beyond anything real, and NaN in a header value before it is echoed.
    EXPECT_EQ(stop_for(labelled_rag("2", "2", "500000 -1e30", "1 2\n3 4\n")),
              "Program aborted in rdrag: coordinate of station 2 -1.00000002E+30 is out of range in raing\\r.rag");
    EXPECT_EQ(stop_for(labelled_rag("2", "2", "500000 510000", "1 2\n3 3e38\n")),
              "Program aborted in rdrag: rain of station 2 at hour 2 (3.00000001E+38 times 1.00000000) "
              "3.00000001E+38 is out of range in raing\\r.rag");
    std::string nan_factor = labelled_rag("2", "2", "500000 510000", "1 2\n3 4\n");
    nan_factor.replace(nan_factor.find("Conversion 1.0"), 14, "Conversion nan");
    EXPECT_EQ(stop_for(nan_factor),
              "Program aborted in rdrag: conversion factor (line 13) NaN is not a finite number in raing\\r.rag");
    EXPECT_EQ(stop_for("old\n    1    1 1e30\n 4805  510 GaugeA\n0.3\n     1.0\n"),
              "Program aborted in rdrag: conversion factor (line 2) 1.00000002E+30 is out of range in raing\\r.rag");
    for (const std::string& l : report(51)) EXPECT_EQ(l.find("NaN"), std::string::npos) << l;
}

TEST_F(Robust, LegacyGaugeFilesWithoutStationsStillHaveTheirListLines) {
    rs->file_name(5) = "raing\\r.rag";
    rs->shed.x_cell = rs->shed.y_cell = 1.0f;
    auto read = [&](const std::string& text) {
        put("raing/r.rag", text);
        rdrag(*rs, ".rag");
    };
    // Labelled: the empty name, x and y lines, two echoed lines, one line per hour.
    EXPECT_NO_THROW(read(labelled_rag("0", "2", "", "\n\n")));
    EXPECT_EQ(stop_of([&] { read(labelled_rag("0", "2", "", "\n")); }), " program aborted in rdrag @zxc");
    // Old layout: the empty soil-moisture line, then one line per hour.
    EXPECT_NO_THROW(read("old\n    0    2  1.0\n\n\n\n"));
    EXPECT_EQ(stop_of([&] { read("old\n    0    2  1.0\n\n\n"); }), " program aborted in rdrag @zxc");
}

TEST_F(Robust, LegacyGaugeValuesThatAreNotNumbersCountAsNoRecord) {
    rs->file_name(5) = "raing\\r.rag";
    put("raing/r.rag", labelled_rag("2", "2", "500000 510000", "nan 2\n3 -Infinity\n"));
    rdrag(*rs, ".rag");
    EXPECT_FLOAT_EQ(rs->gauges.precip(1, 1), -1.0f);
    EXPECT_FLOAT_EQ(rs->gauges.precip(2, 1), 2.0f);
    EXPECT_FLOAT_EQ(rs->gauges.precip(2, 2), -1.0f);
}

// ---- event file ---------------------------------------------------------------

TEST_F(Robust, EventChainLongerThanTheFileStopsWithoutAHugeList) {
    for (const char* n : {"2000000000", "2147483647"}) {
        put("event/event.evt", std::string(":year 2023\n:noeventstofollow ") + n + "\n#\nevent/a.evt\nevent/b.evt\n");
        rs->file_name(99) = "event/event.evt";
        rs->event_number = 1;
        rs->evt = EventState();
        EXPECT_EQ(stop_of([&] { read_evt(*rs); }), "Program abortedin rdevt @ 460");
        EXPECT_TRUE(console_has(" 4  in rdevt")) << out.str();
        EXPECT_LT(rs->evt.event_fln.size(), 2000u);
    }
}

TEST_F(Robust, EventDayAtTheIntegerLimitDoesNotOverflow) {
    put("event/event.evt", ":year 2024\n:month 12\n:day 2147483647\n:hour 0\n");
    rs->file_name(99) = "event/event.evt";
    read_evt(*rs);
    EXPECT_EQ(rs->evt.day, 2147483647);
    EXPECT_EQ(rs->evt.day_of_year, 2147483647);
}

}  // namespace
}  // namespace nimbex
