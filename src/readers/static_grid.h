#pragma once
// A static (time-independent) r2c grid that must lie on the grid in force,
// for instance "basin\elv_max.r2c".
#include <vector>

namespace nimbex {

struct RunState;

// Reads the grid named in file-name entry `entry` on `unit` into `inarray3`,
// laid out as (row i, column j, attribute k) with
//   element ((k-1)*ycount + (i-1))*xcount + (j-1),
// so attribute k is one row-major ycount x xcount block (row 1 = the first
// row of the file). ycount and xcount are those of rs.grid; the third
// dimension is the larger of the land-cover class count and the file's
// attribute count (at least 1), so every attribute of the file has room.
// Cells no value reaches are 0. `attribute_count` receives the number of
// attributes. A missing file returns at once (nothing changed) when
// `resumflg` is 'y' and stops the run otherwise.
void read_gsm_ef(RunState& rs, int unit, int entry, std::vector<float>& inarray3, int& attribute_count,
                 char resumflg);
// The same without the attribute count.
void read_gsm_ef(RunState& rs, int unit, int entry, std::vector<float>& inarray3, char resumflg = 'n');

}  // namespace nimbex
