// r2ctool: reading the writer's r2c layout back, the figures of `info`, the
// ASCII grid, the NetCDF and PNG outputs (checked with the real clients when
// they are installed) and the command line.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifdef R2CTOOL_HAVE_NETCDF
#include <netcdf.h>
#endif
#ifdef R2CTOOL_HAVE_PNG
#include <png.h>
#endif

#include "tools/r2ctool/commands.h"
#include "tools/r2ctool/crs.h"
#include "tools/r2ctool/quicklook.h"
#include "tools/r2ctool/r2c_file.h"
#include "support/files.h"

namespace fs = std::filesystem;
using nimbex::testutil::read_file;
using namespace nimbex::r2ctool;

namespace {

fs::path scratch(const std::string& tag) { return nimbex::testutil::scratch_dir("r2ctool_" + tag); }

std::string header(const std::string& projection_lines, const std::string& geometry, bool sample_time) {
    std::string s =
        "########################################\n"
        ":FileType r2c  ASCII  EnSim 1.0         \n"
        "#                                       \n"
        ":Application             CORVANT        \n"
        ":WrittenBy          nimbex.exe                              \n"
        ":Weight used                       3\n"
        ":CreationDate       2024-01-02  03:04\n"
        "#---------------------------------------\n"
        ":Name               Precipitation                           \n"
        "#                                       \n" +
        projection_lines + "#                                       \n" + geometry +
        ":SourceFile         raing\\20231231_rag.tb0        \n"
        ":AttributeName    1 Class    1\n";
    if (sample_time) s += "#                                       \n:SampleTime                     \n";
    s += "#precip lapse rate   1/m                       0.0005000\n"
         ":endHeader                              \n";
    return s;
}

const std::string utm = ":Projection         UTM       \n:Ellipsoid          GRS80     \n:Zone                             17\n";
const std::string geometry_3x2 =
    ":xOrigin                 500000.0000\n:yOrigin                4800000.0000\n"
    ":xCount                            3\n:yCount                            2\n"
    ":xDelta                    1000.0000\n:yDelta                    1000.0000\n";

// Two frames of 3 x 2 across the turn of the year; the second frame has a
// value too large for its field.
std::string two_frames() {
    return header(utm, geometry_3x2, false) +
           ":Frame         1         1   \"2023/12/31 23:00:00.000\"\n"
           "   1.00   2.00   3.00\n"
           "   4.00   5.00   6.00\n"
           ":EndFrame\n"
           ":Frame         2         2   \"2024/1/1  1:00:00.000\"\n"
           "   0.50   0.00 ******\n"
           "   0.25  10.00  20.00\n"
           ":EndFrame\n";
}

// Run totals: one grid, no frame line, F10.0 values.
std::string totals() {
    return header(utm, geometry_3x2, true) +
           "        12.        14.         9.\n"
           "       100.         0.         7.\n"
           ":EndFrame\n";
}

fs::path write_file(const fs::path& dir, const std::string& name, const std::string& text) {
    nimbex::testutil::write_file(dir / name, text);
    return dir / name;
}

bool have(const char* client) {
    return std::system((std::string("command -v ") + client + " > /dev/null 2>&1").c_str()) == 0;
}

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun run(const std::string& cmd, const fs::path& dir) {
    const fs::path out = dir / "out.txt";
    int rc = std::system((cmd + " > '" + out.string() + "' 2>&1").c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, read_file(out)};
}

}  // namespace

