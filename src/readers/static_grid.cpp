// Reads a static r2c grid (basin\elv_max.r2c) lying on the grid in force.
#include "readers/static_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "driver/run_state.h"
#include "ensim/r2c_header.h"
#include "platform/allocation.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/files.h"
#include "platform/fortran_format.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace nimbex {

namespace {

// The grid must lie on the grid in force: same origin, cell sizes and counts.
void check_same_grid(RunState& rs, const R2cHeader& hdr, const std::string& name) {
    Console& con = rs.con;
    const GridDescription& g = rs.grid;
    bool mismatch = false;
    auto check = [&](bool differs, const char* text) {
        if (differs) {
            con.line(text);
            mismatch = true;
        }
    };
    check(std::fabs(hdr.xorigin - g.xorigin) > 0.001f, "xorig_swe.ne.xorigin");
    check(std::fabs(hdr.yorigin - g.yorigin) > 0.001f, "yorig_swe.ne.yorigin");
    check(std::fabs(hdr.xdelta - g.xdelta) > 0.001f, "xdelta_swe.ne.xdelta");
    check(std::fabs(hdr.ydelta - g.ydelta) > 0.001f, "ydelta_swe.ne.ydelta");
    check(hdr.xcount != g.xcount, "xcount_swe.ne.xcount");
    check(hdr.ycount != g.ycount, "ycount_swe.ne.ycount");
    if (!mismatch) return;
    con.blank();
    con.line("Mismatch between " + first_chars(name, 40));
    con.line("     and the pdl file" + first_chars(rs.file_name(entry::pdl).str(), 40));
    con.line("     or the SHD file");
    con.line("Check files for origins, deltas and counts");
    con.line("Could be due to # significant digits in header");
    con.line("    in " + first_chars(name, 15) + "    shd file");
    con.line(msg() << "xorigin " << hdr.xorigin << g.xorigin);
    con.line(msg() << "yorigin " << hdr.yorigin << g.yorigin);
    con.line(msg() << "xdelta  " << hdr.xdelta << g.xdelta);
    con.line(msg() << "ydelta  " << hdr.ydelta << g.ydelta);
    con.line(msg() << "xcount  " << hdr.xcount << g.xcount);
    con.line(msg() << "ycount  " << hdr.ycount << g.ycount);
    fatal_stop("Program aborted in read_gsm_ef @ 141");
}

// The attributes' values, one xcount x ycount block each, into a grid of
// `nz` blocks; the header lets go of them as they are copied.
void copy_attributes(R2cHeader& hdr, int nattr, std::size_t nz, std::vector<float>& inarray3) {
    const std::size_t nx = hdr.xcount > 0 ? static_cast<std::size_t>(hdr.xcount) : 0;
    const std::size_t ny = hdr.ycount > 0 ? static_cast<std::size_t>(hdr.ycount) : 0;
    std::vector<float>().swap(inarray3);
    allocate_or_stop("ERROR: Failed to allocate inarray3 in read_static_r2c",
                     [&] { inarray3.assign(nx * ny * nz, 0.0f); });
    for (int k = 0; k < nattr; ++k) {
        const auto& v = hdr.attributes[static_cast<std::size_t>(k)].values;
        std::copy_n(v.begin(), std::min(v.size(), nx * ny), inarray3.begin() + static_cast<std::ptrdiff_t>(k * nx * ny));
        decltype(AttributeEntry::values)().swap(hdr.attributes[static_cast<std::size_t>(k)].values);
    }
}

}  // namespace

void read_gsm_ef(RunState& rs, int unit, int entry, std::vector<float>& inarray3, int& attribute_count,
                 char resumflg) {
    Console& con = rs.con;
    const GridDescription& g = rs.grid;
    const std::string name(rs.file_name(entry).trimmed());

    if (!file_exists(map_path(name))) {
        if (resumflg == 'y') return;  // a resumed run may go without it
        con.line("ERROR: the gridded soil moisture (GSM) file " + first_chars(name, 40));
        con.line("is NOT found");
        fatal_stop(" Program STOPPED in read_gsm_ef @ 58");
    }
    if (rs.files.open(unit, name, OpenStatus::old_file) != 0) {
        con.line("Problems opening " + first_chars(name, 40));
        con.blank();
        fatal_stop(" Stopped in read_gsm_ef @51");
    }
    FileUnit& f = rs.files[unit];

    R2cHeader hdr;
    init_r2c_header(hdr);
    read_header(
        con, f, [&](std::string_view key, std::string_view value) { return handle_r2c_key(con, hdr, key, value); },
        "read_gsm_ef", name, 4096);

    const int xcount = hdr.xcount, ycount = hdr.ycount;
    const int nattr = std::min<int>(hdr.attribute_count, static_cast<int>(hdr.attributes.size()));
    attribute_count = nattr;

    // Values of a grid that does not match the grid in force are not read:
    // the mismatch stops the run below, and counts that differ may be of any
    // size. The grid in force is bounded, its attributes here too.
    const std::size_t nz = static_cast<std::size_t>(std::max({1, rs.shed.classcount, nattr}));
    const bool same_size = xcount == g.xcount && ycount == g.ycount;
    if (same_size && std::int64_t{xcount} * ycount * static_cast<std::int64_t>(nz) > max_values) {
        con.line(msg() << "ERROR: " << nattr << " attributes of" << xcount << " x" << ycount << " cells");
        con.line("are more values than a grid may hold (268435456)");
        fatal_stop(" Program STOPPED in read_gsm_ef: too many values in " + name);
    }
    if (same_size) read_attribute_values(hdr, xcount, ycount, f);
    check_same_grid(rs, hdr, name);
    rs.files.close(unit, true);

    // The counts now agree with the grid in force. The third dimension holds
    // every attribute of the file even when there are more of them than
    // land-cover classes.
    copy_attributes(hdr, nattr, nz, inarray3);

    if (rs.iopt >= 1) con.line("Finished reading " + first_chars(name, 30));
}

void read_gsm_ef(RunState& rs, int unit, int entry, std::vector<float>& inarray3, char resumflg) {
    int attribute_count = 0;
    read_gsm_ef(rs, unit, entry, inarray3, attribute_count, resumflg);
}

}  // namespace nimbex
