// The parameter file reader: sections, keyword matching, value lists, counts,
// comments and the read errors of a section.
#include "readers/par_test_util.h"

#include "platform/text.h"

using namespace nimbex;
using par_test::add_after;
using par_test::ParRun;
using par_test::set_line;

TEST_F(ParRun, DemoFileReadsEndToEndWithoutPauses) {
    ASSERT_EQ(run(), "");
    EXPECT_EQ(console(),
              "no of lines read in the par file =         243\n"
              "Closed unit=          32\n" +
                  fit("bsnm_par.csv", 50) + "read\n");
    const ParState& p = par;
    EXPECT_EQ(rs.iopt, 1);
    EXPECT_FLOAT_EQ(rs.rlapse, 0.0005f);
    EXPECT_FLOAT_EQ(rs.radiusinflce, 25.0f);
    EXPECT_FLOAT_EQ(rs.smoothdist, 0.0f);
    EXPECT_FLOAT_EQ(p.a12, 1.0f);
    EXPECT_FLOAT_EQ(p.a5, 0.985f);
    EXPECT_FLOAT_EQ(p.chnl[5], 1.0f);
    EXPECT_EQ(p.ncomments, 4);
    EXPECT_EQ(p.comments[0], fit("# Demo basin parameter file", 72));
    EXPECT_EQ(p.sec_start[3], 64);
    EXPECT_EQ(p.sec_end[13], 243);
    EXPECT_EQ(p.rivtype[1], "main");
    EXPECT_EQ(p.class_name[2].str(), "water     ");
    EXPECT_EQ(p.class_name[3], "impervious");
    EXPECT_FLOAT_EQ(p.ak[2], -1.0f);
    EXPECT_FLOAT_EQ(p.ak2fs[3], 0.0001f);
    EXPECT_EQ(p.nsdc[2], 1);
    EXPECT_FLOAT_EQ(p.sdcd[1][1], 100.0f);
    EXPECT_FLOAT_EQ(p.sdcd[1][0], 0.0f);
    EXPECT_FLOAT_EQ(p.evap[1][7], 4.0f);
    EXPECT_EQ(p.kc, 5);
    EXPECT_EQ(p.maxn, 2000);
    EXPECT_FLOAT_EQ(p.a5hgh, 0.999f);
    EXPECT_FLOAT_EQ(p.fratiolow[2], 0.5f);
    EXPECT_FLOAT_EQ(p.ak2fshgh[3], 0.001f);
    EXPECT_FLOAT_EQ(p.gladjustdlt, -1.0f);
    EXPECT_FLOAT_EQ(p.subhgh[1], 0.5f);
    EXPECT_FLOAT_EQ(p.rlakehgh[1], 1.0f);
    EXPECT_FLOAT_EQ(p.smoothdishgh, 10.0f);
    EXPECT_FALSE(rs.files.is_open(32));
}

TEST_F(ParRun, SeparatorsAndKeywordPrefixes) {
    for (const char* line : {":rlapse,0.05", ":rlapse 0.05", ":rlapse , 0.05,,,,,"}) {
        std::string t = par_test::demo_text();
        text = t;
        set_line(text, ":rlapse", line);
        rs.rlapse = 0.0f;
        ASSERT_EQ(run(), "") << line;
        EXPECT_FLOAT_EQ(rs.rlapse, 0.05f) << line;
    }
    // ":a1" without its comma is no keyword; ":a10" is not ":a1,".
    text = par_test::demo_text();
    set_line(text, ":a1,", ":a1 0.5");
    set_line(text, ":a10", ":a10 2.5");
    par.a1 = 3.0f;
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(par.a1, 3.0f);
    EXPECT_FLOAT_EQ(par.a10, 2.5f);
    text = par_test::demo_text();
    set_line(text, ":a1,", ":a1,0.5");
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(par.a1, 0.5f);
}

TEST_F(ParRun, GlobalMarkerFollowedByCommasIsNotAMarker) {
    set_line(text, ":GlobalParameters", ":GlobalParameters,,");
    set_line(text, ":RoutingParameters", ":RoutingParameters,,,,");  // other markers may have them
    ASSERT_EQ(run(), "");
    EXPECT_EQ(par.sec_start[1], 0);
    EXPECT_EQ(par.sec_start[2], 46);
    EXPECT_EQ(par.ncomments, 0);          // no comment collection without the marker
    EXPECT_FLOAT_EQ(rs.rlapse, 0.0005f);     // section read from line 1
}

