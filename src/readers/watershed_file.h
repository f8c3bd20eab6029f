#pragma once
// The watershed file (bsnm_shd.r2c): grid geometry, cell numbering and the
// per-grid drainage, channel, elevation and land-cover data.
namespace nimbex {

struct RunState;

// Reads the watershed file named in file-name entry `entry` on `unit`, fills
// rs.grid and rs.shed, and writes its listings to the information report
// (unit 51). Every failure stops the run.
void read_shed_ef(RunState& rs, int unit, int entry);

}  // namespace nimbex
