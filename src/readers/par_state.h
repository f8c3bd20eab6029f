#pragma once
// The parameter reader's own working state: global constants, one value per
// river class or land-cover class, monthly tables and the limits of the
// optimiser, plus what the checks derive from them. Outside the reader the
// run sees only its result (par_result.h).
//
// Per-class arrays are indexed by class number 1..n (element 0 unused), per
// river class by 1..r, per grid by grid number (element 0 unused). Monthly
// tables are [class][month] with months 1..12 (month 0 unused). The run values
// the program itself uses (iopt, rlapse, radiusinflce, smoothdist) live at the
// top of RunState; a12 reaches the run through the result.
#include <array>
#include <string>
#include <vector>

#include "platform/text.h"

namespace nimbex {

constexpr int par_section_count = 13;
constexpr int par_max_comments = 100;

// How sublimation was given (the later of the two keywords decides).
enum class SublimMode { none, factor, rate };

using MonthTable = std::vector<std::array<float, 13>>;

struct ParState {
    // Event switches, set from the event file before the read. Checks may
    // change evt_trcflg (no glacier class to trace).
    char evt_smrflg = 'n';
    char evt_wetflg = 'n';
    char evt_trcflg = 'n';

    // Line numbers of the section markers, sections 1..13 (0 when absent),
    // and the number of lines of the file.
    std::array<int, par_section_count + 1> sec_start{};
    std::array<int, par_section_count + 1> sec_end{};
    int nlines = 0;

    // Comment lines before the global section (first 72 characters each).
    std::vector<std::string> comments;
    int ncomments = 0;

    // Global scalars.
    int itype = 0, itrace = 0;
    float a1 = 0.0f, a2 = 0.0f, a3 = 0.0f, a4 = 0.0f, a5 = 0.0f, a6 = 0.0f;
    float a7 = 0.0f, a8 = 0.0f, a9 = 0.0f, a10 = 0.0f, a11 = 0.0f, a12 = 0.0f;
    float fmadjust = 0.0f, fmalow = 0.0f, fmahigh = 0.0f, gladjust = 0.0f;
    float tlapse = 0.0f, elvref = 0.0f, rainsnowtemp = 0.0f;
    float flgevp2 = 0.0f;
    float albe = 0.0f, tempa2 = 0.0f, tempa3 = 0.0f, tton = 0.0f;
    float lat = 0.0f;
    std::array<float, 6> chnl{};  // 1..5

    // Optimisation switches.
    int numa = 0, nper = 0, kc = 0, maxn = 0, ddsflg = 0, errflg = 0;

    // Counts as written in the file (0 when the line is absent).
    int nrvr_par = 0;
    int classcount_par = 0;

    // Per river class.
    std::vector<FText<10>> rivtype;
    std::vector<float> flz, pwr, r1n, r2n, mndr, aa2, aa3, aa4, theta, widep, kcond, pool, rlake;

    // Per land-cover class: names and hydrological parameters.
    std::vector<FText<10>> class_name;
    int glacier_class = 0;  // 0: none
    std::vector<float> ds, dsfs, rec, ak, akfs, retn, ak2, ak2fs, r3, r3fs, r4;
    std::vector<float> fpet, ftall, flint, fcap, ffcap, spore, fratio;

    // Per land-cover class: snow.
    std::vector<float> fm, fmn, rho, alb, base, uadj, tipm, whcl;
    std::vector<float> sublim_factor, sublim_rate, snocap;
    std::vector<int> idump, nsdc;
    // Snow depletion curve: [class][0] first point (set to 0), [class][1] second point.
    std::vector<std::array<float, 2>> sdcsca, sdcd;
    SublimMode sublim_mode = SublimMode::none;

    // Per class and month: interception capacity, monthly evaporation, and the
    // derived share of pet; hmax is each class's largest capacity.
    MonthTable h, evap, fpetm;
    std::vector<float> hmax;
    // Per class: 100 - 250*log10(ak/3600) and the same of akfs.
    std::vector<float> ak_index, akfs_index;

    // Limits of the optimiser: step (dlt), lower (low) and upper (hgh) limits.
    float a5dlt = 0.0f, a5low = 0.0f, a5hgh = 0.0f;
    std::vector<float> akdlt, aklow, akhgh, akfsdlt, akfslow, akfshgh;
    std::vector<float> recdlt, reclow, rechgh, r3dlt, r3low, r3hgh;
    std::vector<float> fpetdlt, fpetlow, fpethgh, ftalldlt, ftalllow, ftallhgh;
    std::vector<float> fratiodlt, fratiolow, fratiohgh, retndlt, retnlow, retnhgh;
    std::vector<float> ak2dlt, ak2low, ak2hgh, ak2fsdlt, ak2fslow, ak2fshgh;
    std::vector<float> ak2scdlt, ak2sclow, ak2schgh;
    float fmadjustdlt = 0.0f, fmadjustlow = 0.0f, fmadjusthgh = 0.0f;
    float fmalowdlt = 0.0f, fmalowlow = 0.0f, fmalowhgh = 0.0f;
    float fmahighdlt = 0.0f, fmahighlow = 0.0f, fmahighhgh = 0.0f;
    float gladjustdlt = 0.0f, gladjustlow = 0.0f, gladjusthgh = 0.0f;
    std::vector<float> fmdlt, fmlow, fmhgh, basedlt, baselow, basehgh, subdlt, sublow, subhgh;
    std::vector<float> flzdlt, flzlow, flzhgh, pwrdlt, pwrlow, pwrhgh, r2ndlt, r2nlow, r2nhgh;
    std::vector<float> thetadlt, thetalow, thetahgh, kconddlt, kcondlow, kcondhgh;
    std::vector<float> rlakedlt, rlakelow, rlakehgh;
    float rlapsedlt = 0.0f, rlapselow = 0.0f, rlapsehgh = 0.0f;
    float tlapsedlt = 0.0f, tlapselow = 0.0f, tlapsehgh = 0.0f;
    float radinfldlt = 0.0f, radinfllow = 0.0f, radinflhgh = 0.0f;
    float smoothdisdlt = 0.0f, smoothdislow = 0.0f, smoothdishgh = 0.0f;

    // Per grid (1..numgridsinbasin): the routing values of the grid's river
    // class that the watershed state has no array for.
    std::vector<float> theta_grid, kcond_grid, pool_grid, rlake_grid;

    // Per grid (1..totalnumofgrids): latitude used for evaporation.
    std::vector<float> sinlat, coslat, tanlat;
};

}  // namespace nimbex
