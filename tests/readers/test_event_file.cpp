#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "ensim/event_key.h"
#include "support/files.h"
#include "platform/fatal.h"
#include "readers/event_file.h"

namespace nimbex {
namespace {

namespace fs = std::filesystem;

const char* const first_event_text =
    "#\n"
    ":fileType                     .evt\n"
    ":fileVersionNo                9.5\n"
    "#\n"
    ":year                         2004\n"
    ":month                        03\n"
    ":day                          01\n"
    ":hour                         0\n"
    "#\n"
    ":snwflg                       n\n"
    ":sedflg                       n\n"
    ":vapflg                       n\n"
    ":smrflg                       n\n"
    ":resinflg                     n\n"
    ":tbcflg                       n\n"
    ":resumflg                     n\n"
    ":contflg                      n\n"
    ":routeflg                     n\n"
    ":crseflg                      n\n"
    ":ensimflg                     y\n"
    ":picflg                       n\n"
    ":wetflg                       n\n"
    ":modelflg                     n\n"
    ":shdflg                       n\n"
    ":trcflg                       n\n"
    ":frcflg                       n\n"
    ":initflg                      n\n"
    ":grdflg                       n\n"
    ":ntrlflg                      n\n"
    ":nudgeflg                     n\n"
    ":resetflg                     n\n"
    ":hdrflg                       n\n"
    ":divertflg                    n\n"
    ":pafflg                       n\n"
    "#\n"
    ":intSoilMoisture              0.25\n"
    ":rainConvFactor               2.5\n"
    ":eventPrecipScaleFactor       1.5\n"
    ":precipScaleFactor            0.0\n"
    ":eventSnowScaleFactor         1.0\n"
    ":snowScaleFactor              0.0\n"
    ":eventTempScaleFactor         0.0\n"
    ":tempScaleFactor              0.005\n"
    ":disaggregate                 3.0\n"
    "#\n"
    ":hoursRainData                744.9\n"
    ":hoursFlowData                 24\n"
    "#\n"
    ":basinFileName                basin\\bsnm_shd.r2c\n"
    ":parFileName                  basin/bsnm_par.csv\n"
    ":pointDataLocations           basin\\bsnm.pdl\n"
    ":pointPrecip                  raing\\20040301_rag.tb0\n"
    ":griddedRainFile              radcl/20040301_met.r2c\n"
    ":griddedWind                  whatever\n"
    "#\n"
    ":noEventsToFollow             2\n"
    "#\n"
    "event\\20040401.evt\n"
    "event\\20040501_thirty_char.evt\n";

class ReadEvtTest : public ::testing::Test {
protected:
    std::ostringstream out;
    std::istringstream in;  // closed input: pauses go on at once
    Console con{out, in};
    RunState rs{con};
    fs::path dir;
    float conv = -1.0f, scale = -1.0f, soil_moisture = -1.0f;
    int hours_rain = -1, hours_flow = -1;

    void SetUp() override {
        dir = testutil::scratch_dir("evt");
        ASSERT_EQ(rs.files.open(51, (dir / "info.txt").string(), OpenStatus::unknown), 0);
    }

    // Writes `text` as an event file and reads it as event `number`.
    void run(const std::string& text, int number = 1, const std::string& file = "") {
        const std::string name = file.empty() ? "event" + std::to_string(number) + ".evt" : file;
        testutil::write_file(dir / name, text);
        rs.event_number = number;
        rs.file_name(99) = (dir / name).string();
        const EventRead r = read_evt(rs);
        conv = r.rain_conversion;
        scale = r.precip_scale;
        soil_moisture = r.soil_moisture;
        hours_rain = r.hours_rain;
        hours_flow = r.hours_flow;
    }

    // The stop message of a read that must stop.
    std::string stop_of(const std::string& text, int number = 1) {
        try {
            run(text, number);
        } catch (const FatalStop& e) {
            return e.what();
        }
        return "<no stop>";
    }

