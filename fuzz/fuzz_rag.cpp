// The legacy .rag layouts. The first byte chooses the watershed kind
// (latitude-longitude or projected) and the cell size; the rest is the file.
#include "fuzz_common.h"
#include "readers/legacy_rag_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    fuzz::enter_work_dir();
    fuzz::write_file("raing/20230701.rag", data + 1, size - 1);
    fuzz::Session s;
    s.open_reports();
    nimbex::RunState& rs = s.rs;
    rs.file_name(5) = "raing\\20230701.rag";
    rs.grid.latlong = (data[0] & 1) != 0;
    rs.shed.x_cell = rs.shed.y_cell = (data[0] & 2) ? 10.0f : 0.5f;
    rs.shed.pdl_west = 300;
    rs.shed.pdl_south = 5000;
    int nhours = 0, nstations = 0;
    float conv = 1.0f;
    if (!fuzz::run([&] { nimbex::rdrag(rs, nhours, conv, nstations, ".rag"); })) return 0;
    const nimbex::GaugeSet& g = rs.gauges;
    fuzz::require(nhours >= 0 && nstations >= 0, "counts");
    for (int k = 1; k <= nstations; ++k) {
        fuzz::require(fuzz::finite(g.station_x[k]) && fuzz::finite(g.station_y[k]), "station position finite");
        if (g.deltat >= 1)
            for (int h = g.deltat; h <= nhours; h += g.deltat)
                fuzz::require(fuzz::finite(g.precip(k, h)), "gauge value finite");
    }
    return 0;
}
