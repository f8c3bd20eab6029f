// Checks, defaults and derived values that follow the parameter file's sections.
#include "readers/par_test_util.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <fstream>

#include "platform/fortran_format.h"
#include "platform/text.h"

using namespace nimbex;
using par_test::add_after;
using par_test::set_line;

class ParChecks : public par_test::ParRun {
protected:
    ::testing::AssertionResult has(const std::string& s) const {
        if (console().find(s) != std::string::npos) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "console was:\n" << console();
    }
};

TEST_F(ParChecks, StopRulesOfTheClassValues) {
    struct Case {
        const char* key;
        const char* line;
        const char* stop;
        const char* shown;
    };
    const Case cases[] = {
        {":ak,", ":ak,10.0,-1.0,0.0", "program aborted in read_par_parser @ 1195", "ak(           3 )<= 0.0\n"},
        {":akfs", ":akfs,-2.0,-1.0,0.001", "program aborted in read_par_parser @ 1201", "akfs(           1 )<= 0.0\n"},
        {":akfs", ":akfs,10.0,0.0,0.001", "Program aborted in read_par_parser @ 1514",
         "\nError:\nWater class not specified\nak and akfs NOT given a -ve value\n"
         "ak(           2 ) value found =  -1.00000000    \n"
         "akfs(           2 ) value found =   0.00000000    \nPlease correct the par file\n"
         "No of classed expected =           3\n\n"},
        {":widep", ":widep,0.0", "Program aborted in rdpar @ 715",
         "Width/depth ratio must be specified when using\nManning n as the roughness parameter.\n"
         "Please fix the par file\n\n"},
        {":rec", ":rec,0.1,0.0,-0.5", "Program aborted in read_par_parser @ 1040",
         "the value for rec can not be less than 0.00\nclass=           3  value= -0.500000000    \n"},
        {":spore", ":spore,0.3,0.0,0.3", "Program aborted in rdpar at ~1254",
         "spore(           2 )=   0.00000000    \n This value can not be .le. 0.0\n"},
        {":ak2,", ":ak2,0.1,0.0,1.5", " Please change value for AK2- must be lt 1", " AK2(    3) =\n"},
        {":ak2fs", ":ak2fs,1.1,0.0,0.1", " Please change value for AK2fs - must be lt 1", " AK2fs(           1 ) =\n"},
    };
    const std::string base = text;
    for (const Case& c : cases) {
        text = base;
        set_line(text, c.key, c.line);
        out.str("");
        EXPECT_EQ(run(), c.stop) << c.line;
        EXPECT_TRUE(has(c.shown)) << c.line << "\n" << console();
    }
}

TEST_F(ParChecks, FratioBoundsAndLimits) {
    const std::string base = text;
    set_line(text, ":fratio,", ":fratio,0.005,1.0,1.0");  // the test's bound is 0.001
    ASSERT_EQ(run(), "");

    text = base;
    set_line(text, ":fratio,", ":fratio,1.0,0.0005,12.0");
    out.str("");
    EXPECT_EQ(run(), "Program aborted in read_par_parser @ 1204");
    EXPECT_TRUE(has("WARNING:\nfratio for class           2 =   5.00000024E-04\n out of range 0.01 - 10.0\n"
                    "WARNING:\nfratio for class           3 =   12.0000000    \n out of range 0.01 - 10.0\n"
                    "Please correct h & fratio values\n\nHit enter to abort\n"));

    text = base;
    set_line(text, ":fratiohgh", ":fratiohgh,2.0,11.0,2.0");
    out.str("");
    EXPECT_EQ(run(), "Program aborted in read_par_parser @ 1219");
    EXPECT_TRUE(has("fratiohgh for class           2  above range 0.01 - 10.0\nPlease correct fratiohgh values\n"));

    text = base;
    set_line(text, ":fratiolow", ":fratiolow,0.5,0.5,0.005");
    out.str("");
    EXPECT_EQ(run(), "Program aborted in read_par_parser @ 1234");
    EXPECT_TRUE(has("fratiolow for class           3  below range 0.01 - 10.0\nValue =   4.99999989E-03\n"));
}

