#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "readers/gauge_test_util.h"
#include "readers/gauge_table.h"

namespace nimbex {
namespace {

using testutil::write_file;

struct Table {
    std::vector<std::string> names{"Alpha", "Bravo", "C"};
    std::string deltat = ":DeltaT 1";
    std::string conversion = ":UnitConversion 1.0";
    std::string name = ":Name Gauges";
    std::string extra_block;  // lines added inside the column block
    bool elevation = true;
    std::vector<std::string> data;

    std::string text() const {
        std::string n, u, x, y, e;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const int k = static_cast<int>(i);
            n.append(" ").append(names[i]);
            u.append(" mm");
            x.append(" ").append(std::to_string(500000 + 1000 * k));
            y.append(" ").append(std::to_string(4800000 + 500 * k));
            e.append(" ").append(std::to_string(200 + 100 * k));
        }
        std::string t = "########################################\n"
                        ":FileType tb0  ASCII  EnSim 1.0\n"
                        "#\n"
                        ":Application   EnSimHydrologic\n" +
                        name + "\n:Projection UTM\n:Zone 17\n:Ellipsoid GRS80\n" + deltat + "\n" + conversion +
                        "\n#\n:ColumnMetaData\n   :ColumnUnits" + u + "\n   :ColumnType" + u + "\n   :ColumnName" + n +
                        "\n   :ColumnLocationX" + x + "\n   :ColumnLocationY" + y + "\n";
        if (elevation) t += "   :Elevation" + e + "\n";
        t += extra_block;
        t += ":EndColumnMetaData\n:endHeader\n";
        for (const auto& d : data) t += d + "\n";
        return t;
    }
};

class ReadRagEf : public testutil::GaugeRun {
protected:
    int nhours = -5, nstations = -5;
    float conv = -5.0f;
    std::optional<CellReach> reach;

