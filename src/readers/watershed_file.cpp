// Reads the watershed file (bsnm_shd.r2c): grid, cell numbering and per-grid data.
#include "readers/watershed_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "ensim/keyword_line.h"
#include "ensim/r2c_header.h"
#include "platform/allocation.h"
#include "platform/bounds.h"
#include "platform/fast_fixed.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/files.h"
#include "platform/fortran_format.h"
#include "platform/limits.h"
#include "platform/parallel.h"
#include "platform/text.h"
#include "platform/whole_numbers.h"

namespace nimbex {

namespace {

// Where the values of one attribute go.
struct Target {
    std::vector<float>* reals = nullptr;
    std::vector<int>* ints = nullptr;
    int fetch_dir = 0;       // 1..8
    bool gridarea = false;   // also the fraction of a nominal cell
    bool old_frac = false;   // an attribute of the old layout
};

Target target_of(std::string_view lname, ShedState& sh) {
    Target t;
    if (lname == "next") t.ints = &sh.next;
    else if (lname == "da") t.reals = &sh.da;
    else if (lname == "bankfull") t.reals = &sh.bnkfll;
    else if (lname == "chnlslope") t.reals = &sh.slope;
    else if (lname == "elev") t.reals = &sh.elev;
    else if (lname == "chnllength") t.reals = &sh.chnllength;
    else if (lname == "iak") t.ints = &sh.iak;
    else if (lname == "intslope") t.reals = &sh.intslope;
    else if (lname == "chnl") t.ints = &sh.ichnl;
    else if (lname == "reach") t.ints = &sh.ireach;
    else if (lname == "gridarea") { t.reals = &sh.gridarea; t.gridarea = true; }
    else if (lname == "flz") t.reals = &sh.flz;
    else if (lname == "pwr") t.reals = &sh.pwr;
    else if (lname == "r1n") t.reals = &sh.r1n;
    else if (lname == "r2n") t.reals = &sh.r2n;
    else if (lname == "mndr") t.reals = &sh.mndr;
    else if (lname == "aa2") t.reals = &sh.aa2;
    else if (lname == "aa3") t.reals = &sh.aa3;
    else if (lname == "aa4") t.reals = &sh.aa4;
    else if (lname == "widep") t.reals = &sh.widep;
    else if (lname == "fetchne") t.fetch_dir = 1;
    else if (lname == "fetche") t.fetch_dir = 2;
    else if (lname == "fetchse") t.fetch_dir = 3;
    else if (lname == "fetchs") t.fetch_dir = 4;
    else if (lname == "fetchsw") t.fetch_dir = 5;
    else if (lname == "fetchw") t.fetch_dir = 6;
    else if (lname == "fetchnw") t.fetch_dir = 7;
    else if (lname == "fetchn") t.fetch_dir = 8;
    else if (lname == "frac") t.old_frac = true;
    return t;
}

// The counts and sizes of the header, before anything is sized or indexed
// with them.
void check_shed_counts(Console& con, const ShedHeader& h, const std::string& name) {
    const std::int64_t cells = std::int64_t{h.xcount} * h.ycount;
    const std::int64_t attributes = std::max(h.attribute_count, 1);
    std::string what;
    if (h.xcount < 1 || h.ycount < 1)
        what = "grid size";
    else if (cells > max_values || cells * attributes > max_values)
        what = "grid size";
    else if (!std::isfinite(h.xdelta) || !std::isfinite(h.ydelta) || !(h.xdelta > 0.0f) || !(h.ydelta > 0.0f) ||
             !std::isfinite(h.xorigin) || !std::isfinite(h.yorigin))
        what = "cell size or origin";
    else if (h.totalnumofgrids < 0 || h.totalnumofgrids > cells)
        what = ":TotalNumOfGrids";
    else if (h.classcount < 0 || h.classcount > max_classes || h.numriverclasses < 0 ||
             h.numriverclasses > max_classes)
        what = "class count";
    else if (!std::isfinite(h.nominalgridsize_al))
        what = ":NominalGridSize_AL";
    if (what.empty()) {
        // Origins and cell sizes go into every output header, and the nominal
        // size converts the radius and smoothing distance to cells.
        check_range(con, "read_shed_ef", ":xDelta", h.xdelta, min_cell_size, max_cell_size, name);
        check_range(con, "read_shed_ef", ":yDelta", h.ydelta, min_cell_size, max_cell_size, name);
        check_magnitude(con, "read_shed_ef", ":xOrigin", h.xorigin, max_coordinate, name);
        check_magnitude(con, "read_shed_ef", ":yOrigin", h.yorigin, max_coordinate, name);
        // A size of 0 or below (none given) stops where the distances are converted.
        if (h.nominalgridsize_al > 0.0f)
            check_range(con, "read_shed_ef", ":NominalGridSize_AL", h.nominalgridsize_al, min_nominal_size,
                        max_nominal_size, name);
        return;
    }
    con.line("ERROR in the watershed file " + name);
    con.line(msg() << ":xCount" << h.xcount << " :yCount" << h.ycount << " attributes" << h.attribute_count);
    con.line(msg() << ":xDelta " << h.xdelta << " :yDelta " << h.ydelta << " :xOrigin " << h.xorigin
                   << " :yOrigin " << h.yorigin);
    con.line(msg() << ":TotalNumOfGrids" << h.totalnumofgrids << " :ClassCount" << h.classcount
                   << " :NumRiverClasses" << h.numriverclasses);
    con.line("Counts must be 1 or more (classes 0 to 1000, grids 0 to xCount*yCount),");
    con.line("cells times attributes at most 268435456, cell sizes above 0");
    fatal_stop("Program aborted in read_shed_ef: " + what + " out of range in " + name);
}

// Lines for the information report; nothing when it is not open.
struct InfoReport {
    FileUnit* info = nullptr;
    void operator()(std::string_view text) const {
        if (info) info->put_line(text);
    }
};

// The file must be there, be an r2c file and open.
FileUnit& open_shed_file(RunState& rs, int unit, int entry, const std::string& name, const InfoReport& report) {
    Console& con = rs.con;
    if (!file_exists(map_path(name))) {
        con.blank();
        con.line("Fatal error");
        con.line("basin\\******_shd.r2c file not found");
        con.line("not found. Please check the event\\event.evt file");
        con.line("for correct keyword and/or file name");
        con.blank();
        fatal_stop("Program aborted in read_shd_ef @ 1301");
    }
    if (!is_r2c_file(name)) {
        con.line("Old format shd files not accepted");
        con.line("Please create EF ????_shd.r2c files & rerun");
        fatal_stop("Program aborted in read_shd_ef @ 994");
    }
    if (int ios = rs.files.open(unit, name, OpenStatus::old_file); ios != 0) {
        con.blank();
        con.line(msg() << "Problems in file" << entry << first_chars(name, 40));
        con.line(name);
        report(name);
        con.line(msg() << "iostat code =" << ios);
        fatal_stop("program aborted in read_shed_ef @ 130");
    }
    return rs.files[unit];
}

// The run's geometry, coordinate system and counts from the header; the
// debug grid must lie in the basin.
void take_header(Console& con, const ShedHeader& hdr, GridDescription& g, ShedState& sh) {
    g.xcount = hdr.xcount;
    g.ycount = hdr.ycount;
    g.xorigin = hdr.xorigin;
    g.yorigin = hdr.yorigin;
    g.xdelta = hdr.xdelta;
    g.ydelta = hdr.ydelta;
    g.projection = first_chars(hdr.projection.str(), 10);
    g.ellipsoid = first_chars(hdr.ellipsoid.str(), 10);
    g.zone = hdr.zone;
    g.latlong = is_latlong(hdr.projection.str());
    sh.classcount = hdr.classcount;
    sh.classcount_minus1 = hdr.classcount - 1;
    sh.numriverclasses = hdr.numriverclasses;
    sh.totalnumofgrids = hdr.totalnumofgrids;
    sh.numgridsinbasin = hdr.numgridsinbasin;
    sh.debuggridno = hdr.debuggridno;
    sh.nominalgridsize_al = hdr.nominalgridsize_al;

    if (sh.debuggridno > sh.numgridsinbasin) {
        con.line("debug grid is outside the watershed");
        con.line("This can happen if:");
        con.line("     You chose the wrong number or");
        con.line("     You are using a subwatershed");
        con.line("Please edit the shd file so");
        con.line("DebugGridNumber < NumGridsInBasin");
        con.line(msg() << sh.debuggridno << sh.numgridsinbasin);
        con.blank();
        fatal_stop("Program aborted in read_shd_ef @ 244");
    }
}

// Grid bounds and cell sizes: minutes for a geographic grid, km otherwise;
// and the nominal cell size in km.
void set_bounds(const ShedHeader& hdr, bool latlong, ShedState& sh) {
    const int xcount = hdr.xcount, ycount = hdr.ycount;
    if (latlong) {
        sh.south = cut_to_int(60.0f * hdr.yorigin);
        sh.north = cut_to_int(60.0f * (hdr.yorigin + static_cast<float>(ycount) * hdr.ydelta));
        sh.west = cut_to_int(60.0f * hdr.xorigin);
        sh.east = cut_to_int(60.0f * (hdr.xorigin + static_cast<float>(xcount) * hdr.xdelta));
        sh.x_cell = 60.0f * hdr.xdelta;
        sh.y_cell = 60.0f * hdr.ydelta;
    } else {
        sh.x_cell = hdr.xdelta / 1000.0f;
        sh.y_cell = hdr.ydelta / 1000.0f;
        sh.west = cut_to_int(hdr.xorigin / 1000.0f);
        sh.south = cut_to_int(hdr.yorigin / 1000.0f);
        sh.east = cut_to_int(static_cast<float>(sh.west) + static_cast<float>(xcount - 1) * sh.x_cell);
        sh.north = cut_to_int(static_cast<float>(sh.south) + static_cast<float>(ycount - 1) * sh.y_cell);
    }
    sh.pdl_south = sh.south;
    sh.pdl_north = sh.north;
    sh.pdl_west = sh.west;
    sh.pdl_east = sh.east;
    sh.ix_cell = cut_to_int(sh.x_cell);
    sh.iy_cell = cut_to_int(sh.y_cell);

    sh.al_km = sh.nominalgridsize_al / 1000.0f;
    sh.al_km2 = sh.al_km * sh.al_km;
    sh.al_whole_km = std::max(1, cut_to_int(sh.al_km));
}

// Rank grid and per-grid arrays (grid numbers from 1; element 0 unused).
void size_arrays(ShedState& sh, std::size_t nx, std::size_t ny) {
    const std::size_t ng = static_cast<std::size_t>(std::max(0, sh.totalnumofgrids)) + 1;
    const int ncls = std::max(0, sh.classcount);
    sh.shed_xcount = static_cast<int>(nx);
    sh.shed_ycount = static_cast<int>(ny);
    allocate_or_stop("Warning: error with allocation of  arrays in read_shd @ 676",
                     [&] { sh.rank.assign(nx * ny, 0); });
    allocate_or_stop("Warning: error with allocation of  arrays in read_shd @ 710", [&] {
        for (auto* v : {&sh.next, &sh.iak, &sh.ichnl, &sh.ireach, &sh.yyy, &sh.xxx}) v->assign(ng, 0);
    });
    allocate_or_stop("Warning: error with allocation of arrays in read_shd @ 731", [&] {
        for (auto* v : {&sh.da, &sh.bnkfll, &sh.slope, &sh.elev, &sh.chnllength, &sh.intslope, &sh.sqrt_intslope,
                        &sh.flz, &sh.pwr, &sh.r1n, &sh.r2n, &sh.mndr, &sh.aa2, &sh.aa3, &sh.aa4, &sh.widep,
                        &sh.gridarea, &sh.frac})
            v->assign(ng, 0.0f);
    });
    allocate_or_stop("Error with allocation of area16a arrays in sheda",
                     [&] { sh.aclass.assign(ng * static_cast<std::size_t>(ncls), 0.0f); });
    allocate_or_stop("Error with allocation of Fetch vectors in read_shed @ 336",
                     [&] { sh.fetch.assign(ng * 8, 0.0f); });
}

// The land-cover fraction of class k (1..classcount) in grid n.
std::size_t class_index(const ShedState& sh, int n, int k) {
    const int ncls = std::max(0, sh.classcount);
    return static_cast<std::size_t>(n) * static_cast<std::size_t>(ncls) + static_cast<std::size_t>(k - 1);
}
float& class_fraction(ShedState& sh, int n, int k) { return sh.aclass[class_index(sh, n, k)]; }
float class_fraction(const ShedState& sh, int n, int k) { return sh.aclass[class_index(sh, n, k)]; }

// True for a cell whose grid number has an entry in the per-grid arrays.
bool numbered(const ShedState& sh, int n) { return n > 0 && n <= std::max(0, sh.totalnumofgrids); }

// Takes the attribute grids as they are read: the grid numbers from the
// (last) Rank attribute, then each attribute's values into the per-grid
// arrays of the cells in the basin, and the last classcount attributes as
// the land-cover fractions, in their order. Grids read before the ranks are
// held until the ranks are known; the others are used and handed back at
// once, so that only one grid is held at a time in a usual file.
class AttributeValues {
public:
    AttributeValues(const ShedHeader& hdr, ShedState& sh)
        : sh_(sh), count_(std::min<int>(hdr.attribute_count, static_cast<int>(hdr.attributes.size()))),
          cells_(static_cast<std::size_t>(sh.shed_xcount) * static_cast<std::size_t>(sh.shed_ycount)) {
        for (int a = 0; a < count_; ++a) {
            std::string s(hdr.attributes[static_cast<std::size_t>(a)].name.trimmed());
            lower_case(s);
            if (s == "rank") rank_at_ = a;
            targets_.push_back(target_of(s, sh));
        }
        held_.resize(static_cast<std::size_t>(count_));
    }

