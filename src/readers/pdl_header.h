#pragma once
// The header of the point-data-locations file (bsnm.pdl): the extent of the
// precipitation grid.
namespace nimbex {

struct RunState;

// Reads the header of file-name entry 3 on unit 33 and returns the grid's
// column and row counts. A labelled header replaces the grid description in
// force (rs.grid) and recomputes the grid bounds; an old fixed-column header
// sets the integer bounds and cell sizes of rs.shed (see shed_state.h). The
// file is closed before the return. This program reads the header only
// (`pdl_header_only`); the mode is echoed as "ng=".
constexpr int pdl_header_only = 2;
void inpgrd(RunState& rs, int& nx_pdl, int& ny_pdl, int mode);

}  // namespace nimbex
