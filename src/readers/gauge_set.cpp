// Storage of the gauge set: arrays that only grow.
#include "readers/gauge_set.h"

#include <algorithm>

namespace nimbex {

bool grow_gauge_data(GaugeSet& g, int nstations, int nhours) {
    nstations = std::max(nstations, 0);
    nhours = std::max(nhours, 0);
    if (!g.precip_values.empty() && nstations <= g.alloc_data_stations && nhours <= g.alloc_hours) return false;
    const int ns = std::max(nstations, g.alloc_data_stations);
    const int nh = std::max(nhours, g.alloc_hours);
    const std::size_t n1 = static_cast<std::size_t>(ns) + 1;

    std::vector<float> values(static_cast<std::size_t>(nh + 1) * static_cast<std::size_t>(ns), -1.0f);
    std::vector<float> event_total(n1, 0.0f);
    std::vector<int> record_count(n1, 0);
    std::vector<char> record_flag(n1, 'N');
    std::vector<float> year_total(n1, 0.0f);
    // The running year total is the only statistic that spans events: keep it
    // for the stations that existed so a year line after growth stays whole.
    std::copy_n(g.year_total.begin(), std::min(g.year_total.size(), n1), year_total.begin());

    g.precip_values.swap(values);
    g.event_total.swap(event_total);
    g.record_count.swap(record_count);
    g.record_flag.swap(record_flag);
    g.year_total.swap(year_total);
    g.alloc_data_stations = ns;
    g.alloc_hours = nh;
    return true;
}

bool grow_station_descriptors(GaugeSet& g, int nstations) {
    nstations = std::max(nstations, 0);
    if (!g.station_name.empty() && nstations <= g.alloc_stations) return false;
    const std::size_t n1 = static_cast<std::size_t>(nstations) + 1;
    std::vector<FText<12>> name(n1);
    std::vector<float> x(n1, 0.0f), y(n1, 0.0f), elevation(n1, -999.0f), soil(n1, 0.0f);
    std::vector<int> north(n1, 0), east(n1, 0);
    g.station_name.swap(name);
    g.station_x.swap(x);
    g.station_y.swap(y);
    g.station_elevation.swap(elevation);
    g.station_north.swap(north);
    g.station_east.swap(east);
    g.init_soil_moisture.swap(soil);
    g.alloc_stations = nstations;
    ++g.station_allocations;
    return true;
}

}  // namespace nimbex