    void put(const Table& t, const std::string& file = "20230701_rag.tb0") {
        std::filesystem::create_directories(dir / "raing");
        write_file(dir / "raing" / file, t.text());
        rs->file_name(5) = "raing\\" + file;  // backslashes are mapped
    }
    void read() {
        const GaugeTableRead r = read_rag_ef(*rs, 35, 5);
        nhours = r.counts.nhours;
        conv = r.counts.unit_conversion;
        nstations = r.counts.nstations;
        reach = r.forecast_reach;
    }
    GaugeSet& g() { return rs->gauges; }
};

TEST_F(ReadRagEf, HourlyTableFillsTheGaugeSetAndReports) {
    Table t;
    t.data = {"0.0 1.5 -1", " 2.0\t0.0 -1.0", "1.0 -1 -1", "0 0 -1", "", "# trailing comment", ""};
    put(t);
    read();
    EXPECT_EQ(nhours, 4);
    EXPECT_EQ(nstations, 3);
    EXPECT_EQ(conv, 1.0f);
    EXPECT_EQ(g().deltat, 1);
    EXPECT_EQ(g().nstations, 3);
    EXPECT_EQ(g().nhours, 4);
    EXPECT_EQ(g().source_name, "Gauges");
    EXPECT_EQ(g().station_name[1], "Alpha");
    EXPECT_EQ(g().station_x[2], 501000.0f);
    EXPECT_EQ(g().station_y[3], 4801000.0f);
    EXPECT_EQ(g().station_elevation[3], 400.0f);
    EXPECT_EQ(g().precip(2, 1), 1.5f);
    EXPECT_EQ(g().precip(1, 2), 2.0f);
    // One hour of all stations is contiguous.
    const float* h3 = g().hour_values(3);
    EXPECT_EQ(h3[0], 1.0f);
    EXPECT_EQ(h3[1], -1.0f);
    EXPECT_EQ(&g().precip(3, 3), h3 + 2);
    EXPECT_EQ(g().record_flag[1], 'a');
    EXPECT_EQ(g().record_flag[2], 'P');
    EXPECT_EQ(g().record_flag[3], 'N');
    EXPECT_EQ(g().event_total[1], 3.0f);
    EXPECT_EQ(g().event_total[2], 1.5f);
    EXPECT_EQ(g().event_total[3], -1.0f);
    EXPECT_EQ(g().record_count[2], 3);
    EXPECT_FALSE(rs->files.is_open(35));

    const std::vector<std::string> con_expected = {
        "# stations=           3",  "# hours of data=           4", "DeltaT=           1",
        "UnitConversion=   1.00000000    ", "", "no stations =           3"};
    EXPECT_EQ(console(), con_expected);

    const std::string title = "   ID Alpha     Bravo     C        ";
    EXPECT_EQ(report(50), (std::vector<std::string>{title, "p = partial  n = no data this event",
                                                    "Please see nimbex_recl.txt", "for the # entrees each event",
                                                    "    1      3.0a      1.5P     -1.0N"}));
    EXPECT_EQ(report(52), (std::vector<std::string>{title, "    1         4         3         0"}));
    EXPECT_EQ(report(53), (std::vector<std::string>{"   ID Alph Brav C   ", "    1    a    P    N"}));
    EXPECT_EQ(report(54), (std::vector<std::string>{title}));
    EXPECT_EQ(g().year_total[1], 3.0f);
    EXPECT_EQ(g().year_total[3], -1.0f);
    EXPECT_EQ(report(51), (std::vector<std::string>{"", " echo input data:", "     0.000     1.500    -1.000",
                                                    "     2.000     0.000    -1.000", "     1.000    -1.000    -1.000",
                                                    "     0.000     0.000    -1.000"}));
}

TEST_F(ReadRagEf, ConversionAppliesToMissingValuesToo) {
    Table t;
    t.names = {"In1", "In2"};
    t.conversion = ":UnitConversion 25.4";
    t.data = {"1.0 -1.0", "0.5 +2"};
    put(t);
    rs->iopt = 0;  // no echo
    read();
    EXPECT_FLOAT_EQ(conv, 25.4f);
    EXPECT_FLOAT_EQ(g().precip(1, 1), 25.4f);
    EXPECT_FLOAT_EQ(g().precip(2, 1), -25.4f);  // still no record
    EXPECT_FLOAT_EQ(g().precip(2, 2), 50.8f);
    EXPECT_EQ(g().record_flag[2], 'P');
    EXPECT_FLOAT_EQ(g().event_total[1], 38.1f);
    EXPECT_TRUE(report(51).empty());
}

TEST_F(ReadRagEf, SixHourlyStepsFillMultiplesOfDeltaT) {
    Table t;
    t.names = {"All", "Half", "None"};
    t.deltat = ":DeltaT 6";
    t.data = {"1 2 -1", "1 -1 -1", "1 3 -1", "1 -1 -1", "  ", "\t"};
    put(t);
    read();
    EXPECT_EQ(nhours, 24);
    EXPECT_EQ(g().deltat, 6);
    for (int h : {6, 12, 18, 24}) EXPECT_EQ(g().precip(1, h), 1.0f);
    EXPECT_EQ(g().precip(2, 18), 3.0f);
    EXPECT_EQ(g().precip(1, 5), -1.0f);  // hours between steps are left as no record
    EXPECT_EQ(g().record_flag[1], 'a');
    EXPECT_EQ(g().record_flag[2], 'P');
    EXPECT_EQ(g().record_flag[3], 'N');
    EXPECT_EQ(g().event_total[3], -1.0f);
    EXPECT_EQ(g().event_total[2], 5.0f);
    EXPECT_EQ(report(50).back(), "    1      4.0a      5.0P     -1.0N");
    EXPECT_EQ(report(52).back(), "    1         4         2         0");
}

TEST_F(ReadRagEf, ValuesInOtherFreeFormatSpellings) {
    Table t;
    t.names = {"A", "B", "C"};
    t.data = {"1.5d0 2,5 .25", "1E1 -0 7."};
    put(t);
    read();
    EXPECT_EQ(g().precip(1, 1), 1.5f);
    EXPECT_EQ(g().precip(2, 1), 2.0f);  // a comma separates in free format
    EXPECT_EQ(g().precip(3, 1), 5.0f);
    EXPECT_EQ(g().precip(1, 2), 10.0f);
    EXPECT_EQ(g().precip(3, 2), 7.0f);
}

TEST_F(ReadRagEf, ZeroOrMissingConversionStops) {
    Table t;
    t.conversion = "# no factor";
    t.data = {"1 2 3"};
    put(t);
    EXPECT_EQ(stop_of([&] { read(); }), "Program aborted in read_rag_ef @ 144");
    const auto c = console();
    ASSERT_GE(c.size(), 3u);
    EXPECT_EQ(c[c.size() - 3], "UnitConversion = 0.0");
    EXPECT_EQ(c[c.size() - 2], "No Good. Check rag.tb0 file for spelling or value");
    EXPECT_EQ(c.back(), "");
}

TEST_F(ReadRagEf, DeltaTMissingOrInsideTheBlockStopsBeforeDividing) {
    Table t;
    t.deltat = "#";
    t.extra_block = "   :DeltaT 1\n";  // only column keys count inside the block
    t.data = {"1 2 3"};
    put(t);
    EXPECT_EQ(stop_of([&] { read(); }), "Program aborted in read_rag_ef: DeltaT below 1");
    EXPECT_TRUE(console_has("ERROR: DeltaT =           0"));
    EXPECT_TRUE(console_has("in raing\\20230701_rag.tb0"));
}

TEST_F(ReadRagEf, ShortDataLineStopsWithTheColumnMessage) {
    Table t;
    t.data = {"1 2 3", "4 5 6", "7 8"};
    put(t);
    EXPECT_EQ(stop_of([&] { read(); }), "Program aborted in read_rag @ 276");
    const auto c = console();
    ASSERT_GE(c.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(c.end() - 4, c.end()),
              (std::vector<std::string>{"Error:", "No of columns of data            2",
                                        "not equal to the no columns in the header           3",
                                        "in data line            3"}));
}

TEST_F(ReadRagEf, UnreadableValueReportsTheLastHours) {
    Table t;
    t.names = {"A", "B"};
    t.data = {"1 2", "3 4", "5 x6"};
    put(t);
    EXPECT_EQ(stop_of([&] { read(); }), "Program aborted in read_rag_ef @ 368");
    const auto c = console();
    const std::vector<std::string> tail = {"In read_rag_ef",
                                           " NEW format precip file",
                                           "          ",
                                           " problems reading the precip at hour            3",
                                           " and column           3",
                                           "  ng=           2",
                                           "Weird hidden characters in the file will             do this",
                                           "last values read:",
                                           "     1.000     2.000",
                                           "     3.000     4.000",
                                           "     5.000    -1.000",
                                           ""};
    ASSERT_GE(c.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(c.end() - static_cast<long>(tail.size()), c.end()), tail);
}

TEST_F(ReadRagEf, FileAndHeaderFailures) {
    rs->file_name(5) = "raing\\missing_rag.tb0";
    EXPECT_EQ(stop_of([&] { read(); }), " Program STOPPED in read_rag_ef @65");
    EXPECT_EQ(console(), (std::vector<std::string>{"ERROR: the data file raing\\missing_rag.tb0", "is NOT found"}));

    out.str("");
    write_file(dir / "short.tb0", ":FileType tb0 ASCII\n:DeltaT 1\n# no end\n");
    rs->file_name(5) = "short.tb0";
    EXPECT_EQ(stop_of([&] { read(); }), " Stopped in read_rag_ef");
    EXPECT_TRUE(console_has("ERROR: Premature EndOfFile encountered"));

    out.str("");
    write_file(dir / "caps.tb0", ":FileType TB0 ASCII\n:EndHeader\n");
    rs->file_name(5) = "caps.tb0";
    EXPECT_EQ(stop_of([&] { read(); }), " Stopped in read_rag_ef");
    EXPECT_EQ(console(), (std::vector<std::string>{"ERROR in file: ", "Expected: TB0 Found: TB0",
                                                   "ERROR parsing caps.tb0", "   in line: :FileType TB0 ASCII"}));

    out.str("");
    Table t;
    t.extra_block = "   :ColumnName\n";
    put(t);
    EXPECT_EQ(stop_of([&] { read(); }), " Stopped in read_rag_ef");
}

TEST_F(ReadRagEf, StationsWithoutLocationsStop) {
    Table t;
    t.extra_block = "   :ColumnLocationX 1 2\n   :ColumnName a b c\n";
    t.data = {"1 2 3"};
    put(t);
    EXPECT_EQ(stop_of([&] { read(); }), "Program aborted in read_rag_ef: station locations missing");
}

TEST_F(ReadRagEf, ElevationsDefaultToMinus999) {
    Table t;
    t.elevation = false;
    t.data = {"1 2 3"};
    put(t);
    read();
    EXPECT_EQ(g().station_elevation[1], -999.0f);
    EXPECT_EQ(g().station_elevation[3], -999.0f);
}

TEST_F(ReadRagEf, ForecastNameAsksForAReachInCells) {
    Table t;
    t.data = {"1 2 3"};
    put(t);
    read();
    EXPECT_FALSE(reach);  // any other name asks for nothing
    out.str("");
    t.name = ":Name CMC_glb_forecast";
    put(t);
    read();
    ASSERT_TRUE(reach);
    EXPECT_EQ(reach->radius, 10.0f);
    EXPECT_EQ(reach->smoothing, 1.0f);
    // The reader leaves the run's reach to its caller.
    EXPECT_EQ(rs->radiusinflce, 1.0e6f);
    EXPECT_EQ(rs->smoothdist, 0.0f);
    const auto c = console();
    ASSERT_GE(c.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(c.begin(), c.begin() + 7),
              (std::vector<std::string>{"", "NEW <<<<<", "radius of influence set to    10.0000000    ",
                                        "for CMC_glb data", "This value is kept for the rest of this run",
                                        "as it is assumed this is a forecast", ""}));

    // The table name is not reset: a later table without ":Name" keeps it.
    out.str("");
    t.name = "#";
    put(t);
    rs->event_number = 2;
    read();
    EXPECT_EQ(g().source_name, "CMC_glb_forecast");
    EXPECT_EQ(console()[1], "NEW <<<<<");
}

TEST_F(ReadRagEf, MonthlyEventsWriteOneYearLineAfterTheTwelfth) {
    Table t;
    t.names = {"A", "B"};
    for (int e = 1; e <= 13; ++e) {
        t.data = {"1 -1", "2 -1"};
        put(t);
        rs->event_number = e;
        read();
    }
    const auto y = report(54);
    ASSERT_EQ(y.size(), 2u);  // title and year 1
    EXPECT_EQ(y[0], "   ID A         B        ");
    EXPECT_EQ(y[1], "    1      36.0     -12.0");
    EXPECT_EQ(g().year_total[1], 3.0f);  // event 13 starts the next year
    EXPECT_EQ(report(50).size(), 4u + 13u);
    EXPECT_EQ(report(53).back(), "   13    a    N");
}

TEST_F(ReadRagEf, ManyStationsAndAWholeYear) {
    Table t;
    t.names.clear();
    for (int i = 1; i <= 205; ++i) t.names.push_back(std::string("Sta").append(std::to_string(i)));
    std::string line;
    for (int h = 1; h <= 1000; ++h) {
        line.clear();
        for (int i = 1; i <= 205; ++i) line += (i == 1 && h > 300) ? " -1" : " 0.1";
        t.data.push_back(line);
    }
    put(t);
    rs->iopt = 0;
    read();
    EXPECT_EQ(nhours, 1000);
    EXPECT_EQ(report(50)[0].size(), 5u + 200u * 10u);
    EXPECT_EQ(report(50).back().size(), 5u + 200u * 10u);
    EXPECT_EQ(report(52).back().size(), 5u + 200u * 10u);
    EXPECT_EQ(report(53)[0].size(), 5u + 200u * 5u);
    EXPECT_EQ(report(53).back().size(), 5u + 200u * 5u);
    const auto y = report(54);
    ASSERT_EQ(y.size(), 2u);
    EXPECT_EQ(y[0], report(50)[0]);  // the title stops at the 200th station too
    EXPECT_EQ(y[0].substr(y[0].size() - 20), " Sta199    Sta200   ");
    EXPECT_EQ(y[1].size(), 5u + 205u * 10u);
    EXPECT_EQ(y[1].substr(0, 25), "    1      -1.0     100.0");  // 300 records < 360: no total
}

TEST_F(ReadRagEf, ArraysGrowForMoreStationsAndStayForFewer) {
    Table t;
    t.names = {"A", "B"};
    t.data = {"1 2", "3 4"};
    put(t);
    read();
    EXPECT_EQ(g().alloc_data_stations, 2);
    EXPECT_EQ(g().station_allocations, 1);

    t.names = {"A", "B", "C"};
    t.data = {"1 1 1", "1 1 1", "1 1 1"};
    put(t);
    rs->event_number = 2;
    read();
    EXPECT_EQ(g().alloc_data_stations, 3);
    EXPECT_EQ(g().alloc_hours, 3);
    EXPECT_EQ(g().station_allocations, 2);
    EXPECT_EQ(g().year_total[1], 7.0f);  // 4 + 3: kept across the growth
    EXPECT_EQ(g().year_total[3], 3.0f);
    EXPECT_EQ(g().station_name[3], "C");

    t.names = {"A"};
    t.data = {"5"};
    put(t);
    rs->event_number = 3;
    read();
    EXPECT_EQ(nstations, 1);
    EXPECT_EQ(g().alloc_data_stations, 3);
    EXPECT_EQ(g().station_allocations, 2);
    EXPECT_EQ(g().precip(1, 1), 5.0f);
    EXPECT_EQ(g().precip(2, 3), 1.0f);  // the earlier event's values stay beyond the file
    EXPECT_EQ(report(50).back(), "    3      5.0a");
}

TEST_F(ReadRagEf, YearOfHourlyValuesReadsQuickly) {
    const int ns = 300, nl = 8760;
    std::string text = ":FileType tb0 ASCII EnSim 1.0\n:DeltaT 1\n:UnitConversion 1.0\n:ColumnMetaData\n:ColumnName";
    for (int i = 1; i <= ns; ++i) text.append(" S").append(std::to_string(i));
    text += "\n:ColumnLocationX";
    for (int i = 1; i <= ns; ++i) text.append(" ").append(std::to_string(500000 + i));
    text += "\n:ColumnLocationY";
    for (int i = 1; i <= ns; ++i) text += " 4800000";
    text += "\n:EndColumnMetaData\n:EndHeader\n";
    char buf[32];
    for (int h = 1; h <= nl; ++h) {
        for (int i = 1; i <= ns; ++i) {
            std::snprintf(buf, sizeof buf, "%s%.2f", i > 1 ? " " : "", ((h * 7 + i * 13) % 50) * 0.1);
            text += buf;
        }
        text += '\n';
    }
    write_file(dir / "year.tb0", text);
    rs->file_name(5) = "year.tb0";
    const auto t0 = std::chrono::steady_clock::now();
    read();
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(nhours, nl);
    EXPECT_FLOAT_EQ(g().precip(ns, nl), ((nl * 7 + ns * 13) % 50) * 0.1f);
    // Generous for sanitizer builds; an optimised build reads it in a fraction of a second.
    EXPECT_LT(secs, 20.0);
    std::printf("year of hourly data, %d stations, with echo: %.3f s\n", ns, secs);
}

TEST_F(ReadRagEf, ExampleBasinTables) {
    const std::filesystem::path src = std::filesystem::path(NIMBEX_SOURCE_DIR) / "examples" / "raing";
    const struct { const char* file; int hours; int deltat; } months[] = {
        {"20230701_rag.tb0", 744, 1}, {"20230801_rag.tb0", 744, 1}, {"20230901_rag.tb0", 720, 6}};
    int e = 0;
    for (const auto& m : months) {
        rs->file_name(5) = (src / m.file).string();
        rs->event_number = ++e;
        read();
        EXPECT_EQ(nstations, 12) << m.file;
        EXPECT_EQ(nhours, m.hours) << m.file;
        EXPECT_EQ(g().deltat, m.deltat) << m.file;
        for (int k = 1; k <= 12; ++k) {
            EXPECT_GE(g().station_x[k], 500000.0f);
            EXPECT_LE(g().station_x[k], 520000.0f);
            EXPECT_GE(g().station_y[k], 4800000.0f);
            EXPECT_LE(g().station_y[k], 4815000.0f);
            EXPECT_GE(g().station_elevation[k], 200.0f);
            EXPECT_LE(g().station_elevation[k], 900.0f);
        }
    }
    EXPECT_EQ(g().station_name[1], "Alder");
    EXPECT_EQ(report(50).size(), 4u + 3u);
}

}  // namespace
}  // namespace nimbex
