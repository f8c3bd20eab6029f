#pragma once
// The gauges of the current event: names, positions, elevations, values.
namespace nimbex {

struct GaugeSet {
};

}  // namespace nimbex