// The run sees only the result: the switches go in, what others use comes out.
TEST_F(ParRun, ResultHandsOnWhatTheRunUses) {
    set_line(text, ":itrace", ":itrace,1");
    set_line(text, ":numa", ":numa,3");
    ASSERT_EQ(run(), "");  // writes the file
    const ParResult r = read_par_parser(rs, 32, 2, ParSwitches{'n', 'n', 'y'});
    EXPECT_FLOAT_EQ(r.a12, 1.0f);
    EXPECT_EQ(r.numa, 3);
    EXPECT_EQ(r.trcflg, 'n');  // no glacier class to trace
    ASSERT_EQ(r.class_name.size(), 4u);
    EXPECT_EQ(r.class_name[3].str(), "impervious");
}

TEST_F(ParRun, SectionWithoutEndMarkerKeepsItsValues) {
    set_line(text, ":EndSnowParameters", "");
    allocate_par_arrays(rs, par);
    par.fm[2] = 7.0f;
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(par.fm[2], 7.0f);
    EXPECT_FLOAT_EQ(par.fpet[1], 3.0f);  // the sections around it are read
    EXPECT_FLOAT_EQ(par.h[1][6], 2.5f);
}

TEST_F(ParRun, ValueCountsOfPerClassLines) {
    set_line(text, ":retn", ":retn,50.0,0.0,0.1,99.0,98.0");  // extra values are ignored
    std::string keep = text;
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(par.retn[3], 0.1f);

    text = keep;
    set_line(text, ":fcap", ":fcap,0.15,0.0");  // too few values
    EXPECT_EQ(run(), "Program aborted in read_par_parser @ 401");
    EXPECT_NE(console().find("error in :HydrologicalParameters\n\nhit enter to abort the program\n"),
              std::string::npos);
}

TEST_F(ParRun, NullsRepeatCountsSlashAndNames) {
    rs.shed.numriverclasses = 3;
    set_line(text, ":RiverClasses", ":RiverClasses,3");
    set_line(text, ":RiverClassName", ":RiverClassName,'main stem',averyverylongname,\"x\"");
    for (const char* kv : {":pwr,3*2.0", ":r1n,3*0.1", ":r2n,3*0.03", ":mndr,1.2 1.2 1.2", ":aa2,3*",
                           ":aa3,3*0.04", ":aa4,3*1", ":theta,3*0.5", ":widep,3*20", ":kcond,3*0.1",
                           ":pool,0.0/", ":rlake,3*0"}) {
        std::string s(kv);
        set_line(text, s.substr(0, s.find_first_of(", ")), s);
    }
    set_line(text, ":flz", ":flz,1.0E-05,,3.0E-05");
    set_line(text, ":RoutingParLimits", "");  // one value per line there: leave it out
    set_line(text, ":EndRoutingParLimits", "");
    allocate_par_arrays(rs, par);
    par.flz[2] = 5.0e-5f;
    par.pool[3] = 4.0f;
    ASSERT_EQ(run(), "");
    const ParState& p = par;
    EXPECT_FLOAT_EQ(p.flz[1], 1.0e-5f);
    EXPECT_FLOAT_EQ(p.flz[2], 5.0e-5f);  // null value: unchanged
    EXPECT_FLOAT_EQ(p.flz[3], 3.0e-5f);
    EXPECT_FLOAT_EQ(p.pwr[3], 2.0f);
    EXPECT_FLOAT_EQ(p.aa2[2], 0.0f);     // "3*" is three nulls
    EXPECT_FLOAT_EQ(p.pool[3], 4.0f);    // after "/" items keep their values
    EXPECT_EQ(p.rivtype[1].str(), "main stem ");
    EXPECT_EQ(p.rivtype[2].str(), "averyveryl");
    EXPECT_EQ(p.rivtype[3].str(), "x         ");
}

TEST_F(ParRun, CommentTableHoldsOneHundred) {
    std::string more;
    for (int i = 5; i <= 102; ++i) more += "# comment " + std::to_string(i) + "\n";
    text = more + text;
    ASSERT_EQ(run(), "");
    EXPECT_EQ(par.ncomments, 100);
    EXPECT_EQ(par.comments[97].substr(0, 13), "# comment 102");
    EXPECT_EQ(par.comments[99].substr(0, 12), "# Land cover");  // the file's own come after
    EXPECT_EQ(pauses("Hit enter to continue"), 2);
    EXPECT_EQ(par_test::count(console(), "max number of comments in the parfile \n"
                                         "GlobalParameter section exceeds 100\n"
                                         "Rest of comments are not passed on\n"),
              2);
}

