// The r2c writer: header lines and their conditions, frame lines, every value
// format, line splitting, closing, and the fast fixed-point fields.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "driver/dist_test_support.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/fortran_format.h"
#include "platform/fast_fixed.h"
#include "writers/r2c_writer.h"

using namespace nimbex;
using nimbex::testing::TestRun;
using nimbex::testutil::lines_of;
using nimbex::testutil::read_file;

namespace {

std::string sp(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

void hourly_header(OutputGridHeader& h) {
    h.written_by = "nimbex.exe";
    h.weight_used = 2;
    h.name = "Precipitation";
    h.projection = "UTM";
    h.ellipsoid = "GRS80";
    h.zone = 17;
    h.xorigin = 300000.0f;
    h.yorigin = 4800000.0f;
    h.source_file = "raing\\20160605_rag.tb0";
    h.xcount = 3;
    h.ycount = 2;
    h.xdelta = 1000.0f;
    h.ydelta = 1000.0f;
    h.unit_conversion = 1.0f;
    h.extra_count = 3;
    h.extra_names = {FText<40>("#precip lapse rate   1/m"), FText<40>("#radius of influence  km"),
                     FText<40>("#smoothing distance   km")};
    h.extra_values = {0.0f, 10.0f, 0.0f};
}

// The file's lines after the header call and any grid calls the test makes.
std::vector<std::string> file_lines(TestRun& t, const std::string& name) {
    return lines_of(read_file(t.dir / name));
}

}  // namespace

TEST(WriteR2cHeader, HourlyFileHeaderLineByLine) {
    TestRun t("r2c");
    t.rs.iopt = 1;
    hourly_header(t.rs.out_hdr);
    t.rs.file_name(10) = t.path("20160605_met.r2c");
    write_r2c(t.rs, 40, 10, 24, 1, 0, 0, R2cFormat::f5_1);
    t.rs.files.close(40);

    const std::vector<std::string> expected = {
        std::string(40, '#'),
        ":FileType r2c  ASCII  EnSim 1.0" + sp(9),
        "#" + sp(39),
        "# DataType               2D Rect Cell" + sp(3),
        "#" + sp(39),
        ":Application             CORVANT" + sp(8),
        ":Version                 2.1.23" + sp(9),
        ":WrittenBy" + sp(10) + "nimbex.exe" + sp(30),
        ":Weight used" + sp(8) + sp(15) + "2",
        ":CreationDate" + sp(7) + "2016-06-05  01:49",
        "#" + sp(39),
        "#---------------------------------------",
        "#" + sp(39),
        ":Name" + sp(15) + "Precipitation" + sp(27),
        "#" + sp(39),
        ":Projection" + sp(9) + "UTM" + sp(7),
        ":Ellipsoid" + sp(10) + "GRS80" + sp(5),
        ":Zone" + sp(15) + sp(14) + "17",
        "#" + sp(39),
        ":xOrigin" + sp(12) + sp(5) + "300000.0000",
        ":yOrigin" + sp(12) + sp(4) + "4800000.0000",
        "#" + sp(39),
        ":SourceFile" + sp(9) + "raing\\20160605_rag.tb0" + sp(8),
        "#" + sp(39),
        ":AttributeName    1 Class    1",
        "#" + sp(39),
        ":xCount" + sp(13) + sp(15) + "3",
        ":yCount" + sp(13) + sp(15) + "2",
        ":xDelta" + sp(13) + sp(7) + "1000.0000",
        ":yDelta" + sp(13) + sp(7) + "1000.0000",
        "#" + sp(39),
        ":UnitConversion" + sp(5) + sp(10) + "1.0000",
        "#" + sp(39),
        "#precip lapse rate   1/m" + sp(16) + sp(7) + "0.0000000",
        "#radius of influence  km" + sp(16) + sp(6) + "10.0000000",
        "#smoothing distance   km" + sp(16) + sp(7) + "0.0000000",
        "#" + sp(39),
        ":endHeader" + sp(30),
    };
    EXPECT_EQ(file_lines(t, "20160605_met.r2c"), expected);

    // The comment lines are echoed on the console, after the note on opening.
    const auto con = t.console();
    ASSERT_EQ(con.size(), 5u);
    EXPECT_EQ(con[0], "");
    // The console shows the name in 50 columns (cut or padded), whatever the folder.
    const std::string shown = (t.path("20160605_met.r2c") + std::string(50, ' ')).substr(0, 50);
    EXPECT_EQ(con[1], "In write_r2c opened unit=          40  filename=" + shown);
    EXPECT_EQ(con[2], expected[33]);
    EXPECT_EQ(con[4], expected[35]);
}

TEST(WriteR2cHeader, ConditionalLines) {
    auto has = [](const std::vector<std::string>& ls, const std::string& prefix) {
        int n = 0;
        for (const auto& l : ls) n += l.rfind(prefix, 0) == 0;
        return n;
    };
    struct Case {
        const char* projection;
        float conversion;
        const char* name;
        int frames, classes, extras;
    };
    const Case cases[] = {
        {"LatLong", 0.0f, "Precipitation", 24, 1, 0},
        {"UTM", -2.5f, "Snow Water Equivalent", 1, 1, 1},
        {"Cartesian", 1.0f, "Snow Water", 1, 0, 0},
    };
    for (const Case& c : cases) {
        TestRun t("r2c");
        hourly_header(t.rs.out_hdr);
        OutputGridHeader& h = t.rs.out_hdr;
        h.projection = c.projection;
        h.unit_conversion = c.conversion;
        h.name = c.name;
        h.extra_count = c.extras;
        h.init_heat_deficit = 12.5f;
        h.sample_date = "2016/06/05";
        h.sample_time = "00:00";
        t.rs.file_name(599) = t.path("nimbex_sum.r2c");
        write_r2c(t.rs, 599, 599, c.frames, c.classes, 0, 0, R2cFormat::f5_1);
        t.rs.files.close(599);
        const auto ls = file_lines(t, "nimbex_sum.r2c");
        const std::string p = c.projection;
        EXPECT_EQ(has(ls, ":Ellipsoid"), p == "Cartesian" ? 0 : 1) << p;
        EXPECT_EQ(has(ls, ":Zone"), p == "UTM" ? 1 : 0) << p;
        EXPECT_EQ(has(ls, ":UnitConversion"), c.conversion != 0.0f ? 1 : 0) << p;
        EXPECT_EQ(has(ls, ":InitHeatDeficit"), std::string(c.name) == "Snow Water Equivalent" ? 1 : 0) << p;
        EXPECT_EQ(has(ls, ":AttributeName"), c.classes) << p;
        EXPECT_EQ(has(ls, "#precip lapse rate"), c.extras) << p;
        EXPECT_EQ(has(ls, ":SampleTime"), c.frames < 2 ? 1 : 0) << p;
        // The extra lines and ":SampleTime" each come after a "#" line of their own.
        EXPECT_EQ(ls.size(), 30u + (p == "Cartesian" ? 0 : 1) + (p == "UTM" ? 1 : 0) +
                                 (c.conversion != 0.0f ? 1 : 0) +
                                 (std::string(c.name) == "Snow Water Equivalent" ? 1 : 0) +
                                 static_cast<unsigned>(c.classes) + (c.frames < 2 ? 2 : 0) +
                                 (c.extras > 0 ? 1 + c.extras : 0))
            << p;
        if (c.frames < 2) {
            for (std::size_t i = 0; i < ls.size(); ++i)
                if (ls[i].rfind(":SampleTime", 0) == 0) {
                    EXPECT_EQ(ls[i], ":SampleTime" + sp(9) + "2016/06/05  00:00     ");
                    EXPECT_EQ(ls[i - 1], "#" + sp(39));
                }
        }
        if (std::string(c.name) == "Snow Water Equivalent") {
            EXPECT_EQ(has(ls, ":UnitConversion" + sp(5) + sp(9) + "-2.5000"), 1);
            EXPECT_EQ(has(ls, ":InitHeatDeficit" + sp(4) + sp(9) + "12.5000"), 1);
        }
    }
}

TEST(WriteR2cGrid, FrameLinesDataAndEndFrame) {
    TestRun t("r2c");
    hourly_header(t.rs.out_hdr);
    t.rs.nx_pdl = 3;
    t.rs.dist.nx = 3;
    t.rs.dist.ny = 2;
    t.rs.dist.outarray = {0.0f, 1.25f, 12.0f, 999.9f, 0.004f, 3.14159f};
    t.rs.file_name(10) = t.path("m.r2c");
    write_r2c(t.rs, 40, 10, 24, 1, 0, 0, R2cFormat::f5_1);
    OutputGridHeader& h = t.rs.out_hdr;
    h.year = 2016, h.month = 6, h.day = 5, h.hour = 4;
    write_r2c(t.rs, 40, 10, 24, 1, 5, 0, R2cFormat::f6_2);
    h.month = 12, h.day = 25, h.hour = 23;
    write_r2c(t.rs, 40, 10, 24, 1, 12, 0, R2cFormat::f6_2);
    EXPECT_TRUE(t.rs.files.is_open(40));  // frames with class 0 never close the file
    t.rs.files.close(40);
    auto ls = file_lines(t, "m.r2c");
    ls.erase(ls.begin(), ls.begin() + 38);
    const std::vector<std::string> expected = {
        ":Frame         5         5   \"2016/6/5  4:00:00.000\"",
        "   0.00   1.25  12.00",  // 1.25 is a tie: put_f rounds it as the binary value lies
        " 999.90   0.00   3.14",
        ":EndFrame",
        ":Frame        12        12   \"2016/12/25 23:00:00.000\"",
        "   0.00   1.25  12.00",
        " 999.90   0.00   3.14",
        ":EndFrame",
    };
    EXPECT_EQ(ls, expected);
}

TEST(WriteR2cGrid, EveryFormatCode) {
    const float row[] = {0.3f, 12.0f, 2.567f, 1234.5678f};
    const std::vector<std::pair<int, std::string>> cases = {
        {0, "    0.   12.    3. 1235."},
        {1, "   0.3  12.0   2.6 *****"},
        {2, "  0.30 12.00  2.57 *****"},
        {3, "  0.300 12.000  2.567 ******"},
        {4, "  0.3000 12.0000  2.5670 *******"},
        {5, "  0.30000 12.00000  2.56700 ********"},
        {6, "  0.300000 12.000000  2.567000 *********"},
        {7, " 0.300000E+00 0.120000E+02 0.256700E+01 0.123457E+04"},
        {8, "  0.300E+00  0.120E+02  0.257E+01  0.123E+04"},
        {9, "   0.30  12.00   2.57 ******"},
        {10, "         0.        12.         3.      1235."},
        {11, "    0.300   12.000    2.567 1234.568"},
        {12, "     0.30    12.00     2.57  1234.57"},
        {13, " 0.300000E+00 0.120000E+02 0.256700E+01 0.123457E+04"},
        {-1, " 0.300000E+00 0.120000E+02 0.256700E+01 0.123457E+04"},
    };
    for (const auto& [code, line] : cases) {
        std::string out;
        append_r2c_row(out, row, 4, static_cast<R2cFormat>(code));
        EXPECT_EQ(out, line + "\n") << "format code " << code;
    }
}

TEST(WriteR2cGrid, LongRowsContinueAfter9999ValuesAndEmptyRows) {
    std::vector<float> row(10000, 1.0f);
    row.back() = 2.0f;
    std::string out;
    append_r2c_row(out, row.data(), 10000, R2cFormat::f5_1);
    const auto ls = lines_of(out);
    ASSERT_EQ(ls.size(), 2u);
    EXPECT_EQ(ls[0].size(), 9999u * 6u);
    EXPECT_EQ(ls[1], "   2.0");

    // xcount 0: one empty data line per row.
    TestRun t("r2c");
    hourly_header(t.rs.out_hdr);
    t.rs.out_hdr.xcount = 0;
    t.rs.file_name(10) = t.path("e.r2c");
    write_r2c(t.rs, 40, 10, 24, 1, 0, 0, R2cFormat::f5_1);
    write_r2c(t.rs, 40, 10, 24, 1, 1, 0, R2cFormat::f6_2);
    t.rs.files.close(40);
    auto ls2 = file_lines(t, "e.r2c");
    ASSERT_EQ(ls2.size(), 38u + 4u);
    EXPECT_EQ(ls2[39], "");
    EXPECT_EQ(ls2[40], "");
    EXPECT_EQ(ls2[41], ":EndFrame");
}

TEST(WriteR2cGrid, SingleFrameFileAndClassFileClosing) {
    TestRun t("r2c");
    t.open_info();
    hourly_header(t.rs.out_hdr);
    t.rs.out_hdr.xcount = 2;
    t.rs.out_hdr.ycount = 1;
    t.rs.dist.nx = 2;
    t.rs.dist.ny = 1;
    t.rs.dist.outarray = {1234.4f, 0.0f};

    // One frame, class 0: no frame line, still ":EndFrame", and the file stays open.
    t.rs.file_name(10) = t.path("one.r2c");
    write_r2c(t.rs, 40, 10, 1, 1, 0, 0, R2cFormat::f5_1);
    write_r2c(t.rs, 40, 10, 1, 1, 1, 0, R2cFormat::f6_2);
    EXPECT_TRUE(t.rs.files.is_open(40));
    t.rs.files.close(40);
    auto ls = file_lines(t, "one.r2c");
    ASSERT_GE(ls.size(), 2u);
    EXPECT_EQ(ls[ls.size() - 2], " ******   0.00");
    EXPECT_EQ(ls.back(), ":EndFrame");

    // The totals file: class 1 of 1 is written without frame lines and closes the file.
    t.rs.file_name(599) = "nimbex_sum.r2c";
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(t.dir);
    write_r2c(t.rs, 599, 599, 1, 1, 0, 0, R2cFormat::f5_1);
    write_r2c(t.rs, 599, 599, 1, 1, 1, 1, R2cFormat::f10_0);
    std::filesystem::current_path(cwd);
    EXPECT_FALSE(t.rs.files.is_open(599));
    ls = file_lines(t, "nimbex_sum.r2c");
    EXPECT_EQ(ls.back(), "      1234.         0.");
    for (const auto& l : ls) EXPECT_EQ(l.find(":Frame"), std::string::npos);

    const auto con = t.console();
    ASSERT_FALSE(con.empty());
    const std::string note = con.back();
    EXPECT_EQ(note.rfind("Closed unit ", 0), 0u);
    EXPECT_NE(note.find(" Filename=  nimbex_sum.r2c"), std::string::npos);
    EXPECT_NE(note.find("fr #"), std::string::npos);
    const auto info = lines_of(t.info());
    ASSERT_FALSE(info.empty());
    EXPECT_EQ(info.back(), " " + note);  // the report's record starts with a blank
}

TEST(WriteR2cGrid, CellsBeyondTheAllocatedGridAreZero) {
    TestRun t("r2c");
    hourly_header(t.rs.out_hdr);
    t.rs.out_hdr.xcount = 3;
    t.rs.out_hdr.ycount = 2;
    t.rs.dist.nx = 2;
    t.rs.dist.ny = 1;
    t.rs.dist.outarray = {1.0f, 2.0f};
    t.rs.file_name(10) = t.path("b.r2c");
    write_r2c(t.rs, 40, 10, 24, 1, 0, 0, R2cFormat::f5_1);
    write_r2c(t.rs, 40, 10, 24, 1, 1, 0, R2cFormat::f5_1);
    t.rs.files.close(40);
    auto ls = file_lines(t, "b.r2c");
    ASSERT_EQ(ls.size(), 38u + 4u);
    EXPECT_EQ(ls[39], "   1.0   2.0   0.0");
    EXPECT_EQ(ls[40], "   0.0   0.0   0.0");
}

// An event's grid has frames only for its hours with rain: finish() closes it
// after its last frame, written in the background, has reached the file.
TEST(R2cWriter, FinishClosesAFileWithFramesStillOpen) {
    TestRun t("r2c");
    hourly_header(t.rs.out_hdr);
    t.rs.dist.nx = 3;
    t.rs.dist.ny = 2;
    t.rs.dist.outarray = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f};
    t.rs.dist.frames_in_background = true;
    t.rs.file_name(entry::event_grid) = t.path("w.r2c");
    R2cWriter w(t.rs, unit::event_grid, entry::event_grid, 24);
    w.open();
    w.frame(3, R2cFormat::f6_2);
    ASSERT_TRUE(t.rs.files.is_open(unit::event_grid));
    w.finish();
    EXPECT_FALSE(t.rs.files.is_open(unit::event_grid));
    w.finish();  // nothing left to close
    auto ls = file_lines(t, "w.r2c");
    ls.erase(ls.begin(), ls.begin() + 38);
    EXPECT_EQ(ls, (std::vector<std::string>{":Frame         3         3   \"   0/0/0  0:00:00.000\"",
                                            "   1.00   2.00   3.00", "   4.00   5.00   6.00", ":EndFrame"}));
}

