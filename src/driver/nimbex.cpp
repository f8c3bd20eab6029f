#include "driver/nimbex.h"

#include <iostream>

#include "driver/run_state.h"
#include "platform/fatal.h"

namespace nimbex {

int run_program(int argc, char** argv, std::ostream& out, std::istream& in) {
    Console con(out, in);
    RunState rs(con);
    try {
        nimbex_main(rs, argc > 1 ? argv[1] : nullptr);
        rs.files.close_all();
    } catch (const FatalStop& stop) {
        con.line(stop.what());
        con.flush();
        return 1;
    }
    con.flush();
    return 0;
}

void nimbex_main(RunState& rs, const char* arg) {
    (void)rs;
    (void)arg;
}

}  // namespace nimbex
