#pragma once
// Bounds on what counts read from input files may ask for. A count outside
// them stops the run with a message naming the file, before anything is
// allocated or indexed with it.
#include <cstdint>

namespace nimbex {

// Values in any one array sized from counts in a file: the cells of a grid,
// the attribute values of one r2c file, the values of one gauge table. 2^28
// reals is 1 GiB; it also keeps every cell index and product of counts well
// inside a 32-bit integer.
constexpr std::int64_t max_values = std::int64_t{1} << 28;

// Stations of a gauge file (the old .rag layout's 5-column count holds at
// most 99999; a table line of 2 MiB holds 100,000 values of up to 20 characters).
constexpr int max_stations = 100000;

// Land-cover and river classes of a watershed (as many as a grid file can
// have attributes).
constexpr int max_classes = 1000;

// ---- Bounds on values read from input ---------------------------------
// Far above anything physical, and chosen so that every sum the run forms
// stays a finite single-precision number and every header field of a written
// grid holds its value (origins, cell sizes and the unit conversion in 16
// columns with 4 decimals, the radius and smoothing distance in km in 16
// columns with 7 decimals).

// Rain of one gauge record after its unit conversion, mm (the largest rain
// ever measured in a year is about 26,000 mm).
constexpr float max_gauge_amount = 1.0e5f;
// Size of a unit conversion factor (event :rainconvfactor, gauge
// :UnitConversion, the .rag factor).
constexpr float max_conversion_factor = 1.0e6f;
// Size of an elevation, m (watershed elev, elv_max.r2c, gauge stations).
constexpr float max_elevation = 1.0e5f;
// Size of the precipitation lapse rate, per m.
constexpr float max_lapse_rate = 0.01f;
// Size of the radius of influence and the smoothing distance, km (the
// radius's default, 1.0e6 km, is the largest).
constexpr float max_distance_km = 1.0e6f;
// Size of a grid origin or station coordinate.
constexpr float max_coordinate = 1.0e9f;
// Cell sizes: at least a value that 4 decimals still show, at most 1.0e7.
constexpr float min_cell_size = 1.0e-4f;
constexpr float max_cell_size = 1.0e7f;
// Nominal cell size of the watershed, m.
constexpr float min_nominal_size = 1.0e-2f;
constexpr float max_nominal_size = 1.0e7f;
// Event start years: the frames' date stamps keep a 4-column year.
constexpr int min_event_year = 1;
constexpr int max_event_year = 9000;

}  // namespace nimbex