TEST_F(ParChecks, AbsentConstantsTakeDefaultsWithTwoPauses) {
    set_line(text, ":a7,", "");
    set_line(text, ":a9,", "");
    set_line(text, ":a10", "");
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(par.a7, 0.5f);
    EXPECT_FLOAT_EQ(par.a9, 0.333f);
    EXPECT_FLOAT_EQ(par.a10, 1.0f);
    EXPECT_EQ(pauses(" Program paused in rdpar @ 480"), 1);
    EXPECT_EQ(pauses("  Program paused in rdpar @ 512"), 1);
    EXPECT_NE(info().find(" \n WARNING - in rdpar\nValue for weighting factor - old vs. new sca value\n"
                          "a7 not between 0.5-0.99in the par file\na7=0.50 assumed - matches trov8 results\n \n"
                          " Value for a9 heat deficit to swe outside range     0.333 assumed\n"
                          " Value for a10 uz exponent outside range     1.000 assumed\n"),
              std::string::npos)
        << info();
}

TEST_F(ParChecks, A9JustInsideAndOutside) {
    const std::string base = text;
    set_line(text, ":a9,", ":a9,0.31");
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(par.a9, 0.31f);
    EXPECT_EQ(console().find("paused"), std::string::npos);
    text = base;
    set_line(text, ":a9,", ":a9,0.29");
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(par.a9, 0.333f);
    EXPECT_EQ(pauses("  Program paused in rdpar @ 512"), 1);
}

TEST_F(ParChecks, A12MissingWithDisaggregationPausesAndStaysZero) {
    set_line(text, ":a12", "");
    par.evt_smrflg = 'y';
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(par.a12, 0.0f);
    EXPECT_TRUE(has(" Value for a12 not defined in the paramerter file\n a12=0.001 assumed - matches previous results\n"
                    " Paused in rdpar after reading aNN values\n\n Hit enter to accept default & continue\n"
                    " Program paused in rdpar @ 480\n"));
}

TEST_F(ParChecks, PwrOutOfRangeNamesItsClass) {
    rs.shed.numriverclasses = 3;
    set_line(text, ":RiverClasses", ":RiverClasses,3");
    for (const char* kv : {":flz,3*1.0E-05", ":pwr,2.0,5.0,2.0", ":r1n,3*0.1", ":r2n,3*0.03", ":widep,3*20"}) {
        std::string s(kv);
        set_line(text, s.substr(0, s.find(',')), s);
    }
    set_line(text, ":RoutingParLimits", "");
    set_line(text, ":EndRoutingParLimits", "");
    ASSERT_EQ(run(), "");
    EXPECT_TRUE(has("\nThe value of pwr for land cover class            2\nis    5.00000000      which\n"
                    "is not in the range of 0.1 - 4.0\nPlease check all values\n"
                    "This msg not printed for DDS & PS runs\n\nHit enter to continue with this value (@ 607)\n"));
    EXPECT_EQ(pauses("Hit enter to continue with this value (@ 607)"), 1);
}