TEST(R2cTool, ReadsFramesHeaderAndOverflowFields) {
    fs::path d = scratch("read");
    R2cFile f = read_r2c_file(write_file(d, "a.r2c", two_frames()).string());
    EXPECT_EQ(f.nx(), 3);
    EXPECT_EQ(f.ny(), 2);
    EXPECT_EQ(f.weight_used, 3);
    EXPECT_EQ(f.source_file, "raing\\20231231_rag.tb0");
    ASSERT_EQ(f.comments.size(), 1u);
    EXPECT_EQ(f.comments[0].rfind("#precip lapse rate", 0), 0u);
    ASSERT_EQ(f.frames.size(), 2u);
    EXPECT_EQ(f.frames[1].number, 2);
    EXPECT_EQ(stamp_text(f.frames[0].time), "2023/12/31 23:00");
    EXPECT_EQ(stamp_text(f.frames[1].time), "2024/1/1 1:00");
    EXPECT_DOUBLE_EQ(hours_between(f.frames[0].time, f.frames[1].time), 2.0);
    // Row 1 is the first line of a frame: the southern row.
    EXPECT_FLOAT_EQ(f.at(f.frames[0], 1, 1), 1.0f);
    EXPECT_FLOAT_EQ(f.at(f.frames[0], 2, 3), 6.0f);
    EXPECT_TRUE(std::isnan(f.at(f.frames[1], 1, 3)));

    R2cFile t = read_r2c_file(write_file(d, "t.r2c", totals()).string());
    ASSERT_EQ(t.frames.size(), 1u);
    EXPECT_FALSE(t.frames[0].time.valid);
    EXPECT_FLOAT_EQ(t.at(t.frames[0], 2, 1), 100.0f);
    fs::remove_all(d);
}

TEST(R2cTool, RefusesBrokenFilesWithAReason) {
    fs::path d = scratch("broken");
    std::string cut = two_frames();
    cut = cut.substr(0, cut.find("   0.25  10.00"));
    try {
        read_r2c_file(write_file(d, "cut.r2c", cut).string());
        FAIL() << "a frame cut short was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("frame 2 ends after 1 of 2 rows"), std::string::npos) << e.what();
    }
    std::string bad = totals();
    bad.replace(bad.find("       100."), 11, "       abc ");
    EXPECT_THROW(read_r2c_file(write_file(d, "bad.r2c", bad).string()), std::runtime_error);
    EXPECT_THROW(read_r2c_file((d / "missing.r2c").string()), std::runtime_error);
    // A header alone is what an event without an hour of rain leaves: it reads
    // as no frames, info says so, and no grid can be chosen from it.
    EXPECT_THROW(read_r2c_file(write_file(d, "hdr.r2c", header(utm, "", false)).string()), std::runtime_error);
    const std::string frames = two_frames();
    const R2cFile dry = read_r2c_file(write_file(d, "dry.r2c", frames.substr(0, frames.find(":Frame"))).string());
    EXPECT_TRUE(dry.frames.empty());
    std::ostringstream info;
    write_info(dry, info);
    EXPECT_NE(info.str().find("Frames:      0"), std::string::npos) << info.str();
    EXPECT_THROW(choose_grid(dry, GridChoice{}), std::runtime_error);
    fs::remove_all(d);
}

TEST(R2cTool, StampsAndCalendar) {
    EXPECT_EQ(days_from_civil(1970, 1, 1), 0);
    EXPECT_EQ(days_from_civil(2024, 3, 1) - days_from_civil(2024, 2, 28), 2);  // leap year
    EXPECT_EQ(days_from_civil(2023, 3, 1) - days_from_civil(2023, 2, 28), 1);
    Stamp a = parse_stamp("2016/6/5  4:00:00.000");
    ASSERT_TRUE(a.valid);
    EXPECT_EQ(a.hour, 4);
    EXPECT_FALSE(parse_stamp("").valid);
    EXPECT_FALSE(parse_stamp("2016/13/5 4:00").valid);
}