    AttributeTaker taker() {
        return [this](int a, const float* v) { return take(a, v); };
    }

    // True when an attribute of the old layout meets a cell of the basin.
    bool old_layout() const { return old_layout_; }

private:
    bool take(int a, const float* v) {
        if (a < rank_at_) {
            held_[static_cast<std::size_t>(a)].assign(v, v + cells_);
            return true;
        }
        if (a == rank_at_) {
            for (std::size_t c = 0; c < cells_; ++c) sh_.rank[c] = cut_to_int(v[c]);
            for (int h = 0; h < a; ++h) {
                use(h, held_[static_cast<std::size_t>(h)].data());
                std::vector<float>().swap(held_[static_cast<std::size_t>(h)]);
            }
        }
        use(a, v);
        return true;
    }

    // The attribute's values in the per-grid arrays of every cell in the
    // basin; a rank beyond the per-grid arrays has no entry there.
    void use(int a, const float* v) {
        const Target& t = targets_[static_cast<std::size_t>(a)];
        const int ncls = std::max(0, sh_.classcount);
        const int k = a - (count_ - ncls) + 1;  // its land-cover class, when 1..ncls
        const float nominal_area = sh_.nominalgridsize_al * sh_.nominalgridsize_al;
        for (std::size_t c = 0; c < cells_; ++c) {
            const int n = sh_.rank[c];
            if (!numbered(sh_, n)) continue;
            const std::size_t un = static_cast<std::size_t>(n);
            if (t.reals) (*t.reals)[un] = v[c];
            else if (t.ints) (*t.ints)[un] = cut_to_int(v[c]);
            else if (t.fetch_dir) sh_.fetch[un * 8 + static_cast<std::size_t>(t.fetch_dir - 1)] = v[c];
            else if (t.old_frac) old_layout_ = true;
            if (t.gridarea) sh_.frac[un] = v[c] / nominal_area;
            if (k >= 1 && k <= ncls) class_fraction(sh_, n, k) = v[c];
        }
    }