TEST(WriteR2cErrors, FramesAndClassesTogetherAndOpenFailure) {
    TestRun t("r2c");
    t.rs.file_name(10) = t.path("never.r2c");
    try {
        write_r2c(t.rs, 40, 10, 2, 2, 0, 0, R2cFormat::f5_1);
        FAIL() << "no stop";
    } catch (const FatalStop& s) {
        EXPECT_EQ(s.message(), "Program aborted due to programming error");
    }
    EXPECT_FALSE(std::filesystem::exists(t.dir / "never.r2c"));
    EXPECT_EQ(t.console(), (std::vector<std::string>{"Programming error", "no_frames > 1  and  no_classes > 1",
                                                     "This is not allowed", ""}));

    TestRun u("r2c");
    u.rs.file_name(10) = u.path("missing_dir\\x.r2c");
    try {
        write_r2c(u.rs, 40, 10, 24, 1, 0, 0, R2cFormat::f5_1);
        FAIL() << "no stop";
    } catch (const FatalStop& s) {
        EXPECT_EQ(s.message(), "in write_r2c @ L83");
    }
    const auto con = u.console();
    ASSERT_EQ(con.size(), 8u);
    EXPECT_EQ(con[0], "");
    EXPECT_EQ(con[1].rfind("Unable to open file", 0), 0u);
    EXPECT_EQ(con[2].rfind("ios = ", 0), 0u);
    EXPECT_EQ(con[3], "Possible cause(s):");
    EXPECT_EQ(con[7], "wind and temp. difference files");
}

