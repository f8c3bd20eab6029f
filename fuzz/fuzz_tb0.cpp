// The tb0 gauge table, read as the first event and again as the second.
#include "fuzz_common.h"
#include "readers/gauge_table.h"

namespace {

void check(nimbex::RunState& rs, int nhours, int nstations) {
    const nimbex::GaugeSet& g = rs.gauges;
    fuzz::require(nhours >= 0 && nstations >= 0, "counts");
    fuzz::require(g.deltat >= 1, "deltat");
    for (int k = 1; k <= nstations; ++k) {
        fuzz::require(fuzz::finite(g.station_x[k]) && fuzz::finite(g.station_y[k]), "station position finite");
        for (int h = g.deltat; h <= nhours; h += g.deltat)
            fuzz::require(fuzz::finite(g.precip(k, h)), "gauge value finite");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::enter_work_dir();
    fuzz::write_file("raing/20230701_rag.tb0", data, size);
    fuzz::Session s;
    s.open_reports();
    s.rs.file_name(5) = "raing\\20230701_rag.tb0";
    for (int event = 1; event <= 2; ++event) {
        s.rs.event_number = event;
        int nhours = 0, nstations = 0;
        float conv = 0.0f;
        if (!fuzz::run([&] { nimbex::read_rag_ef(s.rs, 35, 5, nhours, conv, nstations); })) break;
        check(s.rs, nhours, nstations);
    }
    return 0;
}