TEST_F(ParRun, RiverClassCountMismatchStopsWithoutPause) {
    set_line(text, ":RiverClasses", ":RiverClasses,2");
    EXPECT_EQ(run(), "Fatal error: program aborted in read_par_parser @ 173");
    EXPECT_NE(console().find("\nNo of river classes in the par file does not match\n"
                             "the number in the shd file\n"
                             "shd file number =           1\n"
                             "par file number =           2\n\n"),
              std::string::npos);
    EXPECT_EQ(console().find("Hit enter"), std::string::npos);
}

TEST_F(ParRun, LandCoverCountMismatchPausesAndStops) {
    set_line(text, ":LandCoverClasses", ":LandCoverClasses,4");
    EXPECT_EQ(run(), "progran aborted in write_par_10 @ 348");
    EXPECT_NE(console().find("WARNING:\nno of land cover classes in this par file\n"
                             "classcount parfile=           4\ndoes not match\nthe number in the shd file\n"
                             "classcount shd file=           3\nplease check\n\nHit enter to abort\n"),
              std::string::npos);
}

TEST_F(ParRun, UnreadableTokensAreSectionErrors) {
    std::string keep = text;
    set_line(text, ":iopt", ":iopt,1.5");  // an integer item refuses a decimal
    EXPECT_EQ(run(), "Program aborted in read_par_parser @ 322");
    EXPECT_NE(console().find("error in :GlobalParameters\n\nhit enter to abort the program\n"), std::string::npos);

    text = keep;
    set_line(text, ":a5low", ":a5low,abc");  // API limits are reported with the next section
    EXPECT_EQ(run(), "Program aborted in read_par_parser @ 685");
    EXPECT_NE(console().find("error in HydrologicalParLimits\n"), std::string::npos);

    text = keep;
    set_line(text, ":IntCap_Mar", ":IntCap_Mar,1.0,x,0.0");
    EXPECT_EQ(run(), "Program aborted in read_par_parser @ 509");
    EXPECT_NE(console().find("error in :InterceptionParameterTable\n"), std::string::npos);
}

TEST_F(ParRun, MissingFile) {
    rs.file_name(2) = "nowhere_par.csv";
    try {
        read_par_parser(rs, 32, 2, par);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.message(), "Program aborted in read_par_parser @ 280");
    }
    EXPECT_EQ(console(), "\nFatal error\nAttempting to open the par file\nfile name " + fit("nowhere_par.csv", 40) +
                             "\nbut it is not found (in this location)\n"
                             "check for correct keyword and/or file name\n\n");
}

TEST_F(ParRun, LaterLinesWinAndLongFilesAreReadWhole) {
    add_after(text, ":rlapse", ":rlapse,0.0007");
    add_after(text, ":HydrologicalParameters", ":HydrologicalParam  (the same section started again)");
    std::string filler;
    for (int i = 0; i < 1000; ++i) filler += ",,,,\n";
    add_after(text, ":EndGlobalParameters", filler);
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(rs.rlapse, 0.0007f);
    EXPECT_EQ(par.nlines, 1246);
    EXPECT_EQ(par.sec_start[3], 1067);  // the last start marker counts
    EXPECT_FLOAT_EQ(par.ds[1], 1.0f);   // past line 1000
    EXPECT_FLOAT_EQ(rs.smoothdist, 0.0f);
    EXPECT_FLOAT_EQ(par.smoothdishgh, 10.0f);
}

TEST_F(ParRun, LinesAreCutAt512Columns) {
    const std::string keep = text;
    std::string line = ":rlapse,";
    line.resize(508, ' ');
    set_line(text, ":rlapse", line + "0.05");  // ends in column 512
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(rs.rlapse, 0.05f);

    text = keep;
    line.resize(512, ' ');
    set_line(text, ":rlapse", line + "0.05");  // the value starts in column 513: cut off
    EXPECT_EQ(run(), "Program aborted in read_par_parser @ 322");
}

TEST_F(ParRun, SublimationRateIsHourly) {
    set_line(text, ":sublim_factor", ":sublim_rate,2.4,0.0,4.8");
    allocate_par_arrays(rs, par);
    par.sublim_factor[1] = 0.5f;
    ASSERT_EQ(run(), "");
    EXPECT_EQ(par.sublim_mode, SublimMode::rate);
    EXPECT_FLOAT_EQ(par.sublim_rate[1], 0.1f);
    EXPECT_FLOAT_EQ(par.sublim_rate[3], 0.2f);
    EXPECT_FLOAT_EQ(par.sublim_factor[1], 0.0f);
    EXPECT_FLOAT_EQ(par.subhgh[1], 0.5f / 24.0f);
}
