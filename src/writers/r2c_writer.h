#pragma once
// The r2c writer: the header of a gridded output file (frame_no = 0 and
// class_no = 0), or one grid of it from rs.dist.outarray (any other call).
#include "driver/run_state.h"

namespace nimbex {

void write_r2c(RunState& rs, int unit, int file_number, int no_frames, int no_classes,
               int frame_no, int class_no, int format_code);

// Appends the values of one grid row in the layout of format_code (each value
// preceded by a blank, at most 9999 values per line); every line, the last
// included, ends with a newline.
void append_r2c_row(std::string& out, const float* values, int count, int format_code);

}  // namespace nimbex
