#pragma once
// The grid description in force: the watershed file's, possibly replaced by
// the point-data-locations file's. Row 1 is the southern row, column 1 the
// western column; cell (row i, column j) lies at position (j, i) in cell units.
#include "platform/text.h"

namespace nimbex {

struct GridDescription {
    float xorigin = 0.0f, yorigin = 0.0f;
    float xdelta = 0.0f, ydelta = 0.0f;
    int xcount = 0, ycount = 0;
    FText<12> projection{"Cartesian"};
    FText<12> ellipsoid{"Unknown"};
    int zone = 0;
    bool latlong = false;  // geographic grid (projection "LatLong")
};

}  // namespace nimbex