TEST(R2cTool, InfoFiguresPerFrameAndForTheFile) {
    fs::path d = scratch("info");
    R2cFile f = read_r2c_file(write_file(d, "a.r2c", two_frames()).string());
    std::ostringstream out;
    write_info(f, out);
    const std::string s = out.str();
    EXPECT_NE(s.find("Grid:        3 columns x 2 rows, cells 1000 x 1000"), std::string::npos) << s;
    EXPECT_NE(s.find("System:      UTM zone 17N, GRS 1980"), std::string::npos) << s;
    EXPECT_NE(s.find("Frames:      2, first 2023/12/31 23:00, last 2024/1/1 1:00"), std::string::npos) << s;
    // Frame 1: 1..6, mean 3.5, total 21; frame 2 leaves out the "*" cell.
    EXPECT_NE(s.find("    1  2023/12/31 23:00                1.00       6.00      3.500        21.00"),
              std::string::npos) << s;
    EXPECT_NE(s.find("0.00      20.00      6.150        30.75  (1 cells without a value)"), std::string::npos) << s;
    EXPECT_NE(s.find("all values of the file                 0.00      20.00      4.705        51.75"),
              std::string::npos) << s;

    std::ostringstream out2;
    write_info(read_r2c_file(write_file(d, "t.r2c", totals()).string()), out2);
    EXPECT_NE(out2.str().find("Frames:      1 (a single grid without a time)"), std::string::npos) << out2.str();
    EXPECT_NE(out2.str().find("0.00     100.00     23.667       142.00"), std::string::npos) << out2.str();
    fs::remove_all(d);
}

TEST(R2cTool, GridChoice) {
    fs::path d = scratch("choice");
    R2cFile f = read_r2c_file(write_file(d, "a.r2c", two_frames()).string());
    ChosenGrid g = choose_grid(f, GridChoice{});
    EXPECT_EQ(g.description, "sum of 2 frames, 2023/12/31 23:00 to 2024/1/1 1:00");
    EXPECT_FLOAT_EQ(g.values[0], 1.5f);
    EXPECT_TRUE(std::isnan(g.values[2]));  // a cell without a value stays without one
    g = choose_grid(f, GridChoice{2, false, {}});
    EXPECT_EQ(g.description, "frame 2 of 2, 2024/1/1 1:00");
    EXPECT_FLOAT_EQ(g.values[5], 20.0f);
    EXPECT_THROW(choose_grid(f, GridChoice{3, false, {}}), std::runtime_error);
    EXPECT_THROW(choose_grid(f, GridChoice{1, true, {}}), std::runtime_error);
    fs::remove_all(d);
}

