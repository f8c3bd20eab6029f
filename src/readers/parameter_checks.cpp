// Checks, defaults and derived values of the parameter state. A parameter
// file that the rest of the suite would refuse is refused here too, even
// where the value itself is not used by this program.
#include "readers/parameter_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

#include "driver/run_state.h"
#include "platform/allocation.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/files.h"
#include "platform/fortran_format.h"
#include "platform/free_format.h"
#include "platform/text.h"
#include "readers/par_state.h"

namespace nimbex {

namespace {

constexpr int info_unit = unit::info_report;
constexpr int override_unit = unit::scratch;
constexpr float deg_to_rad = 3.1416f / 180.0f;
constexpr float metres_per_degree = 111120.0f;

std::size_t ix(int k) { return static_cast<std::size_t>(k); }

// Lines for the information report; nothing when it is not open.
void info(RunState& rs, std::string_view text) {
    if (rs.files.is_open(info_unit)) rs.files[info_unit].put_line(text);
}

bool begins(const FText<10>& name, std::string_view word) {
    return name.str().compare(0, word.size(), word) == 0;
}

bool begins_any(const FText<10>& name, std::initializer_list<std::string_view> words) {
    for (std::string_view w : words)
        if (begins(name, w)) return true;
    return false;
}

// Copies every hydrological and snow parameter of class `from` to class `to`.
void copy_class(ParState& p, int to, int from) {
    const std::size_t t = ix(to), f = ix(from);
    for (auto* v : {&p.ds, &p.dsfs, &p.rec, &p.ak, &p.akfs, &p.retn, &p.ak2, &p.ak2fs, &p.r3, &p.r3fs, &p.r4,
                    &p.fpet, &p.ftall, &p.flint, &p.fcap, &p.ffcap, &p.spore, &p.fratio, &p.fm, &p.base, &p.fmn,
                    &p.uadj, &p.tipm, &p.rho, &p.whcl, &p.alb, &p.sublim_factor, &p.sublim_rate, &p.snocap})
        (*v)[t] = (*v)[f];
    p.idump[t] = p.idump[f];
    p.nsdc[t] = p.nsdc[f];
    p.sdcsca[t][1] = p.sdcsca[f][1];
    p.sdcd[t][1] = p.sdcd[f][1];
}

std::string month_line(std::string_view label, const std::array<float, 13>& v) {
    std::string s(label);
    for (int m = 1; m <= 12; ++m) put_f(s, v[ix(m)], 5, 2);
    return s;
}

template <class V>
void grow_to(V& v, int n) {
    const std::size_t want = static_cast<std::size_t>(n < 0 ? 0 : n) + 1;
    if (v.size() < want) v.resize(want);
}

// ---- rules after the last section, in their order --------------------------

// Per-grid routing values from the grid's river class.
void routing_to_grids(RunState& rs, ParState& p) {
    ShedState& sh = rs.shed;
    const int ng = sh.numgridsinbasin;
    allocate_or_stop("Error with allocation of area4 arrays in rdpar -2", [&] {
        for (auto* v : {&sh.flz, &sh.pwr, &sh.r1n, &sh.r2n, &sh.mndr, &sh.aa2, &sh.aa3, &sh.aa4, &sh.widep,
                        &p.theta_grid, &p.kcond_grid, &p.pool_grid, &p.rlake_grid})
            grow_to(*v, ng);
    });
    for (int g = 1; g <= ng; ++g) {
        if (ix(g) >= sh.iak.size()) break;
        const int c = sh.iak[ix(g)];
        // A grid whose river class has no parameters keeps its values.
        if (c < 1 || c > sh.numriverclasses) continue;
        const std::size_t gi = ix(g), ci = ix(c);
        sh.flz[gi] = p.flz[ci];
        sh.pwr[gi] = p.pwr[ci];
        sh.r1n[gi] = p.r1n[ci];
        sh.r2n[gi] = p.r2n[ci];
        sh.mndr[gi] = p.mndr[ci];
        sh.aa2[gi] = p.aa2[ci];
        sh.aa3[gi] = p.aa3[ci];
        sh.aa4[gi] = p.aa4[ci];
        sh.widep[gi] = p.widep[ci];
        p.theta_grid[gi] = p.theta[ci];
        p.kcond_grid[gi] = p.kcond[ci];
        p.pool_grid[gi] = p.pool[ci];
        p.rlake_grid[gi] = p.rlake[ci];
    }
}

void positive_ak(RunState& rs, ParState& p) {
    const int n = rs.shed.classcount;
    auto land = [n](int k) { return k != n - 1; };  // the water class is exempt
    for (int k = 1; k <= n; ++k) {
        if (land(k) && p.ak[ix(k)] <= 0.0f) {
            rs.con.line(msg() << "ak(" << k << ")<= 0.0");
            fatal_stop("program aborted in read_par_parser @ 1195");
        }
    }
    for (int k = 1; k <= n; ++k) {
        if (land(k) && p.akfs[ix(k)] <= 0.0f) {
            rs.con.line(msg() << "akfs(" << k << ")<= 0.0");
            fatal_stop("program aborted in read_par_parser @ 1201");
        }
    }
}

void fratio_checks(RunState& rs, ParState& p) {
    const int n = rs.shed.classcount;
    bool bad = false;
    for (int k = 1; k <= n; ++k) {
        const float v = p.fratio[ix(k)];
        if (v < 0.001f || v > 10.0f) {
            rs.con.line("WARNING:");
            rs.con.line(msg() << "fratio for class" << k << "=" << v);
            rs.con.line(" out of range 0.01 - 10.0");
            bad = true;
        }
    }
    if (bad) {
        rs.con.line("Please correct h & fratio values");
        rs.con.blank();
        rs.con.pause("Hit enter to abort");
        fatal_stop("Program aborted in read_par_parser @ 1204");
    }
    for (int k = 1; k <= n; ++k) {
        if (p.fratiohgh[ix(k)] > 10.0f) {
            rs.con.line("WARNING:");
            rs.con.line(msg() << "fratiohgh for class" << k << " above range 0.01 - 10.0");
            bad = true;
        }
    }
    if (bad) {
        rs.con.line("Please correct fratiohgh values");
        rs.con.blank();
        rs.con.pause("Hit enter to abort");
        fatal_stop("Program aborted in read_par_parser @ 1219");
    }
    for (int k = 1; k <= n; ++k) {
        if (p.fratiolow[ix(k)] < 0.01f) {
            rs.con.line("WARNING:");
            rs.con.line(msg() << "fratiolow for class" << k << " below range 0.01 - 10.0");
            rs.con.line(msg() << "Value =" << p.fratiolow[ix(k)]);
            bad = true;
        }
    }
    if (bad) {
        rs.con.line("Please correct fratiolow values");
        rs.con.blank();
        rs.con.pause("Hit enter to abort");
        fatal_stop("Program aborted in read_par_parser @ 1234");
    }
}

void global_constants(RunState& rs, ParState& p) {
    bool default_taken = false;
    if (p.a7 < 0.5f || p.a7 > 0.99f) {
        rs.con.line(" Value for weighting factor - old vs. new sca value");
        rs.con.line(" a7 not between 0.5-0.99in the par file");
        rs.con.line(" a7=0.50 assumed - matches trov8 results");
        info(rs, " ");
        info(rs, " WARNING - in rdpar");
        info(rs, "Value for weighting factor - old vs. new sca value");
        info(rs, "a7 not between 0.5-0.99in the par file");
        info(rs, "a7=0.50 assumed - matches trov8 results");
        info(rs, " ");
        p.a7 = 0.5f;
        default_taken = true;
    }
    if (p.a3 < 0.0f && p.ddsflg == 1) {
        rs.con.line("a3 < 0   Must be = or > 0 to use DDS");
        rs.con.line("Please correct the par file");
        rs.con.line("a3=0.05 assumed");
        rs.con.blank();
        p.a3 = 0.05f;
    }
    if (p.a4 < 0.0f && p.ddsflg == 1) {
        rs.con.line("a4 < 0   Must be = or > 0 to use DDS");
        rs.con.line("Please correct the par file");
        rs.con.blank();
        p.a4 = 0.03f;
    }
    if (p.a12 <= 0.0f && p.evt_smrflg == 'y') {
        // a12 stays: the event processing refuses the run with it.
        rs.con.line(" Value for a12 not defined in the paramerter file");
        rs.con.line(" a12=0.001 assumed - matches previous results");
        rs.con.line(" Paused in rdpar after reading aNN values");
        rs.con.blank();
        default_taken = true;
    }
    if (default_taken) {
        rs.con.line(" Hit enter to accept default & continue");
        rs.con.pause(" Program paused in rdpar @ 480");
    }

    bool range_default = false;
    if (p.a9 > 5.0f || p.a9 < 0.3f) {
        rs.con.blank();
        rs.con.line(" a9 (heat deficit / swe ratio outside range 0.333 - 5.0");
        rs.con.line(" a9 = .333 assumed");
        rs.con.line(" If this default value is unsuitable, please");
        rs.con.line(" edit the bsnm.par file and enter proper value");
        rs.con.line(" between 0.333 and 5.0");
        rs.con.blank();
        p.a9 = 0.333f;
        info(rs, " Value for a9 heat deficit to swe outside range" + fmt_f(p.a9, 10, 3) + " assumed");
        range_default = true;
    }
    if (rs.iopt == 2) rs.con.line("in rdpar @ 637");
    if (p.a10 > 3.0f || p.a10 < 0.5f) {
        rs.con.blank();
        rs.con.line(" a10 uz discharge exponent outside range 0.5 - 3.0");
        rs.con.line(" a10 = 1.0 assumed");
        rs.con.line(" If this default value is unsuitable, please");
        rs.con.line(" edit the bsnm.par file and enter proper value");
        rs.con.line(" between 0.5 and 3.0");
        rs.con.blank();
        p.a10 = 1.0f;
        info(rs, " Value for a10 uz exponent outside range" + fmt_f(p.a10, 10, 3) + " assumed");
        range_default = true;
    }
    if (range_default) {
        rs.con.blank();
        rs.con.line(" To continue with the default value(s) hit enter");
        rs.con.line(" To prevent this message from reoccurring, please enter");
        rs.con.line(" values for a9 and/or a10 in the parameter .par file");
        rs.con.blank();
        rs.con.pause("  Program paused in rdpar @ 512");
    }
    if (rs.iopt == 2) rs.con.line("in rdpar @ 660");
}

void river_classes(RunState& rs, ParState& p) {
    const int r = rs.shed.numriverclasses;
    for (int k = 1; k <= r; ++k) {
        const std::size_t i = ix(k);
        if (p.flz[i] < 0.0f) p.flz[i] = 1.0e-31f;
        if (p.ddsflg == 0 && p.numa == 0 && (p.pwr[i] < 0.1f || p.pwr[i] > 4.0f)) {
            rs.con.blank();
            rs.con.line(msg() << "The value of pwr for land cover class " << k);
            rs.con.line(msg() << "is " << p.pwr[i] << " which");
            rs.con.line("is not in the range of 0.1 - 4.0");
            rs.con.line("Please check all values");
            rs.con.line("This msg not printed for DDS & PS runs");
            rs.con.blank();
            rs.con.pause("Hit enter to continue with this value (@ 607)");
        }
    }
    if (rs.iopt == 2) rs.con.line("in rdpar @ 712");

    for (int k = 1; k <= r; ++k) {
        if (p.widep[ix(k)] <= 0.0f) {
            rs.con.line("Width/depth ratio must be specified when using");
            rs.con.line("Manning n as the roughness parameter.");
            rs.con.line("Please fix the par file");
            rs.con.blank();
            fatal_stop("Program aborted in rdpar @ 715");
        }
    }

    if (p.evt_wetflg != 'y') return;
    bool bad = false;
    for (int k = 1; k <= r; ++k) {
        const std::size_t i = ix(k);
        if (std::fabs(p.theta[i]) < 1.0e-5f) {
            rs.con.line(msg() << " Value for theta for river class " << k);
            rs.con.line(" too close to zero. Please provide reasonable");
            rs.con.line(" value  (0.01 to 0.5)");
            bad = true;
        }
        if (std::fabs(p.widep[i]) < 1.0f) {
            rs.con.line(msg() << " Value for width/depth ratio for river class" << k);
            rs.con.line(" too close to zero. Please provide reasonable");
            rs.con.line(" value say (1 to 100)");
            bad = true;
        }
        if (std::fabs(p.kcond[i]) < 9.9e-10f) {
            rs.con.line(msg() << " Value for kcond for river class " << k);
            rs.con.line(" too close to zero. Please provide reasonable");
            rs.con.line(" value  (1.0e-09 to 1.00)");
            bad = true;
        }
    }
    if (bad) fatal_stop("Program aborted in rdpar @ 595");
}

void class_names(RunState& rs, ParState& p) {
    const int n = rs.shed.classcount;
    p.glacier_class = 0;
    for (int k = 1; k <= n; ++k) {
        FText<10>& name = p.class_name[ix(k)];
        if (begins_any(name, {"GLACIER", "glacier", "Glacier", " glacier", " GLACIER", " Glacier"}))
            name = "glacier";
        if (begins(name, "glacier")) p.glacier_class = k;
        if (begins_any(name, {"WETLAND", "wetland", "Wetland", " wetland", " WETLAND", " Wetland"}))
            name = "wetland";
        if (begins_any(name, {"WATER", "water", "Water", " water", " WATER", " Water"})) name = "water";
    }

    if ((p.glacier_class == 0 || n == 0) && p.itrace == 1 && p.evt_trcflg == 'y') {
        rs.con.line("Tracer is set to track glacier melt");
        rs.con.line("and the tracer flag (trcflg) is set to \"y\"");
        rs.con.line("but there is no glacier class");
        rs.con.line("trcflg is set to \"n\" ");
        rs.con.blank();
        p.evt_trcflg = 'n';
        rs.con.pause("Continue by hitting enter");
    }

    if (p.evt_wetflg == 'y') {
        const int w = n - 2;
        const FText<10> name = w >= 1 ? p.class_name[ix(w)] : FText<10>();
        if (!begins(name, "wetland")) {
            rs.con.blank();
            rs.con.line(msg() << "Class no. " << w << " is expected to be");
            rs.con.line("the wetland class and be labelled as such");
            rs.con.line(msg() << "Name found ***" << name.str() << "***");
            rs.con.line("It should be ***wetland   ***");
            rs.con.line("Please be sure that the order of the parameters");
            rs.con.line("and the land cover data are in the same order");
            rs.con.line("Also: no  /  allowed in par file");
            rs.con.line("Please fix the parameter file and try again");
            rs.con.blank();
            fatal_stop("Program aborted in read_par_parser at line ~217");
        }
    }
}

// Recession values may not be negative, and the water class (next to last)
// must be marked.
void recession_and_water_class(RunState& rs, ParState& p) {
    const int n = rs.shed.classcount;
    for (int k = 1; k <= n; ++k) {
        if (p.rec[ix(k)] < 0.0f) {
            rs.con.line("the value for rec can not be less than 0.00");
            rs.con.line(msg() << "class=" << k << " value=" << p.rec[ix(k)]);
            rs.con.line("Please change the value in the par file");
            rs.con.blank();
            fatal_stop("Program aborted in read_par_parser @ 1040");
        }
    }

    // The water class is told apart by negative ak and akfs. Without a
    // class n-1 there is no water class: that is refused the same way.
    const int w = n - 1;
    const float akw = w >= 1 ? p.ak[ix(w)] : 0.0f;
    const float akfsw = w >= 1 ? p.akfs[ix(w)] : 0.0f;
    if (akw >= 0.0f || akfsw >= 0.0f) {
        rs.con.blank();
        rs.con.line("Error:");
        rs.con.line("Water class not specified");
        rs.con.line("ak and akfs NOT given a -ve value");
        rs.con.line(msg() << "ak(" << w << ") value found =" << akw);
        rs.con.line(msg() << "akfs(" << w << ") value found =" << akfsw);
        rs.con.line("Please correct the par file");
        rs.con.line(msg() << "No of classed expected =" << n);
        rs.con.blank();
        fatal_stop("Program aborted in read_par_parser @ 1514");
    }
    if (rs.iopt == 2) rs.con.line("param 9");
}

// The melt adjustment without limits, the water class's evaporation, wilting
// points, soil porosities, sublimation factors and the temperature floor.
void class_values(RunState& rs, ParState& p) {
    const int n = rs.shed.classcount;
    const int w = n - 1;
    if (p.fmadjust > 0.0f && (p.fmalow == 0.0f || p.fmahigh == 0.0f)) {
        rs.con.line(msg() << "fmadjust,fmalow,fmahigh/" << p.fmadjust << p.fmalow << p.fmahigh);
        rs.con.line("fmadjust is set to 0.0");
        rs.con.line(" because there are no limits set in bsnm.par");
        p.fmadjust = 0.0f;
        rs.con.prompt(" hit enter to continue");
    }

    if (w >= 1 && p.fpet[ix(w)] <= 0.0f) {
        rs.con.blank();
        rs.con.line("WARNING");
        rs.con.line(msg() << "Value for fpet for water class =" << p.fpet[ix(w)]);
        rs.con.line("This value is multiplied by the pet for water");
        rs.con.line("so for this value there will be no evaporation");
        rs.con.line("from water bodies");
        rs.con.line("Reasonable values are 0.5-1.0");
        rs.con.line("Please change the par file accordingly");
        rs.con.blank();
    }

    for (int k = 1; k <= n; ++k) {
        if (p.ffcap[ix(k)] <= 0.0f) {
            rs.con.line(msg() << "pwp(" << k << ") Permanent Wilting Point set too low.");
            rs.con.line(msg() << "pwp(" << k << ")  Must be > 0.0");
            rs.con.line(msg() << "pwp(" << k << ") set to 0.01");
            rs.con.blank();
            p.ffcap[ix(k)] = 0.01f;
        }
    }

    for (int k = 1; k <= n; ++k) {
        if (p.spore[ix(k)] <= 0.0f) {
            rs.con.line(msg() << "spore(" << k << ")=" << p.spore[ix(k)]);
            rs.con.line(" This value can not be .le. 0.0");
            rs.con.line(" Please correct the parameter file");
            rs.con.blank();
            fatal_stop("Program aborted in rdpar at ~1254");
        }
    }

    if (p.sublim_mode == SublimMode::factor) {
        for (int k = 1; k <= n; ++k) {
            if (p.sublim_factor[ix(k)] <= 0.75f) continue;
            if (p.numa == 0 && p.ddsflg == 0) {
                rs.con.line(msg() << "Warning: sublimation factor for class" << k);
                rs.con.line(msg() << "and is given as " << p.sublim_factor[ix(k)]);
                rs.con.line("is set too high. Sublim reduced to 0.75");
            }
            p.sublim_factor[ix(k)] = 0.75f;
        }
    }

    if (p.tempa3 < 1.0e-4f) {
        p.tempa3 = 0.0001f;
        info(rs, "WARNING:");
        info(rs, "Temp3 <0.0001  set temp3=0.001");
        info(rs, "");
    }
}

void interception_floor(RunState& rs, ParState& p) {
    for (int k = 1; k <= rs.shed.classcount; ++k)
        for (int m = 1; m <= 12; ++m) p.h[ix(k)][ix(m)] = std::max(p.h[ix(k)][ix(m)], 0.01f);
}

void ak2_limits(RunState& rs, ParState& p) {
    for (int k = 1; k <= rs.shed.classcount; ++k) {
        if (p.ak2[ix(k)] > 1.0f) {
            rs.con.line(" AK2(" + fmt_i(k, 5) + ") =");
            fatal_stop(" Please change value for AK2- must be lt 1");
        }
        if (p.ak2fs[ix(k)] > 1.0f) {
            rs.con.line(msg() << " AK2fs(" << k << ") =");
            fatal_stop(" Please change value for AK2fs - must be lt 1");
        }
    }
}

void zero_flz(RunState& rs, ParState& p) {
    const int last = std::min(p.nrvr_par, rs.shed.numriverclasses);
    for (int k = 1; k <= last; ++k) {
        if (p.flz[ix(k)] <= 0.0f)
            rs.con.line("In read_par,flz_o(" + fmt_i(k, 2) + ")=" + fmt_f(p.flz[ix(k)], 12, 7) +
                        " wrong parameter value - change flz(i) to +ve value");
    }
}

void ddsflg_override(RunState& rs, ParState& p) {
    const char* override_name = "ddsflg_override.txt";
    if (p.ddsflg >= 1 && file_exists(override_name) && rs.files.open_read(override_unit, override_name) == 0) {
        FileUnit& f = rs.files[override_unit];
        ListReader rd([&f](std::string& rec) { return f.get_line(rec); });
        int flag = p.ddsflg;
        // An unreadable file leaves the flag as the parameter file set it.
        if (rd.read(flag) == ReadResult::value) p.ddsflg = flag;
        rs.con.line("---------------------------------------------");
        rs.con.line("DDS_flag set to `0` for normal production run");
        rs.con.blank();
        rs.files.close(override_unit, true);
    }
    if (p.ddsflg == 1) rs.iopt = 0;
}

void store_lat(ParState& p, int g, float lat_deg) {
    const float a = lat_deg * deg_to_rad;
    p.sinlat[ix(g)] = std::sin(a);
    p.coslat[ix(g)] = std::cos(a);
    p.tanlat[ix(g)] = std::tan(a);
}

void evaporation_latitude(RunState& rs, ParState& p) {
    const ShedState& sh = rs.shed;
    const int ng = sh.totalnumofgrids;
    allocate_or_stop("Error with allocation of sinlat arrays in read_par_parser", [&] {
        grow_to(p.sinlat, ng);
        grow_to(p.coslat, ng);
        grow_to(p.tanlat, ng);
    });
    auto row = [&sh](int g) { return ix(g) < sh.yyy.size() ? sh.yyy[ix(g)] : 0; };

    if (p.flgevp2 == 4.0f) {
        const std::string coordsys = fit(rs.grid.projection.str(), 10);
        const FText<10> cs(coordsys);
        rs.con.line(coordsys);
        if ((coordsys.compare(0, 3, "UTM") == 0 || cs == "CARTESIAN") && p.lat == 0.0f) {
            rs.con.blank();
            rs.con.line("lat = 0 in the par file");
            rs.con.line("lat must have the value of the latitude of the");
            rs.con.line("midpoint of the watershed for UTM or Cartesian ");
            rs.con.line("coordinates");
            rs.con.blank();
            fatal_stop("Program aborted in read_par_parser @ L1739");
        }
        rs.con.blank();
        rs.con.line("NEW:   flgevp2 = 4 option");
        rs.con.line("the general mid-basin lat parameter in the par file");
        rs.con.line("will be replaced by the lat for each grid.");
        rs.con.blank();
        if (cs == "LATLONG") {
            float last_lat = p.lat;
            for (int g = 1; g <= ng; ++g) {
                last_lat = (static_cast<float>(row(g)) - 0.5f) * rs.grid.ydelta + rs.grid.yorigin;
                store_lat(p, g, last_lat);
            }
            if (ng >= 1) p.lat = last_lat;
        } else {
            rs.con.blank();
            rs.con.line("NEW <<<<");
            rs.con.line("variable lat is calculated based on the latitude");
            rs.con.line(msg() << "of the origin given in the par file as" << p.lat);
            float north = -90.0f;
            for (int g = 1; g <= ng; ++g) {
                const float lat_g = (static_cast<float>(row(g)) - 0.5f) * rs.grid.ydelta / metres_per_degree + p.lat;
                store_lat(p, g, lat_g);
                north = std::max(north, lat_g);
            }
            rs.con.line(msg() << "north-most latitude:" << north);
            rs.con.line("Please check");
            rs.con.blank();
        }
    } else if (p.flgevp2 == 2.0f) {
        if (p.lat == 0.0f) {
            rs.con.blank();
            rs.con.line("You have lat = 0.0  and flgevp2 = 2.0");
            rs.con.line("in the par file");
            rs.con.line("flgevp2 = 2.0 requires a value for the lat");
            rs.con.line("to use original monthly_climate_normals file");
            rs.con.line("the value of lat in the par file must be set as");
            rs.con.line("the mid north-south latitude of the watershed");
            rs.con.blank();
            fatal_stop("Program aborted in read_par_parser @ L1713");
        }
        for (int g = 1; g <= ng; ++g) store_lat(p, g, p.lat);
    }
}

}  // namespace

void par_sublim_rate_read(RunState& rs, ParState& p) {
    p.sublim_mode = SublimMode::rate;
    // The file gives a daily rate; the model steps by hours.
    for (int k = 1; k <= rs.shed.classcount; ++k) {
        p.sublim_rate[ix(k)] /= 24.0f;
        p.sublim_factor[ix(k)] = 0.0f;
    }
}

void par_after_snow(RunState& rs, ParState& p) {
    for (int k = 1; k <= rs.shed.classcount; ++k) {
        p.sdcsca[ix(k)][0] = 0.0f;
        p.sdcd[ix(k)][0] = 0.0f;
    }
}

void par_after_intcap_read(RunState& rs, ParState& p) {
    const int n = rs.shed.classcount;
    if (n - 1 >= 1)
        for (int m = 1; m <= 12; ++m) p.h[ix(n - 1)][ix(m)] = std::min(p.h[ix(n - 1)][ix(m)], 1.0e-6f);

    // With wetlands, a wetland class named like the class before it takes
    // that class's parameters.
    if (p.evt_wetflg != 'y' || n - 3 < 1) return;
    const int wet = n - 2, from = n - 3;
    if (p.class_name[ix(wet)].str() != p.class_name[ix(from)].str()) return;
    copy_class(p, wet, from);
    for (int m = 1; m <= 12; ++m) {
        if (p.h[ix(wet)][ix(m)] == p.h[ix(from)][ix(m)]) continue;
        rs.con.line("WARNING:");
        rs.con.line(msg() << "Int. values for classes" << wet << "and" << from << "for month" << m);
        rs.con.line("are set equal");
        p.h[ix(wet)][ix(m)] = p.h[ix(from)][ix(m)];
    }
}

void par_after_intcap_checked(RunState& rs, ParState& p) {
    par_interception(rs, p, false);
    if (rs.iopt == 2) rs.con.line("param 10a");
}

void par_before_evap(ParState& p) {
    for (auto& row : p.evap) row.fill(0.0f);
}

void par_after_snow_limits(RunState& rs, ParState& p) {
    if (p.sublim_mode != SublimMode::rate) return;
    for (int k = 1; k <= rs.shed.classcount; ++k) {
        p.sublow[ix(k)] /= 24.0f;
        p.subhgh[ix(k)] /= 24.0f;
    }
}

void par_global_limits_rule(RunState& rs, ParState& p) {
    if (p.sec_end[13] == 0) {
        // Without the section its values are not being optimised.
        p.rlapsedlt = -1.0f;
        p.tlapsedlt = -1.0f;
        p.radinfldlt = -1.0f;
        p.smoothdisdlt = -1.0f;
        rs.con.line("WARNING:");
        rs.con.line("New section of GlobalParLimits not found");
        rs.con.line("in the par file.");
        rs.con.line("rlapsedlt,tlapsedlt,radinfldlt & smoothdist");
        rs.con.line("set - -1.0  <<<<<<<<<<<<<<<<<<<<<<<<<<<<<<");
        rs.con.blank();
        return;
    }
    if (rs.smoothdist > rs.radiusinflce / 2.0f) {
        rs.con.blank();
        rs.con.line("WARNING: smoothing dist > radius of influence/2");
        rs.con.line("Likely will lead to problems in NIMBEX.exe");
        rs.con.line("and KALOR.exe");
        rs.con.line("with no data written to file & program hanging");
        rs.con.line("Program continues with ddsflg = 1");
        if (p.ddsflg == 0) rs.con.pause("Pls fix par file (Ctrl C) or hit enter to continue");
    }
}

void par_interception(RunState& rs, ParState& p, bool report) {
    for (int k = 1; k <= rs.shed.classcount; ++k) {
        auto& h = p.h[ix(k)];
        float hmax = 0.0f;
        for (int m = 1; m <= 12; ++m) {
            h[ix(m)] = std::max(h[ix(m)], p.a11);
            hmax = std::max(hmax, h[ix(m)]);
        }
        p.hmax[ix(k)] = hmax;
        // With no capacity at all the share is 0 rather than 0/0.
        for (int m = 1; m <= 12; ++m)
            p.fpetm[ix(k)][ix(m)] = hmax > 0.0f ? p.ftall[ix(k)] * h[ix(m)] / hmax : 0.0f;
        if (report) {
            std::string s("hmax ");
            put_f(s, hmax, 5, 2);
            info(rs, s);
            info(rs, month_line("h(  )", h));
            info(rs, month_line("fpetm", p.fpetm[ix(k)]));
        }
    }
    for (int k = 1; k <= rs.shed.classcount; ++k) {
        if (p.ak[ix(k)] > 0.0f) p.ak_index[ix(k)] = 100.0f - 250.0f * std::log10(p.ak[ix(k)] / 3600.0f);
        if (p.akfs[ix(k)] > 0.0f) p.akfs_index[ix(k)] = 100.0f - 250.0f * std::log10(p.akfs[ix(k)] / 3600.0f);
    }
}

void par_final_checks(RunState& rs, ParState& p) {
    routing_to_grids(rs, p);
    positive_ak(rs, p);
    fratio_checks(rs, p);
    global_constants(rs, p);
    river_classes(rs, p);
    class_names(rs, p);
    recession_and_water_class(rs, p);
    class_values(rs, p);
    par_interception(rs, p, true);
    if (rs.iopt == 2) rs.con.line("param 10a");
    interception_floor(rs, p);
    ak2_limits(rs, p);
    zero_flz(rs, p);
    ddsflg_override(rs, p);
    evaporation_latitude(rs, p);
    if (rs.iopt == 2) rs.con.line("read_par_parser before return @ 9989");
}

}  // namespace nimbex
