#pragma once
// The watershed's cell numbering and per-grid data (filled by read_shed_ef),
// and what the point-data-locations and static-grid readers add.
// Per-grid arrays are indexed by grid number 1..totalnumofgrids (element 0 unused).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace nimbex {

struct ShedState {
    // Counts.
    int classcount = 0;
    int classcount_minus1 = 0;
    int numriverclasses = 0;
    int totalnumofgrids = 0;
    int numgridsinbasin = 0;
    int debuggridno = 0;
    int debug_row = 0, debug_col = 0;
    int dominant_class = 1;

    // Nominal cell size: metres as read, km, km^2, whole km (at least 1).
    float nominalgridsize_al = 0.0f;
    float al_km = 0.0f;
    float al_km2 = 0.0f;
    int al_whole_km = 1;

    // Grid bounds (arc minutes for a geographic grid, whole km otherwise) and
    // cell sizes in the same unit. Set by read_shed_ef; inpgrd recomputes the
    // bounds from a labelled pdl header and replaces the cell sizes (`dx`,
    // `dy` of the pdl file: xdelta/1000 and ydelta/1000 for a labelled header,
    // field 1 or fields 15 and 14 for an old one).
    int south = 0, north = 0, west = 0, east = 0;
    float x_cell = 0.0f, y_cell = 0.0f;

    // The integer grid origin and cell sizes that place the stations of an old
    // fixed-column .rag file:
    //   station_x = (station_east  - x0() + x_cell/2) / x_cell
    //   station_y = (station_north - y0() + y_cell/2) / y_cell
    // read_shed_ef sets the bounds to its own south/north/west/east; an
    // old-layout pdl header replaces them with its fields 2 to 5 (or
    // degrees*60+minutes); a labelled pdl header leaves them. `ix_cell` and
    // `iy_cell` are the whole-number copies of x_cell and y_cell (read_shed_ef
    // and the old pdl layout set them; the labelled layout leaves them).
    int pdl_south = 0, pdl_north = 0, pdl_west = 0, pdl_east = 0;
    int ix_cell = 0, iy_cell = 0;
    int x0() const { return pdl_west; }
    int y0() const { return pdl_south; }

    // Rank grid: ycount x xcount of the watershed grid, row-major from row 1
    // (cell (i, j) at (i-1)*xcount + (j-1)), 0 outside the basin. Held in 32
    // bits: a large basin numbers more than 32767 cells.
    int shed_xcount = 0, shed_ycount = 0;
    std::vector<std::int32_t> rank;
    int rank_at(int i, int j) const { return rank[static_cast<std::size_t>(i - 1) * shed_xcount + (j - 1)]; }

    // Row and column of each grid number (0 for a number no cell carries).
    std::vector<int> yyy, xxx;

    // Per-grid arrays from the attributes.
    std::vector<int> next, iak, ichnl, ireach;
    std::vector<float> da, bnkfll, slope, elev, chnllength, intslope, sqrt_intslope;
    std::vector<float> flz, pwr, r1n, r2n, mndr, aa2, aa3, aa4, widep;
    std::vector<float> gridarea, frac;            // frac: fraction of a nominal cell
    std::vector<float> fetch;                     // 8 per grid: fetch[(n)*8 + (dir-1)]
    std::vector<float> aclass;                    // classcount per grid: aclass[n*classcount + (k-1)]
    // Note: `slope` holds the square root of the channel slope after the read;
    // `sqrt_intslope` the square root of `intslope`.
};

}  // namespace nimbex