TEST_F(ParChecks, WetlandRules) {
    // Four classes: forest, wetland, water, impervious; wetland channels sound.
    const std::string four = [this] {
        std::string t = text;
        set_line(t, ":LandCoverClasses", ":LandCoverClasses,4");
        return t;
    }();
    rs.shed.classcount = 4;
    par.evt_wetflg = 'y';
    text = four;
    // Every per-class line gets one more value in front: class 1 repeated.
    std::string fixed;
    std::istringstream lines(text);
    for (std::string l; std::getline(lines, l);) {
        std::size_t c = l.find(',');
        bool per_class = c != std::string::npos && l.size() > c + 1 && l[c + 1] != ',' &&
                         l.find(',', c + 1) != std::string::npos && l.compare(0, 1, ":") == 0 &&
                         std::count(l.begin(), l.end(), ',') >= 3 && l.find(",,,") == std::string::npos;
        if (per_class) {
            std::size_t c2 = l.find(',', c + 1);
            l.insert(c2, l.substr(c, c2 - c));
        }
        fixed += l + "\n";
    }
    text = fixed;
    set_line(text, ":ClassName", ":ClassName,forest,Wetland,water,impervious");
    set_line(text, ":a9,", ":a9,6.0");  // defaulted: the run pauses and goes on
    ASSERT_EQ(run(), "") << console();
    EXPECT_EQ(par.class_name[2].str(), "wetland   ");
    EXPECT_EQ(pauses("  Program paused in rdpar @ 512"), 1);

    // Wetland named like the class before it takes over its parameters.
    std::string same = fixed;
    set_line(same, ":ClassName", ":ClassName,fen,fen,water,impervious");
    set_line(same, ":IntCap_Jul", ":IntCap_Jul,2.5,1.5,0.0,0.0");
    set_line(same, ":rec", ":rec,0.1,0.7,0.0,0.1");
    text = same;
    out.str("");
    EXPECT_EQ(run(), "Program aborted in read_par_parser at line ~217");  // still not labelled wetland
    EXPECT_FLOAT_EQ(par.rec[2], 0.1f);
    EXPECT_TRUE(has("WARNING:\nInt. values for classes           2 and           1 for month           7\n"
                    "are set equal\n"));
    EXPECT_TRUE(has("Class no.            2  is expected to be\nthe wetland class and be labelled as such\n"
                    "Name found ***fen       ***\nIt should be ***wetland   ***\n"));

    // Channel values too close to zero.
    text = fixed;
    set_line(text, ":ClassName", ":ClassName,forest,wetland,water,impervious");
    set_line(text, ":theta", ":theta,0.0");
    set_line(text, ":kcond", ":kcond,1.0E-12");
    out.str("");
    EXPECT_EQ(run(), "Program aborted in rdpar @ 595");
    EXPECT_TRUE(has(" Value for theta for river class            1\n too close to zero. Please provide reasonable\n"
                    " value  (0.01 to 0.5)\n Value for kcond for river class            1\n"));
}

TEST_F(ParChecks, ClassNamesAndTracer) {
    set_line(text, ":ClassName", ":ClassName,Glacier_ice,Waterbody,' GLACIER'");
    ASSERT_EQ(run(), "");
    EXPECT_EQ(par.class_name[1].str(), "glacier   ");
    EXPECT_EQ(par.class_name[2].str(), "water     ");
    EXPECT_EQ(par.class_name[3].str(), "glacier   ");
    EXPECT_EQ(par.glacier_class, 3);

    text = par_test::demo_text();
    set_line(text, ":itrace", ":itrace,1");
    par.evt_trcflg = 'y';
    out.str("");
    ASSERT_EQ(run(), "");
    EXPECT_EQ(par.evt_trcflg, 'n');
    EXPECT_TRUE(has("Tracer is set to track glacier melt\nand the tracer flag (trcflg) is set to \"y\"\n"
                    "but there is no glacier class\ntrcflg is set to \"n\" \n\nContinue by hitting enter\n"));
}