TEST(R2cTool, AsciiGridIsNorthRowFirstWithItsProjection) {
    fs::path d = scratch("ascii");
    R2cFile f = read_r2c_file(write_file(d, "t.r2c", totals()).string());
    write_ascii_grid(f, GridChoice{}, (d / "t.asc").string());
    EXPECT_EQ(read_file(d / "t.asc"),
              "ncols 3\nnrows 2\nxllcorner 500000\nyllcorner 4800000\ncellsize 1000\n"
              "NODATA_value -9999\n100 0 7\n12 14 9\n");
    const std::string prj = read_file(d / "t.prj");
    EXPECT_NE(prj.find("PARAMETER[\"central_meridian\",-81]"), std::string::npos) << prj;
    EXPECT_NE(prj.find("SPHEROID[\"GRS 1980\",6378137,298.257222101]"), std::string::npos) << prj;

    R2cFile a = read_r2c_file(write_file(d, "a.r2c", two_frames()).string());
    write_ascii_grid(a, GridChoice{2, false, {}}, (d / "f2.asc").string());
    EXPECT_NE(read_file(d / "f2.asc").find("NODATA_value -9999\n0.25 10 20\n0.5 0 -9999\n"), std::string::npos);

    // A Cartesian grid with oblong cells: dx/dy and no projection file.
    std::string cart = totals();
    cart.replace(cart.find(utm), utm.size(), ":Projection         Cartesian \n");
    cart.replace(cart.find(":yDelta                    1000.0000"), 36, ":yDelta                     500.0000");
    write_ascii_grid(read_r2c_file(write_file(d, "c.r2c", cart).string()), GridChoice{}, (d / "c.asc").string());
    EXPECT_NE(read_file(d / "c.asc").find("dx 1000\ndy 500\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(d / "c.prj"));

    // Header reals held in single precision come out at the decimals written.
    std::string ll = totals();
    ll.replace(ll.find(utm), utm.size(), ":Projection         LatLong   \n:Ellipsoid          WGS84     \n");
    ll.replace(ll.find(geometry_3x2), geometry_3x2.size(),
               ":xOrigin                    -80.5000\n:yOrigin                     43.3000\n"
               ":xCount                            3\n:yCount                            2\n"
               ":xDelta                      0.0100\n:yDelta                      0.0100\n");
    write_ascii_grid(read_r2c_file(write_file(d, "ll.r2c", ll).string()), GridChoice{}, (d / "ll.asc").string());
    EXPECT_NE(read_file(d / "ll.asc").find("xllcorner -80.5\nyllcorner 43.3\ncellsize 0.01\n"), std::string::npos)
        << read_file(d / "ll.asc");

    if (have("gdalinfo")) {
        ToolRun r = run("gdalinfo -stats '" + (d / "t.asc").string() + "'", d);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("Size is 3, 2"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Origin = (500000.000000000000000,4802000.000000000000000)"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Pixel Size = (1000.000000000000000,-1000.000000000000000)"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("UTM zone 17N"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Minimum=0.000, Maximum=100.000"), std::string::npos) << r.out;
    } else {
        GTEST_LOG_(INFO) << "gdalinfo not installed: ASCII grid not checked with it";
    }
    fs::remove_all(d);
}

TEST(R2cTool, CoordinateSystems) {
    nimbex::R2cHeader h;
    nimbex::init_r2c_header(h);
    h.projection = "LatLong";
    h.ellipsoid = "WGS84";
    Crs c = crs_of(h);
    EXPECT_EQ(c.kind, GridKind::latlong);
    EXPECT_EQ(crs_wkt(c).rfind("GEOGCS[\"WGS_1984\"", 0), 0u);
    h.projection = "UTM";
    h.zone = 61;
    EXPECT_FALSE(crs_of(h).problem.empty());
    EXPECT_EQ(crs_wkt(crs_of(h)), "");
    h.zone = 10;
    h.ellipsoid = "Bessel";
    EXPECT_EQ(crs_wkt(crs_of(h)), "");  // an ellipsoid the tool cannot give is left out, not guessed
    EXPECT_DOUBLE_EQ(central_meridian(17), -81.0);
    EXPECT_DOUBLE_EQ(central_meridian(1), -177.0);
}

TEST(R2cTool, QuickLookShowsNorthUpWithLegendAndGauges) {
    float top = 0, step = 0;
    nice_scale(303.0f, top, step);
    EXPECT_FLOAT_EQ(step, 50.0f);
    EXPECT_FLOAT_EQ(top, 350.0f);
    nice_scale(8.32f, top, step);
    EXPECT_FLOAT_EQ(top, 10.0f);
    nice_scale(0.0f, top, step);
    EXPECT_FLOAT_EQ(top, 1.0f);
    EXPECT_EQ(scale_colour(0.0f, 10.0f), (Rgb{255, 255, 255}));
    EXPECT_EQ(scale_colour(50.0f, 10.0f), scale_colour(10.0f, 10.0f));

    fs::path d = scratch("look");
    R2cFile f = read_r2c_file(write_file(d, "t.r2c", totals()).string());
    Station s;
    s.x = 502500.0;  // centre of row 2, column 3
    s.y = 4801500.0;
    s.name = "Gum";
    Station outside;
    outside.x = 1.0;
    outside.y = 1.0;
    QuickLook q = render_quicklook(f, GridChoice{}, {s, outside});
    EXPECT_EQ(q.stations_drawn, 1);
    EXPECT_EQ(q.description, "single grid");
    const Image& im = q.image;
    // Bottom-left pixel of the map: row 1, column 1 (12 mm); top-left: row 2,
    // column 1 (100 mm, the top of the scale).
    EXPECT_EQ(im.get(q.map_x, q.map_y + q.map_h - 1), scale_colour(12.0f, 100.0f));
    EXPECT_EQ(im.get(q.map_x, q.map_y), scale_colour(100.0f, 100.0f));
    // The gauge: a black dot at its place.
    const int gx = q.map_x + static_cast<int>(std::lround(q.map_w * 5.0 / 6.0));
    const int gy = q.map_y + static_cast<int>(std::lround(q.map_h / 4.0));
    EXPECT_EQ(im.get(gx, gy), (Rgb{0, 0, 0}));
    EXPECT_EQ(im.get(gx, gy - 3), (Rgb{255, 255, 255}));  // inside the gauge's white disc
    // Title text in the top margin.
    bool ink = false;
    for (int x = 0; x < im.width; ++x)
        for (int y = 0; y < q.map_y - 2; ++y) ink = ink || im.get(x, y) == Rgb{0, 0, 0};
    EXPECT_TRUE(ink);

#ifdef R2CTOOL_HAVE_PNG
    // The file decodes to the image drawn.
    write_png(f, GridChoice{}, {s}, (d / "t.png").string());
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&png, (d / "t.png").c_str())) << png.message;
    png.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> px(PNG_IMAGE_SIZE(png));
    ASSERT_TRUE(png_image_finish_read(&png, nullptr, px.data(), 0, nullptr)) << png.message;
    EXPECT_EQ(static_cast<int>(png.width), im.width);
    EXPECT_EQ(static_cast<int>(png.height), im.height);
    EXPECT_EQ(px, im.pixels);
#endif
    fs::remove_all(d);
}

#ifdef R2CTOOL_HAVE_NETCDF
TEST(R2cTool, NetcdfFollowsCfAndReadsBack) {
    fs::path d = scratch("nc");
    R2cFile f = read_r2c_file(write_file(d, "a.r2c", two_frames()).string());
    const std::string nc = (d / "a.nc").string();
    write_netcdf(f, nc);
    int id = -1, v = -1;
    ASSERT_EQ(nc_open(nc.c_str(), NC_NOWRITE, &id), NC_NOERR);
    double t[2] = {-1, -1}, y[2] = {0, 0}, x[3] = {0, 0, 0};
    ASSERT_EQ(nc_inq_varid(id, "time", &v), NC_NOERR);
    nc_get_var_double(id, v, t);
    // Hours from midnight of the first day; each value covers its hour.
    EXPECT_DOUBLE_EQ(t[0], 23.0);
    EXPECT_DOUBLE_EQ(t[1], 25.0);
    char units[80] = {};
    nc_get_att_text(id, v, "units", units);
    EXPECT_STREQ(units, "hours since 2023-12-31 00:00:00");
    double bounds[4] = {};
    ASSERT_EQ(nc_inq_varid(id, "time_bnds", &v), NC_NOERR);
    nc_get_var_double(id, v, bounds);
    EXPECT_EQ(std::vector<double>(bounds, bounds + 4), (std::vector<double>{23, 24, 25, 26}));
    ASSERT_EQ(nc_inq_varid(id, "y", &v), NC_NOERR);
    nc_get_var_double(id, v, y);
    EXPECT_DOUBLE_EQ(y[0], 4800500.0);
    ASSERT_EQ(nc_inq_varid(id, "x", &v), NC_NOERR);
    nc_get_var_double(id, v, x);
    EXPECT_DOUBLE_EQ(x[2], 502500.0);
    std::vector<float> p(12);
    ASSERT_EQ(nc_inq_varid(id, "precipitation", &v), NC_NOERR);
    nc_get_var_float(id, v, p.data());
    EXPECT_FLOAT_EQ(p[5], 6.0f);
    EXPECT_FLOAT_EQ(p[8], -9999.0f);  // the "*" field, as the fill value
    EXPECT_FLOAT_EQ(p[11], 20.0f);
    nc_close(id);

    // The run totals: a map without a time axis.
    const std::string nct = (d / "t.nc").string();
    write_netcdf(read_r2c_file(write_file(d, "t.r2c", totals()).string()), nct);
    ASSERT_EQ(nc_open(nct.c_str(), NC_NOWRITE, &id), NC_NOERR);
    int ndims = 0;
    nc_inq_varid(id, "precipitation", &v);
    nc_inq_varndims(id, v, &ndims);
    EXPECT_EQ(ndims, 2);
    EXPECT_NE(nc_inq_varid(id, "time", &v), NC_NOERR);
    nc_close(id);

    if (have("ncdump")) {
        ToolRun r = run("ncdump -h '" + nc + "'", d);
        EXPECT_EQ(r.status, 0) << r.out;
        for (const char* part : {":Conventions = \"CF-1.8\"", "crs:grid_mapping_name = \"transverse_mercator\"",
                                 "crs:longitude_of_central_meridian = -81.", "precipitation:units = \"mm\"",
                                 "precipitation:standard_name = \"precipitation_amount\"",
                                 "time:calendar = \"proleptic_gregorian\"", "float precipitation(time, y, x)",
                                 "time:bounds = \"time_bnds\"", "precipitation:cell_methods = \"time: sum\"",
                                 "precipitation:comment = \"each value is computed at the north-east corner"})
            EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    } else {
        GTEST_LOG_(INFO) << "ncdump not installed: header not checked with it";
    }
    if (have("gdalinfo")) {
        ToolRun r = run("gdalinfo '" + nc + "'", d);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("Size is 3, 2"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Origin = (500000.000000000000000,4802000.000000000000000)"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Pixel Size = (1000.000000000000000,-1000.000000000000000)"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("PROJCRS[\"UTM zone 17N"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Band 2 "), std::string::npos) << r.out;
        // The north-west cell of frame 1 is row 2, column 1: 4 mm.
        ToolRun v1 = run("gdallocationinfo -valonly -b 1 '" + nc + "' 0 0", d);
        EXPECT_EQ(v1.out, "4\n");
    } else {
        GTEST_LOG_(INFO) << "gdalinfo not installed: NetCDF not checked with it";
    }

    // A latitude-longitude grid carries geographic axes.
    std::string ll = totals();
    ll.replace(ll.find(utm), utm.size(), ":Projection         LatLong   \n:Ellipsoid          WGS84     \n");
    const std::string ncl = (d / "ll.nc").string();
    write_netcdf(read_r2c_file(write_file(d, "ll.r2c", ll).string()), ncl);
    if (have("gdalinfo")) {
        ToolRun r = run("gdalinfo '" + ncl + "'", d);
        EXPECT_NE(r.out.find("GEOGCRS[\"WGS_1984\""), std::string::npos) << r.out;
    }
    if (have("ncdump")) {
        ToolRun r = run("ncdump -h '" + ncl + "'", d);
        EXPECT_NE(r.out.find("x:units = \"degrees_east\""), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("crs:grid_mapping_name = \"latitude_longitude\""), std::string::npos) << r.out;
    }
    fs::remove_all(d);
}
#endif

// A watershed file: several attributes after the header, no frames.
std::string watershed() {
    return ":FileType r2c  ASCII  EnSim 1.0\n:WrittenBy tesk.exe\n" + utm + geometry_3x2 +
           ":AttributeName 1 Rank\n:AttributeName 2 Elev\n:EndHeader\n"
           "0 1 2\n3 0 4\n"
           "200 210 220\n230 240 250\n";
}

TEST(R2cTool, WatershedAttributesAndTheBasinMask) {
    fs::path d = scratch("shd");
    const std::string shd = write_file(d, "w_shd.r2c", watershed()).string();
    R2cFile w = read_r2c_file(shd);
    EXPECT_EQ(w.attribute_names, (std::vector<std::string>{"Rank", "Elev"}));
    std::ostringstream out;
    write_info(w, out);
    EXPECT_NE(out.str().find("Attributes:  2"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("    2  Elev                          200.00     250.00    225.000"), std::string::npos)
        << out.str();
    GridChoice elev;
    elev.attribute = "ELEV";
    EXPECT_FLOAT_EQ(choose_grid(w, elev).values[5], 250.0f);
    EXPECT_THROW(choose_grid(w, GridChoice{}), UsageError);
    EXPECT_THROW(choose_grid(w, GridChoice{1, false, {}}), UsageError);
    std::string short_one = watershed();
    short_one.erase(short_one.find("200 210"));
    EXPECT_THROW(read_r2c_file(write_file(d, "s_shd.r2c", short_one).string()), std::runtime_error);

    // Rank 0 (row 1 column 1, row 2 column 2) is outside the basin.
    R2cFile t = read_r2c_file(write_file(d, "t.r2c", totals()).string());
    const BasinMask m = read_basin_mask(shd, t);
    write_ascii_grid(t, GridChoice{}, (d / "t.asc").string(), m);
    EXPECT_NE(read_file(d / "t.asc").find("NODATA_value -9999\n100 -9999 7\n-9999 14 9\n"), std::string::npos);
    const QuickLook q = render_quicklook(t, GridChoice{}, {}, m);
    const int cw = q.map_w / 3, ch = q.map_h / 2;
    EXPECT_EQ(q.image.get(q.map_x + cw / 2, q.map_y + q.map_h - ch / 2), (Rgb{200, 200, 200}));  // no value
    EXPECT_EQ(q.image.get(q.map_x, q.map_y), (Rgb{0, 0, 0}));  // the outline, at the corner of the basin's cell
    std::string other = watershed();
    other.replace(other.find("500000.0000"), 11, "501000.0000");
    EXPECT_THROW(read_basin_mask(write_file(d, "o_shd.r2c", other).string(), t), UsageError);
    fs::remove_all(d);
}

#if defined(R2CTOOL_HAVE_NETCDF) && defined(R2CTOOL_HAVE_PROJ)
// The example's August on the event's regular hourly axis, named by its EPSG
// code and cut to the basin, as a model takes it.
TEST(R2cTool, ExampleAugustOnTheEventsHoursWithCodeAndBasin) {
    fs::path d = scratch("august");
    fs::copy(fs::path(NIMBEX_SOURCE_DIR) / "examples", d, fs::copy_options::recursive);
    ASSERT_EQ(run("cd '" + d.string() + "' && '" NIMBEX_BINARY "' < /dev/null", d).status, 0);
    const std::string nc = (d / "aug.nc").string();
    ToolRun r = run("cd '" + d.string() + "' && '" R2CTOOL_BINARY "' to-netcdf radcl/20230801_met.r2c '" + nc +
                        "' --event event/20230801.evt --crs EPSG:26917 --basin basin/demo_shd.r2c",
                    d);
    ASSERT_EQ(r.status, 0) << r.out;
    const R2cFile met = read_r2c_file((d / "radcl/20230801_met.r2c").string());
    const R2cFile shd = read_r2c_file((d / "basin/demo_shd.r2c").string());

    int id = -1, v = -1, dim = -1;
    ASSERT_EQ(nc_open(nc.c_str(), NC_NOWRITE, &id), NC_NOERR);
    std::size_t steps = 0;
    nc_inq_dimid(id, "time", &dim);
    nc_inq_dimlen(id, dim, &steps);
    ASSERT_EQ(steps, 744u);
    std::vector<double> t(744), b(2 * 744);
    nc_inq_varid(id, "time", &v);
    nc_get_var_double(id, v, t.data());
    char units[80] = {};
    nc_get_att_text(id, v, "units", units);
    EXPECT_STREQ(units, "hours since 2023-08-01 00:00:00");
    nc_inq_varid(id, "time_bnds", &v);
    nc_get_var_double(id, v, b.data());
    for (std::size_t k = 0; k < 744; ++k) {
        EXPECT_EQ(t[k], static_cast<double>(k));
        EXPECT_EQ(b[2 * k + 1] - b[2 * k], 1.0);
    }
    // Every frame at its hour, the dry hours 0, cells outside the basin filled.
    const std::size_t cells = 300;
    std::vector<float> p(744 * cells);
    nc_inq_varid(id, "precipitation", &v);
    nc_get_var_float(id, v, p.data());
    nc_close(id);
    std::vector<long> frame_at(744, -1);
    for (std::size_t i = 0; i < met.frames.size(); ++i)
        frame_at[static_cast<std::size_t>(hours_between(Stamp{2023, 8, 1, 0, 0, 0, true}, met.frames[i].time))] =
            static_cast<long>(i);
    std::size_t wrong = 0, outside = 0;
    for (std::size_t k = 0; k < 744; ++k)
        for (std::size_t c = 0; c < cells; ++c) {
            // Rank: the first attribute of the watershed file.
            const bool in = shd.frames[0].values[c] > 0.0f;
            const float want = !in ? -9999.0f : frame_at[k] < 0 ? 0.0f : met.frames[static_cast<std::size_t>(frame_at[k])].values[c];
            wrong += p[k * cells + c] != want;
            outside += !in && k == 0;
        }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(outside, 300u - 197u);  // 196 cells of the basin and its numbered outlet

    if (have("gdalinfo")) {
        r = run("gdalinfo '" + nc + "'", d);
        EXPECT_NE(r.out.find("ID[\"EPSG\",26917]]"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Band 744 "), std::string::npos);
    }
    fs::remove_all(d);
}
#endif

TEST(R2cTool, CommandLine) {
    fs::path d = scratch("cli");
    const fs::path a = write_file(d, "a.r2c", two_frames());
    const std::string tool = "'" R2CTOOL_BINARY "'";
    ToolRun r = run(tool + " --help", d);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("r2ctool info FILE.r2c"), std::string::npos) << r.out;
    EXPECT_EQ(run(tool, d).status, 2);
    EXPECT_EQ(run(tool + " frobnicate x", d).status, 2);
    r = run(tool + " info '" + (d / "nothing.r2c").string() + "'", d);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no such file"), std::string::npos) << r.out;
    r = run(tool + " to-ascii '" + a.string() + "' '" + (d / "x.asc").string() + "' --frame 9", d);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("--frame must be 1 to 2"), std::string::npos) << r.out;
    r = run(tool + " to-ascii '" + a.string() + "' '" + (d / "x.asc").string() + "' --frame 1", d);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "wrote " + (d / "x.asc").string() + " (frame 1 of 2, 2023/12/31 23:00)\n");
    r = run(tool + " info '" + a.string() + "'", d);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Frames:      2"), std::string::npos);

    // The exit statuses of the README's table.
    write_file(d, "w_shd.r2c", watershed());
#ifdef R2CTOOL_HAVE_NETCDF
    constexpr int netcdf = 0;
#ifdef R2CTOOL_HAVE_PROJ
    constexpr int proj = 0, wrong_code = 2;
#else
    constexpr int proj = 3, wrong_code = 3;
#endif
#else
    constexpr int netcdf = 3, proj = 3, wrong_code = 3;
#endif
    const struct {
        std::string args;
        int status;
    } cases[] = {
        {"--version", 0},
        {"info --help", 0},
        {"info", 2},
        {"info a.r2c w_shd.r2c", 2},
        {"info a.r2c --bogus", 2},
        {"info a.r2c --frame 1", 2},
        {"to-ascii a.r2c x.asc --frame 0", 2},
        {"to-ascii a.r2c x.asc --frame", 2},
        {"to-ascii a.r2c x.asc --attribute Rank", 2},
        {"to-ascii w_shd.r2c x.asc", 2},
        {"to-ascii w_shd.r2c x.asc --attribute Slope", 2},
        {"to-ascii w_shd.r2c x.asc --attribute rank --basin w_shd.r2c", 0},
        {"to-ascii a.r2c no/such/dir/x.asc", 1},
        {"to-netcdf a.r2c x.nc --stations s.xyz", netcdf == 0 ? 2 : 3},
        {"to-netcdf a.r2c x.nc --event no.evt", netcdf == 0 ? 1 : 3},
        {"to-netcdf a.r2c x.nc --crs 26917", netcdf == 0 ? 2 : 3},
        {"to-netcdf a.r2c x.nc --crs EPSG:32618", wrong_code},
        {"to-netcdf a.r2c x.nc --crs EPSG:26917 --basin w_shd.r2c", proj},
    };
    for (const auto& c : cases) {
        r = run("cd '" + d.string() + "' && " + tool + " " + c.args, d);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
    }
    fs::remove_all(d);
}
