// The watershed file and the static elevation grid, from a DEM and a mask.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <ostream>

#include "ensim/keyword_line.h"
#include "platform/clock.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/fortran_format.h"
#include "tools/nimbex-prep/prep.h"
#include "writers/r2c_writer.h"

namespace nimbex::prep {

namespace {

constexpr double metres_per_degree = 111120.0;  // as the parameter checks convert latitudes

std::string key(const char* k) { return fmt_pad(k, 24); }

struct ClassGrid {
    std::string name;
    Raster fractions;
};

void check_class_name(const std::string& name) {
    bool ok = !name.empty() && name.size() <= 10;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-')) ok = false;
    if (!ok)
        throw PrepError("class name '" + name + "': use 1 to 10 letters, digits, '_' or '-' (the parameter file "
                        "keeps 10 characters of a class name and ends it at a blank, comma or '/')");
}

// What the command line asks for.
struct WatershedRequest {
    std::string dem_path, mask_path, out_path;
    int zone = 0;
    std::string ellipsoid;
    bool latlong = false;
    OutputOptions oo;
};

WatershedRequest watershed_request(const Options& o) {
    WatershedRequest w;
    w.dem_path = o.need("--dem");
    w.mask_path = o.need("--mask");
    w.out_path = o.need("--out");
    if (o.has("--zone") != o.has("--ellipsoid") && !o.flag("--latlong"))
        throw UsageError("--zone and --ellipsoid go together");
    if (o.flag("--latlong") && o.has("--zone")) throw UsageError("--latlong takes no --zone");
    if (o.has("--zone")) {
        const double z = parse_number(o.get("--zone"), "--zone");
        if (z < 1 || z > 60 || z != std::floor(z)) throw UsageError("--zone needs a UTM zone 1 to 60");
        w.zone = static_cast<int>(z);
    }
    w.ellipsoid = o.has("--ellipsoid") ? o.get("--ellipsoid") : (o.flag("--latlong") ? "WGS84" : "");
    if (w.ellipsoid.size() > 10 || w.ellipsoid.find_first_of(" ,/") != std::string::npos)
        throw UsageError("--ellipsoid: one word of at most 10 characters (GRS80, WGS84, ...)");
    if (!is_r2c_file(w.out_path)) throw UsageError("--out: the watershed file's name must end in r2c (NAME_shd.r2c)");
    w.oo = OutputOptions{o.flag("--force")};
    w.latlong = o.flag("--latlong");
    return w;
}

// The --class grids, in the order given, on the DEM's grid.
std::vector<ClassGrid> read_class_grids(const Options& o, const Raster& dem) {
    std::vector<ClassGrid> classes;
    if (!o.has("--class")) return classes;
    for (const std::string& given : o.values.at("--class")) {
        const auto eq = given.find('=');
        if (eq == std::string::npos) throw UsageError("--class needs NAME=FRACTIONS, not '" + given + "'");
        const std::string name = given.substr(0, eq);
        check_class_name(name);
        for (const auto& c : classes)
            if (lower(c.name) == lower(name)) throw PrepError("class '" + name + "' is given twice");
        classes.push_back({name, read_raster(given.substr(eq + 1))});
        require_same_geometry(dem, classes.back().fractions);
    }
    if (classes.size() < 2)
        throw PrepError("give at least two classes: the next-to-last class is the water class of the "
                        "parameter file");
    for (std::size_t k = 0; k < classes.size(); ++k)
        if (lower(classes[k].name) == "water" && k + 2 != classes.size())
            throw PrepError("the class 'water' must be the next-to-last --class (the parameter file's water "
                            "class)");
    return classes;
}

// Basin cells, numbered from the highest to the lowest (a cell's number is
// then below those of the cells it drains to, as the suite numbers them):
// the rank of every cell, 0 outside the basin.
std::vector<float> basin_ranks(const WatershedRequest& w, const Raster& dem, const Raster& mask, int& n) {
    const int nx = dem.ncols, ny = dem.nrows;
    struct Cell {
        int row, col;
        double elev;
    };
    std::vector<Cell> cells;
    for (int i = 1; i <= ny; ++i)
        for (int j = 1; j <= nx; ++j) {
            const double m = mask.at(i, j);
            if (!(m > 0.0)) continue;
            const double e = dem.at(i, j);
            if (std::isnan(e))
                throw PrepError(w.dem_path + ": no elevation at row " + std::to_string(i) + " (from the south), column " +
                                std::to_string(j) + ", a cell of the mask");
            cells.push_back({i, j, e});
        }
    if (cells.empty()) throw PrepError(w.mask_path + ": no cell with a value above 0; the mask marks the basin with 1");
    std::stable_sort(cells.begin(), cells.end(), [](const Cell& x, const Cell& y) { return x.elev > y.elev; });
    n = static_cast<int>(cells.size());
    std::vector<float> rank(static_cast<std::size_t>(nx) * ny, 0.0f);
    for (int k = 0; k < n; ++k)
        rank[static_cast<std::size_t>(cells[k].row - 1) * nx + (cells[k].col - 1)] = static_cast<float>(k + 1);
    return rank;
}

// Class fractions of every cell; by default land 1.0 and water 0.0, water
// being the next-to-last class.
void class_fractions(const std::vector<ClassGrid>& classes, const std::vector<float>& rank, int nx, int ny,
                     std::vector<std::string>& class_names, std::vector<std::vector<float>>& class_values) {
    if (classes.empty()) {
        class_names = {"water", "land"};
        class_values.assign(2, std::vector<float>(rank.size(), 0.0f));
        std::fill(class_values[1].begin(), class_values[1].end(), 1.0f);
        return;
    }
    for (const auto& c : classes) class_names.push_back(c.name);
    class_values.assign(classes.size(), std::vector<float>(rank.size(), 0.0f));
    for (int i = 1; i <= ny; ++i)
        for (int j = 1; j <= nx; ++j) {
            const std::size_t at = static_cast<std::size_t>(i - 1) * nx + (j - 1);
            if (rank[at] == 0.0f) continue;
            double sum = 0.0;
            for (const auto& c : classes) {
                const double f = c.fractions.at(i, j);
                if (!(f >= 0.0 && f <= 1.0))
                    throw PrepError(c.fractions.path + ": fraction " + real_text(f) + " at row " +
                                    std::to_string(i) + ", column " + std::to_string(j) +
                                    " (a basin cell) is not between 0 and 1");
                sum += f;
            }
            if (std::fabs(sum - 1.0) > 0.01)
                throw PrepError("the class fractions of row " + std::to_string(i) + ", column " + std::to_string(j) +
                                " add up to " + real_text(sum) + ", not 1");
            for (std::size_t k = 0; k < classes.size(); ++k)
                class_values[k][at] = static_cast<float>(classes[k].fractions.at(i, j) / sum);
        }
}

// The attributes the readers store, at values that change nothing for
// precipitation work; the class fractions follow them (always the last ones).
struct Attr {
    const char* name;
    R2cFormat format;  // value format of the grid
    float inside;      // value of a basin cell (NaN: from a grid)
};

std::vector<Attr> cell_attributes(double al) {
    const float cell_km2 = static_cast<float>(al * al / 1.0e6);
    const float nan = std::nanf("");
    constexpr R2cFormat F10 = R2cFormat::f10_0, E12 = R2cFormat::e12_6;
    return {
        {"Rank", F10, nan},       {"Next", F10, 0.0f},        {"DA", E12, cell_km2},
        {"Bankfull", E12, 0.0f},  {"ChnlSlope", E12, 0.001f}, {"Elev", R2cFormat::f8_3, nan},
        {"ChnlLength", E12, static_cast<float>(al)},          {"IAK", F10, 1.0f},
        {"IntSlope", E12, 0.01f}, {"Chnl", F10, 0.0f},        {"Reach", F10, 0.0f},
        {"GridArea", E12, static_cast<float>(al * al)},       {"FetchNE", F10, 0.0f},
        {"FetchE", F10, 0.0f},    {"FetchSE", F10, 0.0f},     {"FetchS", F10, 0.0f},
        {"FetchSW", F10, 0.0f},   {"FetchW", F10, 0.0f},      {"FetchNW", F10, 0.0f},
        {"FetchN", F10, 0.0f},
    };
}

// The header of the watershed file, up to and with ":EndHeader".
std::string shed_header(const WatershedRequest& w, const Raster& dem, double al, int n,
                        const std::vector<std::string>& class_names, const std::vector<Attr>& attrs) {
    std::string h;
    auto line = [&](const std::string& s) { h += s + '\n'; };
    auto kv = [&](const char* k, const std::string& v) { line(key(k) + v); };
    const DateTime now = now_local();
    char date[40];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d  %02d:%02d", now.year, now.month, now.day, now.hour, now.minute);
    std::string source = w.dem_path;
    file_part(source);
    line(std::string(40, '#'));
    line(":FileType r2c  ASCII  EnSim 1.0");
    line("#");
    line("# DataType               2D Rect Cell");
    line("#");
    kv(":Application", "nimbex-prep");
    kv(":WrittenBy", "nimbex-prep");
    kv(":CreationDate", date);
    line("#");
    line("#" + std::string(39, '-'));
    line("#");
    kv(":SourceFileName", fit(source, 128).substr(0, std::min<std::size_t>(source.size(), 128)));
    kv(":NominalGridSize_AL", real_text(al));
    kv(":ContourInterval", "1.0");
    kv(":ImperviousArea", "0.0");
    kv(":ClassCount", std::to_string(class_names.size()));
    kv(":NumRiverClasses", "1");
    kv(":ElevConversion", "1.0");
    kv(":TotalNumOfGrids", std::to_string(n));
    kv(":NumGridsInBasin", std::to_string(n));
    kv(":DebugGridNo", "1");
    line("#");
    if (w.latlong) {
        kv(":Projection", "LatLong");
        kv(":Ellipsoid", w.ellipsoid);
    } else if (w.zone > 0) {
        kv(":Projection", "UTM");
        kv(":Zone", std::to_string(w.zone));
        kv(":Ellipsoid", w.ellipsoid);
    } else {
        kv(":Projection", "Cartesian");
    }
    line("#");
    kv(":xOrigin", real_text(dem.xll));
    kv(":yOrigin", real_text(dem.yll));
    line("#");
    int number = 0;
    for (const auto& at : attrs) line(":AttributeName " + std::to_string(++number) + " " + at.name);
    for (const auto& c : class_names) line(":AttributeName " + std::to_string(++number) + " " + c);
    line("#");
    kv(":xCount", std::to_string(dem.ncols));
    kv(":yCount", std::to_string(dem.nrows));
    kv(":xDelta", real_text(dem.dx));
    kv(":yDelta", real_text(dem.dy));
    line("#");
    line(":EndHeader");
    return h;
}

// One grid per attribute after the header, then the class fractions.
void append_shed_grids(std::string& h, const Raster& dem, const std::vector<float>& rank,
                       const std::vector<Attr>& attrs, const std::vector<std::vector<float>>& class_values) {
    const int nx = dem.ncols, ny = dem.nrows;
    std::vector<float> elev(rank.size(), 0.0f);
    float emax = 0.0f;
    for (std::size_t c = 0; c < elev.size(); ++c)
        if (!std::isnan(dem.values[c])) {
            elev[c] = static_cast<float>(dem.values[c]);
            emax = std::max(emax, std::fabs(elev[c]));
        }
    const R2cFormat elev_format = emax < 9999.0f ? R2cFormat::f8_3 : R2cFormat::e12_6;
    std::vector<float> grid(rank.size());
    auto put_grid = [&](const std::vector<float>& v, R2cFormat format) {
        for (int i = 1; i <= ny; ++i) append_r2c_row(h, v.data() + static_cast<std::size_t>(i - 1) * nx, nx, format);
    };
    for (const auto& at : attrs) {
        if (std::string(at.name) == "Rank") {
            put_grid(rank, at.format);
        } else if (std::string(at.name) == "Elev") {
            put_grid(elev, elev_format);
        } else {
            for (std::size_t c = 0; c < grid.size(); ++c) grid[c] = rank[c] > 0.0f ? at.inside : 0.0f;
            put_grid(grid, at.format);
        }
    }
    for (const auto& v : class_values) put_grid(v, R2cFormat::f8_5);
}

}  // namespace

int cmd_watershed(const Args& a, std::ostream& out) {
    const Options o = parse_options(a, {"--dem", "--mask", "--out", "--zone", "--ellipsoid", "--class"},
                                    {"--latlong", "--force"}, 0);
    const WatershedRequest w = watershed_request(o);
    may_write(w.out_path, w.oo);

    const Raster dem = read_raster(w.dem_path);
    const Raster mask = read_raster(w.mask_path);
    require_same_geometry(dem, mask);
    const std::vector<ClassGrid> classes = read_class_grids(o, dem);
    if (!w.latlong && std::fabs(dem.dx - dem.dy) > 1.0e-6 * dem.dx)
        throw PrepError(w.dem_path + ": cells of " + real_text(dem.dx) + " by " + real_text(dem.dy) +
                        "; the program measures distances in cells, so the cells must be square");
    int n = 0;
    const std::vector<float> rank = basin_ranks(w, dem, mask, n);
    std::vector<std::string> class_names;
    std::vector<std::vector<float>> class_values;
    class_fractions(classes, rank, dem.ncols, dem.nrows, class_names, class_values);

    const double al = w.latlong ? dem.dy * metres_per_degree : dem.dx;
    const std::vector<Attr> attrs = cell_attributes(al);
    std::string h = shed_header(w, dem, al, n, class_names, attrs);
    append_shed_grids(h, dem, rank, attrs, class_values);
    write_text_file(w.out_path, h, w.oo);
    out << "wrote " << w.out_path << ": " << dem.ncols << " x " << dem.nrows << " cells, " << n << " in the basin, "
        << class_names.size() << " classes";
    for (const auto& c : class_names) out << " " << c;
    out << "\n";
    return 0;
}

namespace {

// Where the watershed's grid starts in the DEM, in whole cells (column and
// row offsets); refuses a DEM of other cells, not aligned or too small.
void dem_offset(const Raster& dem, const std::string& dem_path, const GridDescription& g, long& cx, long& cy) {
    const double tol = 1.0e-3;
    if (std::fabs(dem.dx - g.xdelta) > tol || std::fabs(dem.dy - g.ydelta) > tol)
        throw PrepError(dem_path + ": cells of " + real_text(dem.dx) + " by " + real_text(dem.dy) + ", the watershed's are " +
                        real_text(g.xdelta) + " by " + real_text(g.ydelta) + "; resample the DEM to the watershed's cells");
    const double ox = (g.xorigin - dem.xll) / dem.dx, oy = (g.yorigin - dem.yll) / dem.dy;
    cx = std::lround(ox);
    cy = std::lround(oy);
    if (std::fabs(ox - cx) * dem.dx > tol || std::fabs(oy - cy) * dem.dy > tol)
        throw PrepError(dem_path + ": its cells are not aligned with the watershed's (the corners differ by a part of "
                        "a cell); resample the DEM to the watershed's grid");
    if (cx < 0 || cy < 0 || cx + g.xcount > dem.ncols || cy + g.ycount > dem.nrows)
        throw PrepError(dem_path + " does not cover the watershed's grid (" + std::to_string(g.xcount) + " x " +
                        std::to_string(g.ycount) + " cells from " + real_text(g.xorigin) + ", " + real_text(g.yorigin) + ")");
}

// The DEM's elevations on the watershed's grid, in the writer's grid; every
// basin cell needs one. Returns the value format they fit.
R2cFormat elevations_on_grid(RunState& rs, const Raster& dem, const std::string& dem_path, const GridDescription& g,
                             long cx, long cy) {
    rs.dist.nx = g.xcount;
    rs.dist.ny = g.ycount;
    rs.dist.outarray.assign(static_cast<std::size_t>(g.xcount) * g.ycount, 0.0f);
    R2cFormat format = R2cFormat::f8_3;
    for (int i = 1; i <= g.ycount; ++i)
        for (int j = 1; j <= g.xcount; ++j) {
            const double e = dem.at(static_cast<int>(i + cy), static_cast<int>(j + cx));
            if (std::isnan(e)) {
                if (rs.shed.rank_at(i, j) > 0)
                    throw PrepError(dem_path + ": no elevation at row " + std::to_string(i) + ", column " +
                                    std::to_string(j) + " of the watershed, a basin cell");
                continue;
            }
            if (std::fabs(e) >= 9999.0) format = R2cFormat::e12_6;
            rs.dist.outarray[static_cast<std::size_t>(i - 1) * g.xcount + (j - 1)] = static_cast<float>(e);
        }
    return format;
}

}  // namespace

int cmd_elevation(const Args& a, std::ostream& out) {
    const Options o = parse_options(a, {"--dem", "--shd", "--out"}, {"--force"}, 0);
    const std::string dem_path = o.need("--dem"), shd_path = o.need("--shd"), out_path = o.need("--out");
    const OutputOptions oo{o.flag("--force")};
    may_write(out_path, oo);
    ReaderSession s;
    read_watershed(s, shd_path);
    const GridDescription g = s.rs().grid;
    const Raster dem = read_raster(dem_path);
    long cx = 0, cy = 0;
    dem_offset(dem, dem_path, g, cx, cy);
    RunState& rs = s.rs();
    const R2cFormat format = elevations_on_grid(rs, dem, dem_path, g, cx, cy);
    OutputGridHeader& h = rs.out_hdr;
    h.written_by = "nimbex-prep";
    h.name = "Elevation";
    h.projection = g.projection.trimmed();
    h.ellipsoid = g.ellipsoid.trimmed();
    h.zone = g.zone;
    h.xorigin = g.xorigin;
    h.yorigin = g.yorigin;
    h.xcount = g.xcount;
    h.ycount = g.ycount;
    h.xdelta = g.xdelta;
    h.ydelta = g.ydelta;
    std::string source = dem_path;
    file_part(source);
    h.source_file = source;
    make_parent_dirs(out_path);
    rs.file_name(entry::static_grid) = out_path;
    try {
        R2cWriter grid(rs, unit::static_grid, entry::static_grid, 1);
        grid.open();
        grid.grid(1, format);
    } catch (const FatalStop& stop) {
        throw PrepError(out_path + ": " + stop.what());
    }
    out << "wrote " << out_path << ": elevations of " << g.xcount << " x " << g.ycount << " cells from " << dem_path
        << "\n";
    return 0;
}

}  // namespace nimbex::prep
