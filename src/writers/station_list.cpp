// Writes the event's station lists (precip_sta.xyz, met_station_coordinates.xyz).
#include "writers/station_list.h"

#include <cstring>
#include <string>

#include "driver/run_state.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/fortran_format.h"

namespace nimbex {

FileUnit& open_station_list(RunState& rs, const char* name) {
    if (const int ios = rs.files.open(unit::scratch, name, OpenStatus::replace); ios != 0) {
        rs.con.line(std::string("Unable to create the station list ") + name);
        rs.con.line(std::string("ios = ") + std::to_string(ios) + " (" + std::strerror(ios) + ")");
        fatal_stop(std::string("Program aborted in nimbex: unable to create ") + name);
    }
    return rs.files[unit::scratch];
}

void write_station_list(RunState& rs, const std::vector<char>& has_data) {
    const char* name = rs.narr_input ? "raing\\stationsprecip_sta.xyz" : "precip_sta.xyz";
    FileUnit& out = open_station_list(rs, name);
    const GaugeSet& g = rs.gauges;
    for (int k = 1; k <= g.nstations; ++k) {
        if (static_cast<std::size_t>(k) >= has_data.size() || !has_data[static_cast<std::size_t>(k)]) continue;
        ListLine l;
        l << g.station_x[k] << g.station_y[k] << k << g.station_name[k].str();
        out.put_line(l);
    }
    rs.files.close(unit::scratch, true);
}

}  // namespace nimbex