TEST_F(ParChecks, WarningsAndQuietCorrections) {
    set_line(text, ":fmadjust", ":fmadjust,0.5");
    set_line(text, ":fpet", ":fpet,3.0,0.0,3.0");
    set_line(text, ":ffcap", ":ffcap,0.1,0.0,0.01");
    set_line(text, ":sublim_factor", ":sublim_factor,0.9,0.0,0.2");
    set_line(text, ":tempa3", ":tempa3,0.0");
    set_line(text, ":flz", ":flz,0.0");
    ASSERT_EQ(run(), "");
    const ParState& p = par;
    EXPECT_FLOAT_EQ(p.fmadjust, 0.0f);
    EXPECT_TRUE(has("fmadjust is set to 0.0\n because there are no limits set in bsnm.par\n hit enter to continue"));
    EXPECT_TRUE(has("\nWARNING\nValue for fpet for water class =   0.00000000    \n"));
    EXPECT_FLOAT_EQ(p.ffcap[2], 0.01f);
    EXPECT_TRUE(has("pwp(           2 ) Permanent Wilting Point set too low.\npwp(           2 )  Must be > 0.0\n"
                    "pwp(           2 ) set to 0.01\n\n"));
    EXPECT_FLOAT_EQ(p.sublim_factor[1], 0.75f);
    EXPECT_TRUE(has("Warning: sublimation factor for class           1\nand is given as   0.899999976    \n"
                    "is set too high. Sublim reduced to 0.75\n"));
    EXPECT_FLOAT_EQ(p.tempa3, 0.0001f);
    EXPECT_NE(info().find("WARNING:\nTemp3 <0.0001  set temp3=0.001\n\n"), std::string::npos);
    EXPECT_TRUE(has("In read_par,flz_o( 1)=   0.0000000 wrong parameter value - change flz(i) to +ve value\n"));
}

TEST_F(ParChecks, FmadjustPromptLeavesItsLineOpenAndTakesOneLine) {
    set_line(text, ":fmadjust", ":fmadjust,0.5");
    set_line(text, ":fmahigh", ":fmahigh,2.0");
    in.str("typed answer\n\n");
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(par.fmadjust, 0.0f);
    const std::string c = console();
    const std::string tail = "fmadjust,fmalow,fmahigh/  0.500000000       0.00000000       2.00000000    \n"
                             "fmadjust is set to 0.0\n because there are no limits set in bsnm.par\n"
                             " hit enter to continue";
    ASSERT_GE(c.size(), tail.size());
    EXPECT_EQ(c.substr(c.size() - tail.size()), tail);  // nothing after it: the answer ends the line
    std::string rest;
    std::getline(in, rest);
    EXPECT_EQ(rest, "");  // only the answer's line was read
    EXPECT_TRUE(in.good());
}

TEST_F(ParChecks, InterceptionTablesAndRoutingPerGrid) {
    set_line(text, ":IntCap_Jan", ":IntCap_Jan,1.0,0.5,0.0");  // water class limited to 1.0e-6
    ASSERT_EQ(run(), "");
    const ParState& p = par;
    EXPECT_FLOAT_EQ(p.hmax[1], 2.5f);
    EXPECT_FLOAT_EQ(p.fpetm[1][1], 0.7f * 1.0f / 2.5f);
    EXPECT_FLOAT_EQ(p.hmax[2], 0.001f);   // a11
    EXPECT_FLOAT_EQ(p.fpetm[3][5], 1.0f);
    EXPECT_FLOAT_EQ(p.h[2][1], 0.01f);    // raised after fpetm was taken
    EXPECT_FLOAT_EQ(p.ak_index[1], 100.0f - 250.0f * std::log10(10.0f / 3600.0f));
    EXPECT_NE(info().find("hmax  2.50\nh(  ) 1.00 1.00 1.00 1.50 2.00 2.50 2.50 2.50 2.00 1.50 1.00 1.00\n"
                          "fpetm 0.28 0.28 0.28 0.42 0.56 0.70 0.70 0.70 0.56 0.42 0.28 0.28\n"),
              std::string::npos)
        << info();
    EXPECT_FLOAT_EQ(rs.shed.pwr[4], 2.0f);
    EXPECT_FLOAT_EQ(rs.shed.widep[1], 20.0f);
    EXPECT_FLOAT_EQ(p.theta_grid[3], 0.5f);

    // No capacity at all: hmax 0 and no 0/0.
    text = par_test::demo_text();
    set_line(text, ":a11", ":a11,0.0");
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(par.hmax[2], 0.0f);
    EXPECT_FLOAT_EQ(par.fpetm[2][1], 0.0f);
}

