#pragma once
// The r2c writer: the header of a gridded output file (frame_no = 0 and
// class_no = 0), or one grid of it from rs.dist.outarray (any other call).
#include "driver/run_state.h"

namespace nimbex {

// The value formats of a written grid, by their Fortran fields; the numbers
// are the writer's format codes. A code not listed writes E12.6 like e12_6.
enum class R2cFormat : int {
    f5_0 = 0,
    f5_1 = 1,
    f5_2 = 2,
    f6_3 = 3,
    f7_4 = 4,
    f8_5 = 5,
    f9_6 = 6,
    e12_6 = 7,
    e10_3 = 8,
    f6_2 = 9,
    f10_0 = 10,
    f8_3 = 11,
    f8_2 = 12,
};

void write_r2c(RunState& rs, int unit, int file_number, int no_frames, int no_classes,
               int frame_no, int class_no, R2cFormat format);

// One r2c file being written on `unit` under the name in file-name entry
// `file_entry`: open() writes the header; then frame() writes frame
// `frame_no` of a file of several frames (with its :Frame line), or grid()
// class `class_no` of a one-frame file. The last frame or class closes the
// file with its "Closed unit" line; finish() closes a file left open (an
// event's grid, whose dry hours have no frame) once its frames are written.
class R2cWriter {
public:
    R2cWriter(RunState& rs, int unit, int file_entry, int frames, int classes = 1)
        : rs_(rs), unit_(unit), entry_(file_entry), frames_(frames), classes_(classes) {}
    void open() { write_r2c(rs_, unit_, entry_, frames_, classes_, 0, 0, R2cFormat::f5_1); }
    void frame(int frame_no, R2cFormat format) { write_r2c(rs_, unit_, entry_, frames_, classes_, frame_no, 0, format); }
    void grid(int class_no, R2cFormat format) { write_r2c(rs_, unit_, entry_, frames_, classes_, 1, class_no, format); }
    void finish();

private:
    RunState& rs_;
    int unit_, entry_, frames_, classes_;
};

// Appends the values of one grid row in `format` (each value preceded by a
// blank, at most 9999 values per line); every line, the last included, ends
// with a newline.
void append_r2c_row(std::string& out, const float* values, int count, R2cFormat format);

}  // namespace nimbex
