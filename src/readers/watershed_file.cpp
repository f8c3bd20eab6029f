// Reads the watershed file (bsnm_shd.r2c): grid, cell numbering and per-grid data.
#include "readers/watershed_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "ensim/keyword_line.h"
#include "ensim/r2c_header.h"
#include "platform/allocation.h"
#include "platform/bounds.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/files.h"
#include "platform/fortran_format.h"
#include "platform/limits.h"
#include "platform/text.h"
#include "platform/fast_fixed.h"
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

}  // namespace

void read_shed_ef(RunState& rs, int unit, int entry) {
    Console& con = rs.con;
    ShedState& sh = rs.shed;
    GridDescription& g = rs.grid;
    const std::string name(rs.file_name(entry).trimmed());
    FileUnit* info = rs.files.is_open(unit::info_report) ? &rs.files[unit::info_report] : nullptr;
    auto report = [&](std::string_view text) {
        if (info) info->put_line(text);
    };

    ShedHeader hdr;
    init_shed_header(hdr);

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
    FileUnit& f = rs.files[unit];

    read_header(
        con, f, [&](std::string_view key, std::string_view value) { return handle_shed_key(con, hdr, key, value); },
        "read_shed_ef", name, 4096);

    check_shed_counts(con, hdr, name);

    // The run's geometry, coordinate system and counts.
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

    read_attribute_values(hdr, hdr.xcount, hdr.ycount, f, rs.dist.thread_count());

    // Grid bounds and cell sizes: minutes for a geographic grid, km otherwise.
    const int xcount = hdr.xcount, ycount = hdr.ycount;
    if (g.latlong) {
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

    // Rank grid and per-grid arrays (grid numbers from 1; element 0 unused).
    const std::size_t nx = xcount > 0 ? static_cast<std::size_t>(xcount) : 0;
    const std::size_t ny = ycount > 0 ? static_cast<std::size_t>(ycount) : 0;
    const int ntot = std::max(0, sh.totalnumofgrids);
    const std::size_t ng = static_cast<std::size_t>(ntot) + 1;
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

    const int nattr = std::min<int>(hdr.attribute_count, static_cast<int>(hdr.attributes.size()));
    std::vector<std::string> lnames(static_cast<std::size_t>(nattr));
    for (int a = 0; a < nattr; ++a) {
        std::string s(hdr.attributes[static_cast<std::size_t>(a)].name.trimmed());
        lower_case(s);
        lnames[static_cast<std::size_t>(a)] = std::move(s);
    }
    auto value_at = [&](int a, std::size_t cell) -> float {
        const auto& v = hdr.attributes[static_cast<std::size_t>(a)].values;
        return cell < v.size() ? v[cell] : 0.0f;
    };

    // The grid numbers.
    for (int a = 0; a < nattr; ++a) {
        if (lnames[static_cast<std::size_t>(a)] != "rank") continue;
        for (std::size_t c = 0; c < nx * ny; ++c) sh.rank[c] = cut_to_int(value_at(a, c));
    }

    // Cells numbered beyond :TotalNumOfGrids (all of them when the keyword
    // is missing) have no entry in the per-grid arrays and are left out: no
    // elevation, no land cover. That must not go unsaid.
    std::int64_t dropped = 0, kept = 0;
    for (std::size_t c = 0; c < nx * ny; ++c) {
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

    // The per-grid values of every cell in the basin. A rank beyond the
    // per-grid arrays has no entry there: such a cell is passed over.
    std::vector<Target> targets(static_cast<std::size_t>(nattr));
    for (int a = 0; a < nattr; ++a) targets[static_cast<std::size_t>(a)] = target_of(lnames[static_cast<std::size_t>(a)], sh);
    const float nominal_area = sh.nominalgridsize_al * sh.nominalgridsize_al;
    for (std::size_t c = 0; c < nx * ny; ++c) {
        const int n = sh.rank[c];
        if (n <= 0 || n > ntot) continue;
        const std::size_t un = static_cast<std::size_t>(n);
        for (int a = 0; a < nattr; ++a) {
            const Target& t = targets[static_cast<std::size_t>(a)];
            const float v = value_at(a, c);
            if (t.reals) (*t.reals)[un] = v;
            else if (t.ints) (*t.ints)[un] = cut_to_int(v);
            else if (t.fetch_dir) sh.fetch[un * 8 + static_cast<std::size_t>(t.fetch_dir - 1)] = v;
            else if (t.old_frac) {
                con.blank();
                con.line("Error: old format shd file found");
                con.line("Please create a new bsnm_shd.r2c file using the");
                con.line("current version of tesk.exe");
                con.blank();
                fatal_stop("Program aborted in read_shed_ef @ 447");
            }
            if (t.gridarea) sh.frac[un] = v / nominal_area;
        }
    }

    // Elevations scale the rain of every cell when a lapse rate is set.
    for (int n = 1; n <= ntot; ++n) {
        const float e = sh.elev[static_cast<std::size_t>(n)];
        if (!in_range(e, -max_elevation, max_elevation))
            check_magnitude(con, "read_shed_ef", "elev of grid no " + std::to_string(n), e, max_elevation, name);
    }

    // Land-cover fractions: the last classcount attributes, in their order.
    // A file with fewer attributes than classes leaves the missing classes 0.
    for (std::size_t c = 0; c < nx * ny; ++c) {
        const int n = sh.rank[c];
        if (n <= 0 || n > ntot) continue;
        for (int k = 1; k <= ncls; ++k) {
            const int a = nattr - ncls + k - 1;
            if (a < 0) continue;
            sh.aclass[static_cast<std::size_t>(n) * static_cast<std::size_t>(ncls) + static_cast<std::size_t>(k - 1)] =
                value_at(a, c);
        }
    }
    auto aclass = [&](int n, int k) -> float& {
        return sh.aclass[static_cast<std::size_t>(n) * static_cast<std::size_t>(ncls) + static_cast<std::size_t>(k - 1)];
    };
    const bool debug_grid_known = sh.debuggridno >= 1 && sh.debuggridno <= ntot;

    sh.dominant_class = 1;
    if (ncls >= 2 && debug_grid_known) {
        for (int k = 2; k <= ncls; ++k)
            if (aclass(sh.debuggridno, k) > aclass(sh.debuggridno, sh.dominant_class)) sh.dominant_class = k;
    }

    for (std::size_t i = 1; i <= ny; ++i)
        for (std::size_t j = 1; j <= nx; ++j) {
            const int n = sh.rank[(i - 1) * nx + (j - 1)];
            if (n <= 0 || n > ntot) continue;
            sh.yyy[static_cast<std::size_t>(n)] = static_cast<int>(i);
            sh.xxx[static_cast<std::size_t>(n)] = static_cast<int>(j);
        }

    std::string line;
    if (rs.iopt > 0) {
        report("Land Cover class fractions:");
        for (int k = 1; k <= ncls; ++k) {
            line = "class no=";
            put_i(line, k, 5);
            report(line);
            for (std::size_t i = 0; i < ny; ++i) {
                line.clear();
                for (std::size_t j = 0; j < nx; ++j) {
                    const int n = sh.rank[i * nx + j];
                    append_fixed(line, (n > 0 && n <= ntot) ? aclass(n, k) : 0.0f, 6, 2);
                }
                report(line);
            }
        }
    }

    for (auto& at : hdr.attributes) decltype(at.values)().swap(at.values);

    sh.debug_row = sh.debug_col = 0;  // no grid carries number 0: no debug grid
    if (debug_grid_known) {
        sh.debug_row = sh.yyy[static_cast<std::size_t>(sh.debuggridno)];
        sh.debug_col = sh.xxx[static_cast<std::size_t>(sh.debuggridno)];
        report("");
        line = " Debug grid reset to grid number n,row col";
        put_i(line, sh.debuggridno, 7);
        put_i(line, sh.debug_row, 7);
        put_i(line, sh.debug_col, 7);
        report(line);
    }

    // Grid numbers the file declares in the basin but the arrays do not hold
    // are left out of the checks and the listing.
    const int nbasin = std::min(sh.numgridsinbasin, ntot);
    for (int n = 1; n <= nbasin; ++n) {
        const std::size_t un = static_cast<std::size_t>(n);
        float sum = 0.0f;
        for (int k = 1; k <= ncls; ++k) sum += aclass(n, k);
        if (sum == 1.0f) continue;
        line = " Warning: area correction in grid(n,i,j)";
        put_i(line, n, 5);
        put_i(line, sh.yyy[un], 5);
        put_i(line, sh.xxx[un], 5);
        append_fixed(line, sum, 9, 5);
        report(line);
        if (sum > 0.0f) {
            for (int k = 1; k <= ncls; ++k) aclass(n, k) = aclass(n, k) / sum;
        } else {
            line = " Warning: total area = 0.0 for grid(n,i,j)";
            put_i(line, n, 5);
            put_i(line, sh.yyy[un], 5);
            put_i(line, sh.xxx[un], 5);
            for (int k = 1; k <= ncls; ++k) report(line);
        }
    }

    for (int n = 1; n <= ntot; ++n) {
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

    rs.files.close(unit, true);

    report("Grid properties:");
    report("  basin file:");
    report("    n    yy   xx          da      cap   slope   elv"
           "   ibn    sl2  ich next reach  frac   classes 1 -> classcount");
    for (int n = 1; n <= nbasin; ++n) {
        const std::size_t un = static_cast<std::size_t>(n);
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
        for (int k = 1; k <= ncls; ++k) append_fixed(line, aclass(n, k), 5, 2);
        report(line);
    }
    for (int n = 1; n <= nbasin; ++n) {
        const std::size_t un = static_cast<std::size_t>(n);
        ListLine l;
        l << n << sh.yyy[un] << sh.xxx[un];
        for (std::size_t d = 0; d < 8; ++d) l << sh.fetch[un * 8 + d];
        report(l.str());
    }
}

}  // namespace nimbex
