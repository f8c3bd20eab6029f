#pragma once
// The header of the point-data-locations file (bsnm.pdl): the extent of the
// precipitation grid.
namespace nimbex {

struct RunState;

// Reads the header of file-name entry 3 on unit 33 and returns the grid's
// column and row counts. A labelled header replaces the grid description in
// force (rs.grid) and recomputes the grid bounds; an old fixed-column header
// sets the integer bounds and cell sizes of rs.shed (see shed_state.h). The
// file is closed before the return. This program uses mode 2 (header only).
void inpgrd(RunState& rs, int& nx_pdl, int& ny_pdl, int mode);

}  // namespace nimbex
