#include "platform/bounds.h"

#include <cmath>
#include <string>

#include "platform/console.h"
#include "platform/fatal.h"
#include "platform/fortran_format.h"
#include "platform/text.h"

namespace nimbex {

bool in_range(float v, float lo, float hi) { return std::isfinite(v) && v >= lo && v <= hi; }

std::string real_text(float v) { return std::string(trim(list_real(v))); }

void check_range(Console& con, std::string_view routine, std::string_view what, float v, float lo, float hi,
                 std::string_view file) {
    if (in_range(v, lo, hi)) return;
    const std::string where = std::string(what) + " " + real_text(v);
    con.line("ERROR in " + std::string(file) + ": " + where);
    if (!std::isnan(v)) con.line("The value must be from " + real_text(lo) + " to " + real_text(hi));
    const char* why = std::isnan(v) ? " is not a finite number in " : " is out of range in ";
    fatal_stop("Program aborted in " + std::string(routine) + ": " + where + why + std::string(file));
}

}  // namespace nimbex
