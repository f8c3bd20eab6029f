#pragma once
// The gauges of the current event: names, positions, elevations, values, and
// the per-station record statistics the gauge reports keep across events.
// Per-station arrays are 1-based (element 0 unused). The arrays persist
// between events and only grow; a later, smaller file leaves the tail as it was.
#include <cstddef>
#include <vector>

#include "platform/text.h"

namespace nimbex {

struct GaugeSet {
    // Counts of the current event.
    int nstations = 0;
    int nhours = 0;
    int deltat = 0;  // hours per data step

    // Station descriptors, 1..alloc_stations.
    std::vector<FText<12>> station_name;
    std::vector<float> station_x, station_y, station_elevation;
    std::vector<int> station_north, station_east;  // integer coordinates of legacy files
    std::vector<float> init_soil_moisture;         // legacy old layout only

    // Per-station record statistics of the event, and the running year total.
    std::vector<float> event_total;
    std::vector<int> record_count;
    std::vector<char> record_flag;  // 'a' all, 'P' partial, 'N' none
    std::vector<float> year_total;

    // Texts the readers set for the run and for the output header.
    FText<30> source_name;              // ":Name" of the table
    FText<10> file_type;                // legacy reader's file type
    FText<10> sample_date, sample_time; // legacy labelled layout; "unknown" for the old one
    char newfmtflg = ' ';               // legacy layout: 'y' labelled, 'n' old

    // Allocated sizes, remembered across events.
    int alloc_stations = 0;       // station descriptors
    int alloc_data_stations = 0;  // precip and statistics: stations
    int alloc_hours = 0;          // precip: hours
    int station_allocations = 0;  // times the station descriptors were (re)created

    // Precipitation, hour-major: the stations of one hour are contiguous.
    // Hours 0..alloc_hours are held (hour 0 is never filled by the readers).
    std::vector<float> precip_values;

    float& precip(int k, int h) {
        return precip_values[static_cast<std::size_t>(h) * alloc_data_stations + (k - 1)];
    }
    float precip(int k, int h) const {
        return precip_values[static_cast<std::size_t>(h) * alloc_data_stations + (k - 1)];
    }
    // Station 1 of hour h; stations 1..nstations follow contiguously.
    const float* hour_values(int h) const {
        return precip_values.data() + static_cast<std::size_t>(h) * alloc_data_stations;
    }
    float* hour_values(int h) {
        return precip_values.data() + static_cast<std::size_t>(h) * alloc_data_stations;
    }
};

// What a gauge reader hands back for the event.
struct GaugeCounts {
    int nhours = 0;                // hours of data
    float unit_conversion = 1.0f;  // the factor the values were converted with, as the file gives it
    int nstations = 0;
};

// Makes room for `nstations` stations and `nhours` hours of values and
// statistics. Both are recreated together (content discarded, values -1.0 =
// no record) when either count exceeds what is allocated, at the larger of
// the old and new sizes. The year totals of the stations that existed are
// kept; new stations start at 0. Returns true when the arrays were recreated.
// Throws std::bad_alloc on failure (callers report it in their own words).
bool grow_gauge_data(GaugeSet& g, int nstations, int nhours);

// Makes room for `nstations` station descriptors (names, positions,
// elevations, integer coordinates, soil moisture); true when recreated.
// Throws std::bad_alloc on failure.
bool grow_station_descriptors(GaugeSet& g, int nstations);

}  // namespace nimbex