    ShedState& sh_;
    int count_;
    std::size_t cells_;
    int rank_at_ = -1;  // no Rank attribute: no cell is in the basin
    std::vector<Target> targets_;
    std::vector<std::vector<float>> held_;
    bool old_layout_ = false;
};

// A warning for the cells the per-grid arrays cannot hold, and a stop when
// no cell is left.
void check_ranks(Console& con, ShedState& sh, const std::string& name) {
    const std::size_t cells = static_cast<std::size_t>(sh.shed_xcount) * static_cast<std::size_t>(sh.shed_ycount);
    const int ntot = std::max(0, sh.totalnumofgrids);
    // Cells numbered beyond :TotalNumOfGrids (all of them when the keyword
    // is missing) have no entry in the per-grid arrays and are left out: no
    // elevation, no land cover. That must not go unsaid.
    std::int64_t dropped = 0, kept = 0;
    for (std::size_t c = 0; c < cells; ++c) {
        if (sh.rank[c] > ntot) ++dropped;
        else if (sh.rank[c] > 0) ++kept;
    }
    if (dropped > 0) {
        con.line("WARNING:");
        con.line(std::to_string(dropped) + " cells of the watershed file " + name);
        con.line("have a rank above :TotalNumOfGrids " + std::to_string(ntot) + " (is the keyword missing?)");
        con.line("These cells are left out: no elevation or land cover is taken for them");
        con.blank();
        if (kept == 0) {
            con.line("No cell of the basin is left");
            fatal_stop("Program aborted in read_shed_ef: every rank is above :TotalNumOfGrids " +
                       std::to_string(ntot) + " in " + name);
        }
    }
}

// A file of the old layout (a Frac attribute) is refused.
void refuse_old_layout(Console& con) {
    con.blank();
    con.line("Error: old format shd file found");
    con.line("Please create a new bsnm_shd.r2c file using the");
    con.line("current version of tesk.exe");
    con.blank();
    fatal_stop("Program aborted in read_shed_ef @ 447");
}

// Elevations scale the rain of every cell when a lapse rate is set.
void check_elevations(Console& con, const ShedState& sh, const std::string& name) {
    for (int n = 1; n <= std::max(0, sh.totalnumofgrids); ++n) {
        const float e = sh.elev[static_cast<std::size_t>(n)];
        if (!in_range(e, -max_elevation, max_elevation))
            check_magnitude(con, "read_shed_ef", "elev of grid no " + std::to_string(n), e, max_elevation, name);
    }
}

// The debug grid's dominant class (the land-cover fractions are the last
// classcount attributes, in their order; a file with fewer attributes than
// classes leaves the missing classes 0) and each grid number's row and column.
void place_classes_and_grids(ShedState& sh) {
    const std::size_t nx = static_cast<std::size_t>(sh.shed_xcount), ny = static_cast<std::size_t>(sh.shed_ycount);
    const int ncls = std::max(0, sh.classcount);
    sh.dominant_class = 1;
    if (ncls >= 2 && numbered(sh, sh.debuggridno)) {
        for (int k = 2; k <= ncls; ++k)
            if (class_fraction(sh, sh.debuggridno, k) > class_fraction(sh, sh.debuggridno, sh.dominant_class))
                sh.dominant_class = k;
    }

    for (std::size_t i = 1; i <= ny; ++i)
        for (std::size_t j = 1; j <= nx; ++j) {
            const int n = sh.rank[(i - 1) * nx + (j - 1)];
            if (!numbered(sh, n)) continue;
            sh.yyy[static_cast<std::size_t>(n)] = static_cast<int>(i);
            sh.xxx[static_cast<std::size_t>(n)] = static_cast<int>(j);
        }
}

// The class fractions of every cell, one block of rows per class.
void report_class_fractions(ShedState& sh, const InfoReport& report) {
    const std::size_t nx = static_cast<std::size_t>(sh.shed_xcount), ny = static_cast<std::size_t>(sh.shed_ycount);
    std::string line;
    report("Land Cover class fractions:");
    for (int k = 1; k <= std::max(0, sh.classcount); ++k) {
        line = "class no=";
        put_i(line, k, 5);
        report(line);
        for (std::size_t i = 0; i < ny; ++i) {
            line.clear();
            for (std::size_t j = 0; j < nx; ++j) {
                const int n = sh.rank[i * nx + j];
                append_fixed(line, numbered(sh, n) ? class_fraction(sh, n, k) : 0.0f, 6, 2);
            }
            report(line);
        }
    }
}

// The debug grid's row and column (0 and 0 when there is none).
void place_debug_grid(ShedState& sh, const InfoReport& report) {
    sh.debug_row = sh.debug_col = 0;  // no grid carries number 0: no debug grid
    if (!numbered(sh, sh.debuggridno)) return;
    sh.debug_row = sh.yyy[static_cast<std::size_t>(sh.debuggridno)];
    sh.debug_col = sh.xxx[static_cast<std::size_t>(sh.debuggridno)];
    report("");
    std::string line = " Debug grid reset to grid number n,row col";
    put_i(line, sh.debuggridno, 7);
    put_i(line, sh.debug_row, 7);
    put_i(line, sh.debug_col, 7);
    report(line);
}

// The grid numbers the file declares in the basin that the arrays hold:
// the others are left out of the checks and the listing.
int basin_grids(const ShedState& sh) { return std::min(sh.numgridsinbasin, std::max(0, sh.totalnumofgrids)); }

// Class fractions of a basin grid that do not add up to 1 are scaled to.
void correct_class_areas(ShedState& sh, const InfoReport& report) {
    const int ncls = std::max(0, sh.classcount);
    std::string line;
    for (int n = 1; n <= basin_grids(sh); ++n) {
        const std::size_t un = static_cast<std::size_t>(n);
        float sum = 0.0f;
        for (int k = 1; k <= ncls; ++k) sum += class_fraction(sh, n, k);
        if (sum == 1.0f) continue;
        line = " Warning: area correction in grid(n,i,j)";
        put_i(line, n, 5);
        put_i(line, sh.yyy[un], 5);
        put_i(line, sh.xxx[un], 5);
        append_fixed(line, sum, 9, 5);
        report(line);
        if (sum > 0.0f) {
            for (int k = 1; k <= ncls; ++k) class_fraction(sh, n, k) = class_fraction(sh, n, k) / sum;
        } else {
            line = " Warning: total area = 0.0 for grid(n,i,j)";
            put_i(line, n, 5);
            put_i(line, sh.yyy[un], 5);
            put_i(line, sh.xxx[un], 5);
            for (int k = 1; k <= ncls; ++k) report(line);
        }
    }
}

// Slopes are kept as their square roots; a negative channel slope stops.
void take_slope_roots(Console& con, ShedState& sh, const std::string& name) {
    for (int n = 1; n <= std::max(0, sh.totalnumofgrids); ++n) {
        const std::size_t un = static_cast<std::size_t>(n);
        if (sh.slope[un] < 0.0f) {
            con.line(msg() << "In read_shed_ef reading the file :" << name);
            con.line(msg() << "The slope in grid no " << n << " is " << sh.slope[un]);
            con.line(msg() << "row" << sh.yyy[un] << " col" << sh.xxx[un]);
            con.line("Please check the elevations in the map file ");
            con.line("or change the slope value in the shd file");
            con.line("The former is recommended as the permanent solution");
            con.blank();
            fatal_stop("Program aborted in read_shed_ef @ 756");
        }
        sh.slope[un] = std::sqrt(sh.slope[un]);
        sh.sqrt_intslope[un] = std::sqrt(sh.intslope[un]);
    }
}

// The lines of grids first..last of the per-grid listing or of the fetch
// distances, appended to out.
void grid_property_lines(const ShedState& sh, bool fetch_distances, int first, int last, std::string& out) {
    const int ncls = std::max(0, sh.classcount);
    std::string line;
    for (int n = first; n <= last; ++n) {
        const std::size_t un = static_cast<std::size_t>(n);
        if (!fetch_distances) {
            line = " ";
            put_i(line, n, 5);
            put_i(line, sh.yyy[un], 5);
            put_i(line, sh.xxx[un], 5);
            append_fixed(line, sh.da[un], 12, 1);
            append_fixed(line, sh.bnkfll[un], 9, 2);
            append_fixed(line, sh.slope[un] * sh.slope[un], 8, 4);
            append_fixed(line, sh.elev[un], 7, 0);
            put_i(line, sh.iak[un], 5);
            append_fixed(line, sh.intslope[un], 7, 4);
            put_i(line, sh.ichnl[un], 5);
            put_i(line, sh.next[un], 5);
            put_i(line, sh.ireach[un], 5);
            line += "  ";
            append_fixed(line, sh.frac[un], 5, 2);
            line += "  ";
            for (int k = 1; k <= ncls; ++k) append_fixed(line, class_fraction(sh, n, k), 5, 2);
        } else {
            ListLine l(std::move(line));
            l << n << sh.yyy[un] << sh.xxx[un];
            for (std::size_t d = 0; d < 8; ++d) l << sh.fetch[un * 8 + d];
            line = l.take();
        }
        out += line;
        out += '\n';
    }
}

// The per-grid listing of the basin, then each grid's fetch distances,
// formed a block of grids at a time, each block in parallel parts.
void report_grid_properties(const ShedState& sh, const InfoReport& report, int threads) {
    const int nbasin = basin_grids(sh);
    report("Grid properties:");
    report("  basin file:");
    report("    n    yy   xx          da      cap   slope   elv"
           "   ibn    sl2  ich next reach  frac   classes 1 -> classcount");
    if (!report.info || nbasin < 1) return;
    constexpr int block = 32768;
    std::vector<std::string> texts(static_cast<std::size_t>(std::max(threads, 1)));
    for (const bool fetch_distances : {false, true}) {
        for (int b = 1; b <= nbasin; b += block) {
            const int nb = std::min(block, nbasin - b + 1);
            const std::size_t pieces = nb < 2048 ? 1 : texts.size();
            parallel_for(static_cast<int>(pieces), pieces, 1, 1, [&](std::size_t p0, std::size_t p1) {
                for (std::size_t p = p0; p < p1; ++p) {
                    texts[p].clear();
                    grid_property_lines(sh, fetch_distances, b + static_cast<int>(nb * p / pieces),
                                        b + static_cast<int>(nb * (p + 1) / pieces) - 1, texts[p]);
                }
            });
            for (std::size_t p = 0; p < pieces; ++p) report.info->put(texts[p]);
        }
    }
}

}  // namespace

void read_shed_ef(RunState& rs, int unit, int entry) {
    Console& con = rs.con;
    ShedState& sh = rs.shed;
    const std::string name(rs.file_name(entry).trimmed());
    const InfoReport report{rs.files.is_open(unit::info_report) ? &rs.files[unit::info_report] : nullptr};

    ShedHeader hdr;
    init_shed_header(hdr);
    FileUnit& f = open_shed_file(rs, unit, entry, name, report);
    read_header(
        con, f, [&](std::string_view key, std::string_view value) { return handle_shed_key(con, hdr, key, value); },
        "read_shed_ef", name, 4096);
    check_shed_counts(con, hdr, name);
    take_header(con, hdr, rs.grid, sh);
    set_bounds(hdr, rs.grid.latlong, sh);
    size_arrays(sh, hdr.xcount > 0 ? static_cast<std::size_t>(hdr.xcount) : 0,
                hdr.ycount > 0 ? static_cast<std::size_t>(hdr.ycount) : 0);
    // The values go to the per-grid arrays as each attribute's grid is read.
    AttributeValues values(hdr, sh);
    read_attribute_values(hdr, hdr.xcount, hdr.ycount, f, rs.dist.thread_count(), values.taker());
    check_ranks(con, sh, name);
    if (values.old_layout()) refuse_old_layout(con);
    check_elevations(con, sh, name);
    place_classes_and_grids(sh);
    if (rs.iopt > 0) report_class_fractions(sh, report);
    for (auto& at : hdr.attributes) decltype(at.values)().swap(at.values);

    place_debug_grid(sh, report);
    correct_class_areas(sh, report);
    take_slope_roots(con, sh, name);
    rs.files.close(unit, true);
    report_grid_properties(sh, report, rs.dist.thread_count());
}

}  // namespace nimbex
