#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fortran_format.h"
#include "writers/station_list.h"
#include "readers/gauge_test_util.h"
#include "readers/legacy_rag_file.h"
#include "readers/gauge_table.h"

namespace nimbex {
namespace {

using testutil::lines_of;
using testutil::read_file;
using testutil::write_file;

class Rdrag : public testutil::GaugeRun {
protected:
    int nhours = -5, nstations = 2;
    float conv = -5.0f;

    void SetUp() override {
        GaugeRun::SetUp();
        std::filesystem::create_directories(dir / "raing");
        // A projected grid origin in whole km: x0 = 500, y0 = 4800, 1 km cells.
        rs->shed.pdl_west = 500;
        rs->shed.pdl_south = 4800;
        rs->shed.x_cell = 1.0f;
        rs->shed.y_cell = 1.0f;
    }
    void put(const std::string& text) {
        write_file(dir / "raing" / "20230701.rag", text);
        rs->file_name(5) = "raing\\20230701.rag";
    }
    void read() {
        const GaugeCounts c = rdrag(*rs, "rag");
        nhours = c.nhours;
        conv = c.unit_conversion;
        nstations = c.nstations;
    }
    GaugeSet& g() { return rs->gauges; }
};

const char* labelled_file =
    "#\n"
    "FileType    .rag\n"
    "Projection  UTM\n"
    "Ellipsoid   GRS80\n"
    "Zone        17\n"
    "StartTime\n"
    "SampleDate  2023-07-01\n"
    "SampleTime  06:00\n"
    "Counts\n"
    "NoStations  3\n"
    "NoHours     4\n"
    "DeltaT      2\n"
    "Conversion  25.4\n"
    "Names\n"
    "'Gauge One' G2\n"
    "   LongStationName15\n"
    "500000 510000\n"
    " 520000.5\n"
    "4800000 4805000 4810000\n"
    "first echoed line\n"
    "second echoed line\n"
    "1.0 2.0 -1\n"
    "4.0,5.0\n"
    "6.0\n";

TEST_F(Rdrag, LabelledLayout) {
    put(labelled_file);
    read();
    EXPECT_EQ(nstations, 3);
    EXPECT_EQ(nhours, 4);
    EXPECT_EQ(conv, 1.0f);
    EXPECT_EQ(g().deltat, 2);
    EXPECT_EQ(g().file_type, ".rag");
    EXPECT_EQ(g().newfmtflg, 'y');
    EXPECT_EQ(rs->grid.projection, "UTM");
    EXPECT_EQ(rs->grid.ellipsoid, "GRS80");
    EXPECT_EQ(rs->grid.zone, 17);
    EXPECT_EQ(g().sample_date, "2023-07-01");
    EXPECT_EQ(g().sample_time, "06:00");
    EXPECT_EQ(g().station_name[1], "Gauge One");
    EXPECT_EQ(g().station_name[3].str(), "LongStationN");
    EXPECT_FLOAT_EQ(g().station_x[3], 520000.5f);
    EXPECT_FLOAT_EQ(g().station_y[2], 4805000.0f);
    EXPECT_EQ(g().station_elevation[1], 0.0f);
    EXPECT_FLOAT_EQ(g().precip(1, 2), 25.4f);
    EXPECT_FLOAT_EQ(g().precip(3, 2), -25.4f);
    EXPECT_FLOAT_EQ(g().precip(2, 4), 127.0f);
    EXPECT_FLOAT_EQ(g().precip(3, 4), 152.4f);
    EXPECT_FALSE(rs->files.is_open(35));

    const auto xyz = lines_of(read_file(dir / "met_station_coordinates.xyz"));
    ASSERT_EQ(xyz.size(), 3u);
    EXPECT_EQ(xyz[0], (ListLine() << 500000.0f << 4800000.0f << "Gauge One   ").str());

    const auto info = report(51);
    const std::vector<std::string> head = {"Opened  raing\\20230701.rag  in rdrag", "",
                                           "#                             ignored - in rdrag"};
    ASSERT_GT(info.size(), 20u);
    EXPECT_EQ(std::vector<std::string>(info.begin(), info.begin() + 3), head);
    EXPECT_EQ(info[3], "FileType            .rag      ");
    EXPECT_EQ(info[6], (msg() << "Zone                " << 17).str());
    EXPECT_EQ(info[7], "StartTime           ");
    auto at = [&](const std::string& l) { return std::find(info.begin(), info.end(), l) - info.begin(); };
    const long star = at("***.rag      ***");
    ASSERT_LT(star + 6, static_cast<long>(info.size()));
    EXPECT_EQ(info[star + 1], "newfmtflg=y");
    EXPECT_EQ(info[star + 2], "");
    EXPECT_EQ(info[star + 3], "  gname   Gauge One G2        LongStatio");
    EXPECT_EQ(info[star + 4], "  ysta    4800000.004805000.004810000.00");
    EXPECT_EQ(info[star + 5], "  xsta     500000.00 510000.00 520000.50");
    EXPECT_EQ(info[star + 6], "");
    EXPECT_EQ(info[star + 7], "         2     1.000     2.000    -1.000");  // echoed as read, before the factor
    EXPECT_EQ(info.back(), "");
    EXPECT_EQ(info[info.size() - 2], "Closed unit 35. Filename =  raing\\20230701.rag");
    EXPECT_NE(std::find(info.begin(), info.end(), "first echoed line"), info.end());
    EXPECT_TRUE(console_has(" .rag format rain gauge file found"));
    EXPECT_TRUE(console_has("finished reading header in .rag file"));
    EXPECT_TRUE(console_has((msg() << "iall =" << 0).str()));
}

TEST_F(Rdrag, LabelledLayoutStops) {
    std::string t = labelled_file;
    t.replace(t.find("DeltaT      2"), 13, "DeltaT");
    put(t);
    EXPECT_EQ(stop_of([&] { read(); }), "Program aborted in rdrag @ 165");
    EXPECT_EQ(console().back(), "deltat not specified - must be > 1");

    t = labelled_file;
    t.replace(t.find("Zone        17"), 14, "Zone        seventeen");
    put(t);
    EXPECT_EQ(stop_of([&] { read(); }), "program aborted in rdrag @ line 5");

    t = labelled_file;
    t.replace(t.find(" 520000.5"), 9, " 52x");
    put(t);
    out.str("");
    EXPECT_EQ(stop_of([&] { read(); }), " program aborted in nimbex @ 178");
    // The values held so far follow the count on the same line.
    EXPECT_EQ(console().back(), " error reading x coordinate n=           4   500000.000       510000.000    "
                                "   0.00000000    ");

    t = labelled_file;
    t = t.substr(0, t.find("1.0 2.0 -1"));  // no data
    put(t);
    out.str("");
    EXPECT_EQ(stop_of([&] { read(); }), " program aborted in rdrag @zxc");
    const auto c = console();
    EXPECT_EQ(std::vector<std::string>(c.end() - 4, c.end()),
              (std::vector<std::string>{" end of file reached in raing/yymmdd.rag",
                                        " probable cause: missing init soil moisture", " for first data line", ""}));
}

TEST_F(Rdrag, ModelIdentifiersOnlyGetANotice) {
    put("MC2\nanything\n");
    read();
    EXPECT_EQ(console(), (std::vector<std::string>{" Back from inprag_mc  .... "}));
    EXPECT_EQ(nstations, 0);
    EXPECT_EQ(nhours, 0);
    EXPECT_EQ(report(51).back(), "MC2                           ignored - in rdrag");

    out.str("");
    put("MOLOCH\n");
    read();
    EXPECT_EQ(console(), (std::vector<std::string>{" Going to special case inprag_mo", " Back from inprag_mo  .... "}));

    out.str("");
    put(" -103.81  50.04 remo.422.   and more\n");
    read();
    EXPECT_EQ(console(), (std::vector<std::string>{" Back from inp_data_remo  .... "}));
    EXPECT_EQ(g().deltat, 6);
    EXPECT_EQ(conv, 1.0f);
}

TEST_F(Rdrag, OldLayoutProjected) {
    put("old style file\n"
        "    2    3 25.4\n"
        " 4805  510 GaugeA\n"
        " 4800  500 GaugeB-long-name\n"
        "0.3 0.4\n"
        "     1.0     2.0\n"
        "     3.0\n"
        "       5      -1\n");
    read();
    EXPECT_EQ(nstations, 2);
    EXPECT_EQ(nhours, 3);
    EXPECT_EQ(conv, 1.0f);
    EXPECT_EQ(g().deltat, 1);
    EXPECT_EQ(g().file_type, ".rag");
    EXPECT_EQ(g().sample_date, "unknown");
    EXPECT_EQ(g().station_north[1], 4805);
    EXPECT_EQ(g().station_east[1], 510);
    EXPECT_EQ(g().station_name[2].str(), "GaugeB-long-");
    EXPECT_FLOAT_EQ(g().station_x[1], 10.5f);
    EXPECT_FLOAT_EQ(g().station_y[1], 5.5f);
    EXPECT_FLOAT_EQ(g().station_x[2], 0.5f);
    EXPECT_FLOAT_EQ(g().init_soil_moisture[2], 0.4f);
    EXPECT_FLOAT_EQ(g().precip(1, 1), 25.4f);
    EXPECT_FLOAT_EQ(g().precip(2, 2), 0.0f);  // a blank field reads as 0
    EXPECT_FLOAT_EQ(g().precip(1, 3), 127.0f);
    EXPECT_FLOAT_EQ(g().precip(2, 3), -25.4f);

    const auto info = report(51);
    auto has = [&](const std::string& l) { return std::find(info.begin(), info.end(), l) != info.end(); };
    EXPECT_TRUE(has(" old format file found"));
    EXPECT_TRUE(has("    2    325.40"));
    EXPECT_TRUE(has("      4805  510 GaugeA      "));
    EXPECT_TRUE(has("  gname   GaugeA    GaugeB-lon"));
    EXPECT_TRUE(has("  xsta         10.50      0.50"));
    EXPECT_TRUE(has((msg() << "Initial soil moisture at precip station:" << 0.3f << 0.4f).str()));
    EXPECT_TRUE(has("Echo precip data:"));
    EXPECT_TRUE(has("         1     1.000     2.000"));
    EXPECT_TRUE(has((msg() << "hours of data entered = " << 3).str()));
    EXPECT_TRUE(console_has(" looking for utm coordinates"));

    // The file's own coordinates go to the station coordinate list.
    const auto xyz = lines_of(read_file(dir / "met_station_coordinates.xyz"));
    ASSERT_EQ(xyz.size(), 2u);
    EXPECT_EQ(xyz[0], (ListLine() << 510.0f << 4805.0f << "GaugeA      ").str());
}

TEST_F(Rdrag, OldLayoutStationTenUnitsEastWithCellSizeTen) {
    rs->shed.pdl_west = 0;
    rs->shed.pdl_south = 0;
    rs->shed.x_cell = 10.0f;
    rs->shed.y_cell = 10.0f;
    put("x\n    1    1\n    0   10 S\n0.1\n     1.0\n");
    read();
    EXPECT_FLOAT_EQ(g().station_x[1], 1.5f);
    EXPECT_FLOAT_EQ(g().station_y[1], 0.5f);
    EXPECT_FLOAT_EQ(g().precip(1, 1), 0.0f);  // no factor on line 2: 0
}

TEST_F(Rdrag, OldLayoutLatLongAndTheTwoIntegerFallback) {
    rs->grid.latlong = true;
    rs->shed.pdl_west = -5900;
    rs->shed.pdl_south = 2900;
    rs->shed.x_cell = 5.0f;
    rs->shed.y_cell = 5.0f;
    put("latlong file\n    1    1  1.0\n   49   30  -97  -15 Winnipeg\n0.2\n     2.5\n");
    read();
    EXPECT_EQ(g().station_north[1], 2970);
    EXPECT_EQ(g().station_east[1], -5835);
    EXPECT_EQ(g().station_name[1], "Winnipeg");
    EXPECT_FLOAT_EQ(g().station_x[1], (-5835.0f + 5900.0f + 2.5f) / 5.0f);
    EXPECT_TRUE(console_has(" looking for lat-long coordinates"));
    EXPECT_FLOAT_EQ(g().precip(1, 1), 2.5f);

    out.str("");
    put("latlong file\n    2    1  1.0\n 2970-5835 First\n 2980-5840 Second\n0.2 0.3\n     1.0     2.0\n");
    read();
    EXPECT_EQ(g().station_north[1], 2970);
    EXPECT_EQ(g().station_east[2], -5840);
    EXPECT_EQ(g().station_name[2], "Second");
    EXPECT_TRUE(console_has("      2970-5835 First       "));
    EXPECT_FLOAT_EQ(g().precip(2, 1), 2.0f);
}

TEST_F(Rdrag, OldLayoutValuesContinueAfter1200OnAFollowingLine) {
    const int n = 1201;
    std::string t = "many\n " + std::to_string(n) + "    2  1.0\n";
    for (int k = 1; k <= n; ++k) {
        std::string l;
        put_i(l, 100 + k, 5);
        put_i(l, 500 + k, 5);
        t += l + " S" + std::to_string(k) + "\n";
    }
    t += "1*0.5\n";  // soil moisture: one value, the rest continue on the next line
    for (int k = 2; k <= n; ++k) t += "0.5 ";
    t += "\n";
    for (int h = 1; h <= 2; ++h) {
        std::string l;
        for (int k = 1; k <= n; ++k) {
            put_f(l, h * 1000 + (k % 1000) * 0.1, 8, 1);
            if (k == 1200) { t += l + "\n"; l.clear(); }
        }
        t += l + "\n";
    }
    put(t);
    read();
    EXPECT_EQ(nstations, n);
    EXPECT_FLOAT_EQ(g().precip(1200, 1), 1020.0f);
    EXPECT_FLOAT_EQ(g().precip(1201, 1), 1020.1f);
    EXPECT_FLOAT_EQ(g().precip(1, 2), 2000.1f);
    EXPECT_FLOAT_EQ(g().precip(1201, 2), 2020.1f);
}

TEST_F(Rdrag, UnreadableValueLeavesTheStepPartlyFilled) {
    put("x\n    2    2  1.0\n    0    0 A\n    0    0 B\n0 0\n     1.0    abc\n     3.0     4.0\n");
    read();
    EXPECT_FLOAT_EQ(g().precip(1, 1), 1.0f);
    EXPECT_FLOAT_EQ(g().precip(2, 1), -1.0f);  // as it was: fresh storage holds no record
    EXPECT_FLOAT_EQ(g().precip(2, 2), 4.0f);
}

TEST_F(Rdrag, MissingFileStops) {
    rs->file_name(5) = "raing\\19990101.rag";
    EXPECT_EQ(stop_of([&] { read(); }), "program aborted in rdrag @ 57");
    EXPECT_EQ(console(), (std::vector<std::string>{"", "Fatal error", "file raing\\19990101.rag not found",
                                                   "file name should be something like: raing\\yyyymmdd.rag", "",
                                                   "This program requires a rain gauge data file (.rag)",
                                                   "If you do not have gauge data, please create a dummy",
                                                   "with all -1 for data for at least one station",
                                                   "and make reference to it in the event.evt file", ""}));
}

TEST_F(Rdrag, LaterLegacyFileWithMoreStationsGrowsTheArrays) {
    put("x\n    1    1  1.0\n    0    0 A\n0\n     1.0\n");
    read();
    EXPECT_EQ(g().alloc_stations, 1);
    put("x\n    3    5  1.0\n    0    0 A\n    0    0 B\n    0    0 C\n0 0 0\n"
        "     1.0     2.0     3.0\n     1.0     2.0     3.0\n     1.0     2.0     3.0\n"
        "     1.0     2.0     3.0\n     1.0     2.0     7.0\n");
    read();
    EXPECT_EQ(g().alloc_stations, 3);
    EXPECT_EQ(g().alloc_hours, 5);
    EXPECT_EQ(g().station_name[3], "C");
    EXPECT_FLOAT_EQ(g().precip(3, 5), 7.0f);
}

TEST_F(Rdrag, StationListHoldsStationsWithData) {
    put("x\n    3    1  1.0\n 4805  510 GaugeA\n 4800  500 GaugeB\n 4801  501 GaugeC\n0 0 0\n"
        "     1.0     2.0     3.0\n");
    read();
    write_station_list(*rs, std::vector<char>{0, 1, 0, 1});
    const auto l = lines_of(read_file(dir / "precip_sta.xyz"));
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0], (ListLine() << 10.5f << 5.5f << 1 << "GaugeA      ").str());
    EXPECT_EQ(l[1], (ListLine() << 1.5f << 1.5f << 3 << "GaugeC      ").str());

    rs->narr_input = true;
    write_station_list(*rs, std::vector<char>{0, 0, 1});
    const auto n = lines_of(read_file(dir / "raing" / "stationsprecip_sta.xyz"));
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0], (ListLine() << 0.5f << 0.5f << 2 << "GaugeB      ").str());
}

}  // namespace
}  // namespace nimbex