// The fast fixed-point field must give the bytes of put_f for every value.
TEST(FastFixed, SameBytesAsPutF) {
    const std::pair<int, int> fields[] = {{5, 0}, {5, 1}, {5, 2}, {6, 3}, {7, 4}, {8, 5},
                                          {9, 6}, {6, 2}, {10, 0}, {8, 3}, {8, 2}, {3, 1}};
    std::mt19937 rng(12345);
    std::vector<float> values = {0.0f,    -0.0f,   0.005f,  0.015f,  0.125f,  0.375f,  2.5f,    0.5f,
                                 1.5f,    99.995f, 999.995f, 999.9f, 9999.5f, 1e-7f,   1e-30f,  0.95f,
                                 9.995f,  99999.5f, 1e9f,   3e38f,   -1.5f,   -0.004f, NAN,     INFINITY,
                                 -INFINITY, 0.045f, 0.0625f, 1.0f / 3.0f};
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> scale(-6, 7);
    std::uniform_int_distribution<std::uint32_t> bits;
    for (int n = 0; n < 40000; ++n) {
        values.push_back(unit(rng) * std::pow(10.0f, static_cast<float>(scale(rng))));
        values.push_back(static_cast<float>(bits(rng) % 200000) / 100.0f);  // near hundredths
        values.push_back(static_cast<float>(bits(rng) % 4096) / 64.0f);     // exact binary fractions: ties
        std::uint32_t b = bits(rng);
        float f;
        std::memcpy(&f, &b, sizeof f);
        values.push_back(f);  // any bit pattern
    }
    long fast = 0;
    for (float v : values) {
        for (auto [w, d] : fields) {
            std::string ref;
            put_f_exact(ref, v, w, d);
            char buf[64];
            if (fast_fixed(buf, v, w, d)) {
                ++fast;
                ASSERT_EQ(std::string(buf, static_cast<std::size_t>(w)), ref) << v << " F" << w << "." << d;
            }
            std::string viaAppend = "x";
            append_fixed(viaAppend, v, w, d);
            ASSERT_EQ(viaAppend, "x" + ref) << v << " F" << w << "." << d;
            std::string viaPut;
            put_f(viaPut, v, w, d);
            ASSERT_EQ(viaPut, ref) << v << " F" << w << "." << d;
        }
    }
    EXPECT_GT(fast, static_cast<long>(values.size()));  // the fast path does carry the load

    // Whole rows, as frames are written (F6.2 through its table of texts).
    for (auto [w, d] : fields) {
        std::string row(values.size() * static_cast<std::size_t>(w + 1), '?'), want, slow;
        fixed_fields(row.data(), values.data(), values.size(), w, d, slow);
        for (float v : values) {
            want += ' ';
            put_f_exact(want, v, w, d);
        }
        ASSERT_EQ(row, want) << "F" << w << "." << d;
    }
}
