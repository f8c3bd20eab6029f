// The parameter file, read for a watershed of three land-cover classes and
// two river classes.
#include "fuzz_common.h"
#include "readers/parameter_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::enter_work_dir();
    fuzz::write_file("basin/fz_par.csv", data, size);
    fuzz::Session s;
    s.open_reports();
    nimbex::ShedState& sh = s.rs.shed;
    sh.classcount = 3;
    sh.numriverclasses = 2;
    sh.totalnumofgrids = 4;
    sh.numgridsinbasin = 4;
    sh.iak = {0, 1, 2, 1, 2};
    sh.yyy = {0, 1, 1, 2, 2};
    sh.xxx = {0, 1, 2, 1, 2};
    for (auto* v : {&sh.flz, &sh.pwr, &sh.r1n, &sh.r2n, &sh.mndr, &sh.aa2, &sh.aa3, &sh.aa4, &sh.widep})
        v->assign(5, 1.0f);
    s.rs.file_name(2) = "basin\\fz_par.csv";
    s.rs.par.evt_smrflg = 'n';
    s.rs.par.evt_wetflg = 'n';
    s.rs.par.evt_trcflg = 'n';
    fuzz::run([&] {
        nimbex::create_class_arrays(s.rs);
        nimbex::read_par_parser(s.rs, 32, 2);
    });
    return 0;
}
