// The point-data-locations header (mode 2), after a small watershed grid.
#include "fuzz_common.h"
#include "readers/pdl_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::enter_work_dir();
    fuzz::write_file("basin/fz.pdl", data, size);
    fuzz::Session s;
    s.open_reports();
    nimbex::RunState& rs = s.rs;
    rs.file_name(3) = "basin\\fz.pdl";
    rs.grid.xcount = 20;
    rs.grid.ycount = 15;
    rs.grid.xdelta = rs.grid.ydelta = 1000.0f;
    int nx = 0, ny = 0;
    if (!fuzz::run([&] { nimbex::inpgrd(rs, nx, ny, 2); })) return 0;
    fuzz::require(nx >= 1 && ny >= 1, "pdl grid size");
    fuzz::require(static_cast<long long>(nx) * ny <= (1LL << 28), "pdl grid bound");
    fuzz::require(rs.grid.xcount >= 1 && rs.grid.ycount >= 1, "grid in force");
    fuzz::require(fuzz::finite(rs.grid.xdelta) && rs.grid.xdelta > 0.0f, "xdelta");
    fuzz::require(fuzz::finite(rs.grid.ydelta) && rs.grid.ydelta > 0.0f, "ydelta");
    fuzz::require(fuzz::finite(rs.grid.xorigin) && fuzz::finite(rs.grid.yorigin), "origin");
    return 0;
}
