// The watershed r2c file (header and values), and the same bytes as a static
// grid read against the grid the watershed left (or a small default grid).
#include <vector>

#include "fuzz_common.h"
#include "readers/static_grid.h"
#include "readers/watershed_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::enter_work_dir();
    fuzz::write_file("basin/fz_shd.r2c", data, size);
    fuzz::Session s;
    s.open_reports();
    s.rs.file_name(1) = "basin\\fz_shd.r2c";
    const bool ok = fuzz::run([&] { nimbex::read_shed_ef(s.rs, 31, 1); });
    if (ok) {
        const nimbex::ShedState& sh = s.rs.shed;
        fuzz::require(s.rs.grid.xcount >= 1 && s.rs.grid.ycount >= 1, "grid size");
        fuzz::require(fuzz::finite(s.rs.grid.xdelta) && s.rs.grid.xdelta > 0.0f, "xdelta");
        fuzz::require(fuzz::finite(s.rs.grid.ydelta) && s.rs.grid.ydelta > 0.0f, "ydelta");
        for (float v : sh.elev) fuzz::require(fuzz::finite(v), "elevation finite");
        for (float v : sh.aclass) fuzz::require(fuzz::finite(v), "class fraction finite");
    } else {
        s.rs.grid.xcount = 3;
        s.rs.grid.ycount = 2;
        s.rs.grid.xdelta = s.rs.grid.ydelta = 1.0f;
    }
    s.rs.file_name(499) = "basin\\fz_shd.r2c";
    std::vector<float> grid;
    if (fuzz::run([&] { nimbex::read_gsm_ef(s.rs, 499, 499, grid, 'n'); })) {
        for (float v : grid) fuzz::require(fuzz::finite(v), "static grid value finite");
    }
    return 0;
}