TEST_F(ParChecks, GlobalLimitsSectionAndSmoothing) {
    const std::string base = text;
    set_line(text, ":radiusinflce", ":radiusinflce,50.0");
    set_line(text, ":smoothdist", ":smoothdist,30.0");
    const std::string smooth = text;
    ASSERT_EQ(run(), "");
    EXPECT_TRUE(has("\nWARNING: smoothing dist > radius of influence/2\nLikely will lead to problems in NIMBEX.exe\n"
                    "and KALOR.exe\nwith no data written to file & program hanging\n"
                    "Program continues with ddsflg = 1\nPls fix par file (Ctrl C) or hit enter to continue\n"));

    text = smooth;
    set_line(text, ":GlobalParLimits", "");
    set_line(text, ":EndGlobalParLimits", "");
    out.str("");
    ASSERT_EQ(run(), "");
    EXPECT_FALSE(has("smoothing dist"));
    EXPECT_TRUE(has("WARNING:\nNew section of GlobalParLimits not found\nin the par file.\n"
                    "rlapsedlt,tlapsedlt,radinfldlt & smoothdist\nset - -1.0  <<<<<<<<<<<<<<<<<<<<<<<<<<<<<<\n\n"));
    EXPECT_FLOAT_EQ(par.radinfldlt, -1.0f);
    EXPECT_FLOAT_EQ(par.smoothdisdlt, -1.0f);
}

TEST_F(ParChecks, DdsflgOverride) {
    set_line(text, ":ddsflg", ":ddsflg,1");
    set_line(text, ":a3,", ":a3,-0.1");
    const std::string dds = text;
    ASSERT_EQ(run(), "");
    EXPECT_EQ(par.ddsflg, 1);
    EXPECT_EQ(rs.iopt, 0);
    EXPECT_FLOAT_EQ(par.a3, 0.05f);
    EXPECT_TRUE(has("a3 < 0   Must be = or > 0 to use DDS\nPlease correct the par file\na3=0.05 assumed\n\n"));

    std::ofstream("ddsflg_override.txt") << "0\n";
    text = dds;
    out.str("");
    ASSERT_EQ(run(), "");
    EXPECT_EQ(par.ddsflg, 0);
    EXPECT_EQ(rs.iopt, 1);
    EXPECT_TRUE(has("---------------------------------------------\n"
                    "DDS_flag set to `0` for normal production run\n\n"));
}

TEST_F(ParChecks, EvaporationLatitude) {
    set_line(text, ":flgevp2", ":flgevp2,4.0");
    const std::string four = text;
    rs.grid.projection = "LATLONG";
    rs.grid.yorigin = 44.0f;
    rs.grid.ydelta = 0.5f;
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(par.lat, 44.75f);  // row 2 of the last grid
    EXPECT_FLOAT_EQ(par.sinlat[1], std::sin(44.25f * 3.1416f / 180.0f));

    text = four;
    rs.grid.projection = "UTM";
    rs.grid.ydelta = 1000.0f;
    out.str("");
    ASSERT_EQ(run(), "");
    EXPECT_FLOAT_EQ(par.lat, 45.5f);
    EXPECT_TRUE(has("UTM       \n\nNEW:   flgevp2 = 4 option\n"));
    EXPECT_TRUE(has("of the origin given in the par file as   45.5000000    \n"));
    EXPECT_TRUE(has("north-most latitude:   45.5135002    \nPlease check\n"));

    text = four;
    set_line(text, ":lat", ":lat,0.0");
    out.str("");
    EXPECT_EQ(run(), "Program aborted in read_par_parser @ L1739");

    text = four;
    set_line(text, ":flgevp2", ":flgevp2,2.0");
    set_line(text, ":lat", ":lat,0.0");
    out.str("");
    EXPECT_EQ(run(), "Program aborted in read_par_parser @ L1713");
    EXPECT_TRUE(has("\nYou have lat = 0.0  and flgevp2 = 2.0\nin the par file\n"));
}
