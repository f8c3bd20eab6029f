#pragma once
// Header values of the r2c file being written. The caller fills them before the
// header call and sets the frame time before each frame.
#include <vector>

#include "platform/text.h"

namespace nimbex {

struct OutputGridHeader {
    FText<40> written_by;
    int weight_used = 0;          // inverse-distance power of the run
    FText<40> name;
    FText<10> projection;
    FText<10> ellipsoid;
    int zone = 0;
    float xorigin = 0.0f, yorigin = 0.0f;
    FText<30> source_file;
    int xcount = 0, ycount = 0;   // also the size of the grid written
    float xdelta = 0.0f, ydelta = 0.0f;
    FText<10> sample_date, sample_time;
    float unit_conversion = 0.0f; // the line is left out when 0
    float init_heat_deficit = 0.0f;

    // Extra named values, written as comment lines: entry k (1..extra_count)
    // is extra_names[k-1] / extra_values[k-1].
    int extra_count = 0;
    std::vector<FText<40>> extra_names;
    std::vector<float> extra_values;

    // Calendar time of the frame being written.
    int year = 0, month = 0, day = 0, hour = 0;
};

}  // namespace nimbex
