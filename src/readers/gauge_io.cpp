// Station list of the event.
#include "readers/gauge_io.h"

#include "driver/run_state.h"
#include "platform/fortran_format.h"

namespace nimbex {

void write_station_list(RunState& rs, const std::vector<char>& has_data) {
    const char* name = rs.narr_input ? "raing\\stationsprecip_sta.xyz" : "precip_sta.xyz";
    if (rs.files.open(99, name, OpenStatus::unknown) != 0) return;
    FileUnit& out = rs.files[99];
    const GaugeSet& g = rs.gauges;
    for (int k = 1; k <= g.nstations; ++k) {
        if (static_cast<std::size_t>(k) >= has_data.size() || !has_data[static_cast<std::size_t>(k)]) continue;
        ListLine l;
        l << g.station_x[k] << g.station_y[k] << k << g.station_name[k].str();
        out.put_line(l);
    }
    rs.files.close(99, true);
}

}  // namespace nimbex