    std::vector<std::string> info_lines() {
        rs.files[51].flush();
        return testutil::lines_of(testutil::read_file(dir / "info.txt"));
    }
    std::string evt_name(int number) const { return (dir / ("event" + std::to_string(number) + ".evt")).string(); }
};

TEST_F(ReadEvtTest, RealisticFirstEvent) {
    run(first_event_text);

    EXPECT_FLOAT_EQ(conv, 2.5f);
    EXPECT_FLOAT_EQ(scale, 1.5f);
    EXPECT_FLOAT_EQ(soil_moisture, 0.25f);
    EXPECT_EQ(hours_rain, 744);
    EXPECT_EQ(hours_flow, 24);

    const EventState& ev = rs.evt;
    EXPECT_EQ(ev.year, 2004);
    EXPECT_EQ(ev.month, 3);
    EXPECT_EQ(ev.day, 1);
    EXPECT_EQ(ev.hour, 0);
    EXPECT_EQ(ev.day_of_year, 61);
    EXPECT_EQ(ev.date_text.str(), "2004/ 3/ 1");
    EXPECT_EQ(ev.year1, 2004);
    EXPECT_FLOAT_EQ(ev.event.disaggregate, 3.0f);
    EXPECT_FLOAT_EQ(ev.temp_scale, 0.0f);  // 0.005 is taken as 0
    EXPECT_EQ(ev.sw.ensimflg, 'y');
    EXPECT_EQ(ev.sw.fliflg, 'n');

    EXPECT_EQ(rs.file_name(1), "basin\\bsnm_shd.r2c");
    EXPECT_EQ(rs.file_name(2), "bsnm_par.csv");
    EXPECT_EQ(rs.file_name(3), "basin\\bsnm.pdl");
    EXPECT_EQ(rs.file_name(4), "dummy");
    EXPECT_EQ(rs.file_name(5), "raing\\20040301_rag.tb0");
    EXPECT_EQ(rs.file_name(10), "radcl");  // other names are cut at the first slash
    EXPECT_EQ(rs.file_name(22), "dummy");   // griddedwind stores nothing
    EXPECT_EQ(ev.par_file_name, "bsnm_par.csv");
    EXPECT_EQ(ev.pdl_file_name, "basin\\bsnm.pdl");

    EXPECT_EQ(rs.event_count, 3);
    ASSERT_EQ(ev.event_fln.size(), 4u);
    EXPECT_EQ(ev.event_fln[2], "event\\20040401.evt");
    EXPECT_EQ(ev.event_fln[3], "event\\20040501_thirty_char.evt");  // 30 characters

    EXPECT_EQ(out.str(), "2004/ 3/ 1\n");
    EXPECT_FALSE(rs.files.is_open(99));

    const std::vector<std::string> info = info_lines();
    ASSERT_GE(info.size(), 10u);
    // The chain names come first, twice each.
    EXPECT_EQ(info[0], "event\\20040401.evt            ");
    EXPECT_EQ(info[1], info[0]);
    EXPECT_EQ(info[3], "event\\20040501_thirty_char.evt");
    EXPECT_EQ(info[4], std::string(44, '~'));
    EXPECT_EQ(info[5], "data as read from the event file:");
    EXPECT_EQ(info[6], "        2004");
    EXPECT_EQ(info[11], "   2.50000000    ");
    const std::vector<std::string> want_tail = {
        ":nudgeflg                     n",
        ":divertflg                    n",
        ":pafflg                       n",
        "#",
        ":intSoilMoisture                0.250000000    ",
        ":rainConvFactor                  2.50000000    ",
        ":eventPrecipScaleFactor          1.50000000    ",
        ":precipScaleFactor               0.00000000    ",
        ":eventSnowScaleFactor            1.00000000    ",
        ":snowScaleFactor                 0.00000000    ",
        ":eventTempScaleFactor            0.00000000    ",
        ":tempScaleFactor                 0.00000000    ",
        "#",
        ":hoursRainData                         744",
        ":hoursFlowData                          24",
        ":deltat_report                           1",
        "#",
    };
    ASSERT_GE(info.size(), want_tail.size());
    EXPECT_EQ(std::vector<std::string>(info.end() - static_cast<long>(want_tail.size()), info.end()), want_tail);

    auto has = [&](const std::string& l) { return std::find(info.begin(), info.end(), l) != info.end(); };
    EXPECT_TRUE(has("flags as read from the event file:"));
    EXPECT_TRUE(has("event%snwflg   n"));
    EXPECT_TRUE(has("event%divertflgn"));
    EXPECT_TRUE(has(" Input files from event.evt"));
    EXPECT_TRUE(has("           5 raing\\20040301_rag.tb0" + std::string(60 - 22, ' ')));
    EXPECT_TRUE(has(":esimflg                      n"));
    EXPECT_TRUE(has(":esumflg                      n"));
}

TEST_F(ReadEvtTest, QuietWhenIoptIsZero) {
    rs.iopt = 0;
    run(":year 2004\n:month 3\n:day 1\n:modelflg n\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(info_lines(), std::vector<std::string>{" Input files from event.evt"});
}

TEST_F(ReadEvtTest, ChainListTooShort) {
    EXPECT_EQ(stop_of(":modelflg n\n:noeventstofollow 2\n\n\n#\nevent/a.evt\n"), "Program abortedin rdevt @ 460");
    EXPECT_EQ(out.str(),
              "Error reading file no            3  in rdevt\n"
              "possible cause: number of files listed \n"
              "in the event file is shorter\n"
              "than the specified            2\n"
              "\n");
}

TEST_F(ReadEvtTest, ChainSeparatorAndConsoleAtIopt2) {
    rs.iopt = 2;
    // Empty lines before the separator are skipped; the separator itself is
    // discarded even when it looks like a name.
    run(":modelflg n\n:noeventstofollow 1\n\n  \nnot-a-name\nevent/b.evt\n:year 2005\n");
    EXPECT_EQ(rs.event_count, 2);
    EXPECT_EQ(rs.evt.event_fln[2], "event/b.evt");
    EXPECT_EQ(rs.evt.year, 2005);  // keyword lines after the list are still read
    EXPECT_EQ(out.str(), "          2 event/b.evt                   \n2005/ 0/ 0\n");
}

TEST_F(ReadEvtTest, ChainOnlyOnFirstEventAndEndRightAfterKeyword) {
    run(":modelflg n\n:noeventstofollow 3\n");  // nothing left to discard
    EXPECT_EQ(rs.event_count, 1);
    run(":noeventstofollow 5\n#\nx.evt\n", 2);
    EXPECT_EQ(rs.event_count, 1);
    EXPECT_EQ(rs.evt.event.noeventstofollow, 5);
    EXPECT_TRUE(rs.evt.event_fln.empty());
}

TEST_F(ReadEvtTest, UnknownKeywordAborts) {
    EXPECT_EQ(stop_of(":modelflg n\n:initSoilMoisture 0.3\n"), "Program aborted in EF_module @ 2763");
    EXPECT_EQ(out.str(),
              "\n:initsoilmoisture\nThis key word is not recognized\nPlease update this program\n"
              "to the latest version\n\nIf this exec is an older version & you would\n"
              "like to use it on a newer event file that has\nkeywords that have been added since this exec\n"
              "was built, please edit the event files to\ndelete these unrecognized lines\n"
              "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n\n");
    out.str("");
    EXPECT_EQ(stop_of(":eventscalesnowfactor 1.0\n"), "Program aborted in EF_module @ 2763");
}

TEST_F(ReadEvtTest, EmptyValues) {
    run(":modelflg n\n:rainconvfactor 2.0\n:snwflg y\n");
    // Most keys with an empty value leave the field as it was.
    run(":rainconvfactor\n:snwflg   \n:parfilename\n", 2);
    EXPECT_FLOAT_EQ(conv, 2.0f);
    EXPECT_EQ(rs.evt.event.snwflg, 'y');
    EXPECT_EQ(rs.file_name(2), "dummy");

    for (const char* key : {":intsoilmoisture", ":eventSnowScaleFactor", ":kenueflg", ":climatenormalsdiff",
                            ":griddeddailydifference"}) {
        out.str("");
        const std::string line = std::string("\t") + key + "  \t";
        EXPECT_EQ(stop_of(line + "\n", 2), " Stopped in read_evt") << key;
        EXPECT_EQ(out.str(), "ERROR parsing " + evt_name(2) + "\n   in line: " + key + "\n") << key;
        // A quoted empty word is no value either.
        EXPECT_EQ(stop_of(std::string(key) + " \"\"\n", 2), " Stopped in read_evt") << key;
    }
}

TEST_F(ReadEvtTest, ValuesThatAreNotFiniteOrTooLargeStopBeforeTheEcho) {
    for (const char* line : {":hoursflowdata nan", ":eventtempscalefactor NAN", ":tempscalefactor -inf",
                             ":rainconvfactor 1e30"}) {
        rs.files.close(51, false);
        ASSERT_EQ(rs.files.open(51, (dir / "info.txt").string(), OpenStatus::unknown), 0);
        rs.evt = EventState();
        const std::string stop = stop_of(std::string(":modelflg n\n") + line + "\n");
        const std::string key = std::string(line).substr(0, std::string(line).find(' '));
        EXPECT_EQ(stop.rfind("Program aborted in read_evt: " + key + " ", 0), 0u) << stop;
        EXPECT_NE(stop.find(" in " + evt_name(1)), std::string::npos) << stop;
        for (const std::string& l : info_lines()) EXPECT_EQ(l.find("NaN"), std::string::npos) << l;
    }
}

TEST_F(ReadEvtTest, NamesLongerThanTheirFieldStop) {
    const std::string name = "basin\\" + std::string(63, 'p') + ".csv";  // 73 characters
    EXPECT_EQ(stop_of(":parfilename " + name + "\n"),
              "Program aborted in read_evt: the name of :parfilename in " + evt_name(1) +
                  " is longer than 60 characters: " + name);
    EXPECT_EQ(stop_of(":modelflg n\n:noeventstofollow 1\n#\nevent\\" + std::string(21, 'e') + ".evt\n"),
              "Program aborted in read_evt: event file name no 2 after :noeventstofollow in " + evt_name(1) +
                  " is longer than 30 characters: event\\" + std::string(21, 'e') + ".evt");
}

TEST_F(ReadEvtTest, ImpossibleStartsStop) {
    auto start = [&](const std::string& date) {
        run(":modelflg n\n" + date);
        try {
            check_event_date(rs);
        } catch (const FatalStop& e) {
            return std::string(e.what());
        }
        return std::string("<no stop>");
    };
    // Every year divisible by 4 has 29 February, as the frames are dated.
    for (const char* good : {":year 2016\n:month 2\n:day 29\n:hour 23\n", ":year 1900\n:month 2\n:day 29\n",
                             ":year 1\n:month 1\n:day 1\n", ":year 9000\n:month 12\n:day 31\n"})
        EXPECT_EQ(start(good), "<no stop>") << good;
    const std::pair<const char*, const char*> bad[] = {
        {":year 2016\n:month 13\n:day 5\n", ":month 13"}, {":year 2016\n:month 0\n:day 5\n", ":month 0"},
        {":year 2016\n:month 6\n:day 0\n", ":day 0"},     {":year 2016\n:month 6\n:day 40\n", ":day 40"},
        {":year 2016\n:month 6\n:day -2\n", ":day -2"},   {":year 2016\n:month 6\n:day 31\n", ":day 31"},
        {":year 2015\n:month 2\n:day 29\n", ":day 29"},   {":month 6\n:day 5\n", ":year 0"},
        {":year 99999\n:month 6\n:day 5\n", ":year 99999"},
        {":year 2016\n:month 6\n:day 5\n:hour 24\n", ":hour 24"},
        {":year 2016\n:month 6\n:day 5\n:hour -1\n", ":hour -1"},
    };
    for (const auto& [date, what] : bad)
        EXPECT_EQ(start(date), "Program aborted in read_evt: impossible start " + std::string(what) + " in " +
                                   evt_name(1))
            << date;
}

TEST_F(ReadEvtTest, AnUnsetSwitchIsEchoedAsABlank) {
    // No file of the chain sets resumflg: it is echoed as a blank, never as a NUL byte.
    run(":modelflg n\n:year 2004\n");
    run(":year 2004\n", 2);
    EXPECT_NE(out.str().find("resumflg = \n"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find('\0'), std::string::npos);
    bool echoed = false;
    for (const std::string& l : info_lines()) {
        EXPECT_EQ(l.find('\0'), std::string::npos) << l;
        echoed = echoed || l == "event%resumflg  ";
    }
    EXPECT_TRUE(echoed);
}

TEST_F(ReadEvtTest, BadNumberStops) {
    EXPECT_EQ(stop_of(":year  20x4\n"), "Bad value '20x4' in line: :year  20x4");
}

TEST_F(ReadEvtTest, FlagCaseAndAllEventFlags) {
    run(":SNWFLG Y\n:sedflg Y\n:ensimflg a\n:smrflg A\n:grdflg n\n:vapflg N\n:resumflg S\n"
        ":modelflg R\n:lakeflg y\n:tbcflg \" \"\n");
    const EventState& ev = rs.evt;
    EXPECT_EQ(ev.sw.snwflg, 'y');
    EXPECT_EQ(ev.sw.sedflg, 'Y');     // kept as written on the first event
    EXPECT_EQ(ev.sw.modelflg, 'R');
    EXPECT_EQ(ev.modelflg1, 'r');
    EXPECT_EQ(ev.sw.ensimflg, 'y');
    EXPECT_EQ(ev.sw.smrflg, 'y');
    EXPECT_EQ(ev.sw.grdflg, 'n');
    EXPECT_EQ(ev.sw.vapflg, 'n');
    EXPECT_EQ(ev.sw.resumflg, 's');
    EXPECT_EQ(ev.sw.lakeflg, 'y');

    run(":snwflg n\n:sedflg n\n:ensimflg n\n:smrflg n\n:modelflg n\n:resumflg n\n", 2);
    EXPECT_EQ(ev.sw.snwflg, 'y');     // first event's copy wins
    EXPECT_EQ(ev.sw.sedflg, 'y');     // the copy comes back converted
    EXPECT_EQ(ev.sw.modelflg, 'r');
    EXPECT_EQ(ev.sw.ensimflg, 'y');
    EXPECT_EQ(ev.sw.smrflg, 'y');
    EXPECT_EQ(ev.sw.vapflg, 'n');     // not given again: keeps the previous letter
    EXPECT_EQ(ev.sw.lakeflg, 'y');    // first event's copy
    EXPECT_EQ(ev.event.lakeflg, 'n'); // but the record was reset
    EXPECT_EQ(ev.sw.resumflg, 'n');
}

TEST_F(ReadEvtTest, KenueSetsEnsim) {
    run(":modelflg n\n:kenueflg y\n");
    EXPECT_EQ(rs.evt.sw.kenueflg, 'y');
    EXPECT_EQ(rs.evt.sw.ensimflg, 'y');
}

TEST_F(ReadEvtTest, RouteAndModelFlags) {
    run(":routeflg y\n:modelflg n\n");
    out.str("");
    EXPECT_EQ(stop_of(":routeflg y\n:modelflg r\n"), " Program aborted in rdevt @ 198");
    EXPECT_EQ(out.str(),
              "   0/ 0/ 0\n"
              " The route flag is flag no.  9 in column 49\n The model flag is flag no. 14 in column 54\n"
              " You can not have the routeflg = \"y\" AND\n the modelflg = r, i or l \n\n"
              " Please pick one or the other as \"n\"\n   and try again. Sorry.\n\n");
    // Compared as written: "Y" is not "y", and "N" is not "n".
    run(":routeflg Y\n:modelflg r\n");
    EXPECT_EQ(stop_of(":routeflg y\n:modelflg N\n"), " Program aborted in rdevt @ 198");
}

TEST_F(ReadEvtTest, InitAndModelFlags) {
    run(":modelflg n\n:initflg y\n");
    out.str("");
    EXPECT_EQ(stop_of(":modelflg i\n:initflg y\n"), "Program aborted in rdevt @ 257");
    EXPECT_EQ(out.str(),
              "   0/ 0/ 0\n"
              "In the event file: initflg can not be `y`\nif the modelflg = not `n`\n"
              "i.e. if the modelflg = `i`, `r` or `l`\n\n");
    run(":modelflg i\n:initflg Y\n");  // only a lower-case y is refused
}

TEST_F(ReadEvtTest, DayOfYear) {
    rs.iopt = 0;
    run(":modelflg n\n:year 2004\n:month 3\n:day 1\n");
    EXPECT_EQ(rs.evt.day_of_year, 61);
    run(":year 1900\n:month 3\n:day 1\n", 2);
    EXPECT_EQ(rs.evt.day_of_year, 61);
    run(":year 2003\n:month 3\n:day 1\n", 2);
    EXPECT_EQ(rs.evt.day_of_year, 60);
    run(":year 2004\n:month 2\n:day 29\n", 2);
    EXPECT_EQ(rs.evt.day_of_year, 60);
    run(":year 2003\n:month 12\n:day 31\n", 2);
    EXPECT_EQ(rs.evt.day_of_year, 365);
    run(":month 12\n:day 31\n", 2);  // no year: 0 for this event
    EXPECT_EQ(rs.evt.year, 0);
    EXPECT_EQ(rs.evt.event.year, 0);
    run(":year 2003\n:day 31\n", 2);  // no month: no day of the year
    EXPECT_EQ(rs.evt.day_of_year, 0);
    EXPECT_EQ(rs.evt.date_text.str(), "2003/ 0/31");
}

TEST_F(ReadEvtTest, ResumeWarningOnLaterEvent) {
    run(":modelflg n\n:resumflg y\n");
    EXPECT_EQ(out.str().find("WARNING:"), std::string::npos);
    rs.iopt = 0;
    run(":resumflg Y\n", 2);
    const std::string want =
        "WARNING:\nresumflg =y\nThis will reinitialize state variables instead of \n"
        "carrying on with the model values\nNot a good idea if not intended\n\n"
        "Hit enter to continue & accept consequences\n";
    ASSERT_GE(out.str().size(), want.size());
    EXPECT_EQ(out.str().substr(out.str().size() - want.size()), want);
}

TEST_F(ReadEvtTest, Factors) {
    run(":modelflg n\n:precipscalefactor 2.0\n:eventprecipscalefactor 1.5\n:snowscalefactor -1\n"
        ":eventsnowscalefactor 0.5\n:tempscalefactor -0.5\n");
    EXPECT_FLOAT_EQ(scale, 2.0f);
    EXPECT_FLOAT_EQ(rs.evt.snow_scale, 0.5f);
    EXPECT_FLOAT_EQ(rs.evt.temp_scale, -0.5f);
    run(":precipscalefactor 0\n:eventprecipscalefactor 0.7\n:tempscalefactor 3\n", 2);
    EXPECT_FLOAT_EQ(scale, 2.0f);  // the first event's factor wins
    EXPECT_FLOAT_EQ(rs.evt.temp_scale, -0.5f);

    RunState other{con};
    other.files.open(51, (dir / "info2.txt").string(), OpenStatus::unknown);
    testutil::write_file(dir / "neg.evt", ":modelflg n\n:precipscalefactor -3\n:eventprecipscalefactor 0.7\n");
    other.file_name(99) = (dir / "neg.evt").string();
    EXPECT_FLOAT_EQ(read_evt(other).precip_scale, 0.7f);  // a negative factor counts as 0
}

TEST_F(ReadEvtTest, DailyDifferences) {
    // A name relative to the working directory (file names hold 60
    // characters, whatever the temporary folder's path), with a backslash
    // between folders: a forward slash would cut it.
    const fs::path here = fs::current_path();
    struct BackHome {
        fs::path p;
        ~BackHome() { fs::current_path(p); }
    } back{here};
    fs::current_path(testutil::scratch_dir("dd"));
    fs::create_directory("basin");
    testutil::write_file("basin/nx_dd.r2c", "x\n");
    run(":modelflg n\n:resumflg n\n:climatenormalsdiff basin\\nx_dd.r2c\n");
    EXPECT_TRUE(rs.evt.daily_differences);
    out.str("");
    EXPECT_EQ(stop_of(":year 2004\n", 2), "Program aborted in read_evt @ L727");
    EXPECT_EQ(out.str(),
              "2004/ 0/ 0\n\ndaily differences found for previous event(s) but\n"
              "no this one. Not a good idea so program terminated\n");
}

TEST_F(ReadEvtTest, MissingFile) {
    rs.file_name(99) = (dir / "nothere.evt").string();
    try {
        read_evt(rs);
        FAIL() << "no stop";
    } catch (const FatalStop& e) {
        EXPECT_STREQ(e.what(), "Program aborted in read_evt @ 159");
    }
    EXPECT_EQ(out.str(), "Attempting to open the file " + first_chars(rs.file_name(99).str(), 40) +
                             "\nbut it is not found (in this location)\n"
                             "in read_evt @ 188  unit=          99\n"
                             "Possibel cause: Not in proper working directory\n\n");
}

TEST(EventKey, StoresAndRefuses) {
    std::ostringstream out;
    std::istringstream in;
    Console con(out, in);
    EventRecord e;
    EXPECT_EQ(handle_event_key(con, e, ":hour", "6 extra"), 1);
    EXPECT_EQ(e.hour, 6);
    EXPECT_EQ(handle_event_key(con, e, ":pointwind", ""), -1);
    EXPECT_EQ(handle_event_key(con, e, ":pointwind", "x"), 1);
    EXPECT_EQ(handle_event_key(con, e, ":griddeddailydifference", "diff\\d.r2c"), 1);
    EXPECT_EQ(e.names[62], "diff\\d.r2c");
    EXPECT_EQ(handle_event_key(con, e, ":basinfilename", std::string(60, 'b')), 1);
    EXPECT_EQ(e.names[1].str(), std::string(60, 'b'));
    EXPECT_THROW(handle_event_key(con, e, ":basinfilename", std::string(61, 'b')), LongName);
    EXPECT_THROW(handle_event_key(con, e, ":nosuchkey", "1"), FatalStop);
}

}  // namespace
}  // namespace nimbex
