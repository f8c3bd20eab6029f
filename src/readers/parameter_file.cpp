// The parameter file reader. The whole file is taken into a line table in one
// pass that also finds the section markers; each section is then a pass over
// its own lines, matching keywords as case-sensitive line prefixes and reading
// their values as free-format lists.
#include "readers/parameter_file.h"

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/run_state.h"
#include "platform/allocation.h"
#include "platform/bounds.h"
#include "platform/fatal.h"
#include "platform/files.h"
#include "platform/fortran_format.h"
#include "platform/free_format.h"
#include "platform/text.h"
#include "readers/par_state.h"
#include "readers/parameter_checks.h"

namespace nimbex {

namespace {

constexpr std::size_t line_width = 512;
constexpr std::size_t comment_width = 72;
constexpr std::size_t keyword_width = 60;
constexpr std::size_t max_par_lines = 100000;

struct Marker {
    std::string_view start, end;
};

// Sections 1..13 in the order they are read (and first-pass compared).
constexpr std::array<Marker, par_section_count> markers{{
    {":GlobalParameters", ":EndGlobalParameters"},
    {":RoutingParameters", ":EndRoutingParameters"},
    {":HydrologicalParam", ":EndHydrologicalParam"},
    {":SnowParameters", ":EndSnowParameters"},
    {":InterceptionCapacity", ":EndInterceptionCapacity"},
    {":MonthlyEvap", ":EndMonthlyEvap"},
    {":OptimizationSwitches", ":EndOptimizationSwitches"},
    {":APILimits", ":EndAPILimits"},
    {":HydrologicalParLimits", ":EndHydrologicalParLimits"},
    {":GlobalSnowParLimits", ":EndGlobalSnowParLimits"},
    {":SnowParLimits", ":EndSnowParLimits"},
    {":RoutingParLimits", ":EndRoutingParLimits"},
    {":GlobalParLimits", ":EndGlobalParLimits"},
}};

constexpr std::array<std::string_view, 12> month_suffix{
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool starts_with(const std::string& line, std::string_view key) {
    return line.size() >= key.size() && line.compare(0, key.size(), key) == 0;
}

// A value of the parameter file that is not a finite number. Even values
// this program does not use are echoed and handed on, so none may be NaN or
// an infinity.
class NotFinite : public FatalStop {
public:
    NotFinite(std::string_view line, float v) : FatalStop("value not a finite number"), line_(line), v_(v) {}
    const std::string& line() const { return line_; }
    float value() const { return v_; }
private:
    std::string line_;
    float v_;
};

// The values of one keyword line: the keyword token is read and dropped,
// then the items in order. The first failed item ends the line's reading.
class LineValues {
public:
    explicit LineValues(std::string_view line) : rd_(line), line_(line) {
        std::string keyword;
        take(rd_.read(keyword, keyword_width));
    }
    bool ok() const { return ok_; }
    // True when the last item read was stored (not null, not after "/").
    bool stored() const { return last_ == ReadResult::value; }

    void get(int& v) { if (ok_) take(rd_.read(v)); }
    void get(float& v) {
        if (!ok_) return;
        take(rd_.read(v));
        if (last_ == ReadResult::value && !std::isfinite(v)) throw NotFinite(line_, v);
    }
    void get(FText<10>& v) {
        if (!ok_) return;
        std::string s;
        take(rd_.read(s, 10));
        if (last_ == ReadResult::value) v = s;
    }
    template <class T>
    void per_class(std::vector<T>& v, int n) {
        for (int k = 1; k <= n && ok_; ++k) get(v[static_cast<std::size_t>(k)]);
    }
    void per_class_month(MonthTable& t, int month, int n) {
        for (int k = 1; k <= n && ok_; ++k) get(t[static_cast<std::size_t>(k)][static_cast<std::size_t>(month)]);
    }
    void per_class_point(std::vector<std::array<float, 2>>& t, int point, int n) {
        for (int k = 1; k <= n && ok_; ++k) get(t[static_cast<std::size_t>(k)][static_cast<std::size_t>(point)]);
    }

private:
    void take(ReadResult r) {
        last_ = r;
        if (read_failed(r)) ok_ = false;
    }
    ListReader rd_;
    std::string_view line_;
    bool ok_ = true;
    ReadResult last_ = ReadResult::value;
};

using Action = std::function<void(LineValues&)>;
struct Key {
    std::string keyword;
    Action act;
};
using KeyTable = std::vector<Key>;

// Small builders for the section tables.
struct Keys {
    KeyTable t;
    void scalar(std::string kw, float& x) { t.push_back({std::move(kw), [&x](LineValues& lv) { lv.get(x); }}); }
    void scalar(std::string kw, int& x) { t.push_back({std::move(kw), [&x](LineValues& lv) { lv.get(x); }}); }
    template <class T>
    void per(std::string kw, std::vector<T>& v, int n) {
        t.push_back({std::move(kw), [&v, n](LineValues& lv) { lv.per_class(v, n); }});
    }
    void special(std::string kw, Action a) { t.push_back({std::move(kw), std::move(a)}); }
};

// Scans lines s+1 .. e-1 (s = 0 when the start marker is absent); a section
// without its end marker is skipped. True when any keyword line failed.
bool scan_section(const std::vector<std::string>& lines, int s, int e, const KeyTable& keys) {
    bool error = false;
    if (e == 0) return false;
    for (int ln = s + 1; ln <= e - 1; ++ln) {
        const std::string& line = lines[static_cast<std::size_t>(ln - 1)];
        for (const Key& key : keys) {
            if (!starts_with(line, key.keyword)) continue;
            LineValues lv(line);
            key.act(lv);
            if (!lv.ok()) error = true;
            break;
        }
    }
    return error;
}

void section_error(RunState& rs, bool error, std::string_view message, const std::string& abort) {
    if (!error) return;
    rs.con.line(message);
    rs.con.blank();
    rs.con.pause("hit enter to abort the program");
    fatal_stop(abort);
}

template <class V>
void grow(V& v, int n) {
    const std::size_t want = static_cast<std::size_t>(n < 0 ? 0 : n) + 1;
    if (v.size() < want) v.resize(want);
}

template <class... V>
void grow_all(int n, V&... v) {
    (grow(v, n), ...);
}

// ---- section tables -------------------------------------------------------

KeyTable global_keys(RunState& rs, ParState& p) {
    Keys k;
    k.scalar(":iopt", rs.iopt);
    k.scalar(":itype", p.itype);
    k.scalar(":itrace", p.itrace);
    float* a_1to9[] = {&p.a1, &p.a2, &p.a3, &p.a4, &p.a5, &p.a6, &p.a7, &p.a8, &p.a9};
    for (int i = 0; i < 9; ++i) k.scalar(":a" + std::to_string(i + 1) + ",", *a_1to9[i]);
    k.scalar(":a10", p.a10);
    k.scalar(":a11", p.a11);
    k.scalar(":a12", p.a12);
    k.scalar(":fmadjust", p.fmadjust);
    k.scalar(":fmalow", p.fmalow);
    k.scalar(":fmahigh", p.fmahigh);
    k.scalar(":gladjust", p.gladjust);
    k.scalar(":rlapse", rs.rlapse);
    k.scalar(":tlapse", p.tlapse);
    k.scalar(":elvref", p.elvref);
    k.scalar(":rainsnowtemp", p.rainsnowtemp);
    k.scalar(":radiusinflce", rs.radiusinflce);
    k.scalar(":smoothdist", rs.smoothdist);
    k.scalar(":flgevp2", p.flgevp2);
    k.scalar(":albe", p.albe);
    k.scalar(":tempa2", p.tempa2);
    k.scalar(":tempa3", p.tempa3);
    k.scalar(":tton", p.tton);
    k.scalar(":lat", p.lat);
    for (int i = 1; i <= 5; ++i) k.scalar(":chnl(" + std::to_string(i) + ")", p.chnl[static_cast<std::size_t>(i)]);
    return std::move(k.t);
}

KeyTable routing_keys(RunState& rs, ParState& p) {
    const int r = rs.shed.numriverclasses;
    Keys k;
    k.special(":RiverClasses", [&rs, &p, r](LineValues& lv) {
        lv.get(p.nrvr_par);
        if (!lv.ok() || p.nrvr_par == r) return;
        rs.con.blank();
        rs.con.line("No of river classes in the par file does not match");
        rs.con.line("the number in the shd file");
        rs.con.line(msg() << "shd file number =" << r);
        rs.con.line(msg() << "par file number =" << p.nrvr_par);
        rs.con.blank();
        fatal_stop("Fatal error: program aborted in read_par_parser @ 173");
    });
    k.per(":RiverClassName", p.rivtype, r);
    k.per(":flz", p.flz, r);
    k.per(":pwr", p.pwr, r);
    k.per(":r1n", p.r1n, r);
    k.per(":r2n", p.r2n, r);
    k.per(":mndr", p.mndr, r);
    k.per(":aa2", p.aa2, r);
    k.per(":aa3", p.aa3, r);
    k.per(":aa4", p.aa4, r);
    k.per(":theta", p.theta, r);
    k.per(":widep", p.widep, r);
    k.per(":kcond", p.kcond, r);
    k.per(":pool", p.pool, r);
    k.per(":rlake", p.rlake, r);
    return std::move(k.t);
}

KeyTable hydrological_keys(RunState& rs, ParState& p) {
    const int n = rs.shed.classcount;
    Keys k;
    k.special(":LandCoverClasses", [&rs, &p, n](LineValues& lv) {
        lv.get(p.classcount_par);
        if (!lv.ok() || p.classcount_par == n) return;
        rs.con.line("WARNING:");
        rs.con.line("no of land cover classes in this par file");
        rs.con.line(msg() << "classcount parfile=" << p.classcount_par);
        rs.con.line("does not match");
        rs.con.line("the number in the shd file");
        rs.con.line(msg() << "classcount shd file=" << n);
        rs.con.line("please check");
        rs.con.blank();
        rs.con.pause("Hit enter to abort");
        fatal_stop("progran aborted in write_par_10 @ 348");
    });
    k.per(":ClassName", p.class_name, n);
    k.per(":ds,", p.ds, n);
    k.per(":dsfs", p.dsfs, n);
    k.per(":rec", p.rec, n);
    k.per(":ak,", p.ak, n);
    k.per(":akfs", p.akfs, n);
    k.per(":retn", p.retn, n);
    k.per(":ak2,", p.ak2, n);
    k.per(":ak2fs", p.ak2fs, n);
    k.per(":r3,", p.r3, n);
    k.per(":r3fs", p.r3fs, n);
    k.per(":r4", p.r4, n);
    k.per(":fpet", p.fpet, n);
    k.per(":ftall", p.ftall, n);
    k.per(":flint", p.flint, n);
    k.per(":fcap", p.fcap, n);
    k.per(":ffcap", p.ffcap, n);
    k.per(":spore", p.spore, n);
    k.per(":fratio", p.fratio, n);
    return std::move(k.t);
}

KeyTable snow_keys(RunState& rs, ParState& p) {
    const int n = rs.shed.classcount;
    Keys k;
    k.per(":fm,", p.fm, n);
    k.per(":base", p.base, n);
    k.per(":fmn", p.fmn, n);
    k.per(":uadj", p.uadj, n);
    k.per(":tipm", p.tipm, n);
    k.per(":rho", p.rho, n);
    k.per(":whcl", p.whcl, n);
    k.per(":alb", p.alb, n);
    k.special(":sublim_factor", [&p, n](LineValues& lv) {
        lv.per_class(p.sublim_factor, n);
        p.sublim_mode = SublimMode::factor;
    });
    k.special(":sublim_rate", [&rs, &p, n](LineValues& lv) {
        lv.per_class(p.sublim_rate, n);
        par_sublim_rate_read(rs, p);
    });
    k.per(":idump", p.idump, n);
    k.per(":snocap", p.snocap, n);
    k.per(":nsdc", p.nsdc, n);
    k.special(":sdcsca", [&p, n](LineValues& lv) { lv.per_class_point(p.sdcsca, 1, n); });
    k.special(":sdcd", [&p, n](LineValues& lv) { lv.per_class_point(p.sdcd, 1, n); });
    return std::move(k.t);
}

KeyTable month_keys(MonthTable& t, std::string_view prefix, int n) {
    Keys k;
    for (int m = 1; m <= 12; ++m) {
        std::string kw(prefix);
        kw += month_suffix[static_cast<std::size_t>(m - 1)];
        k.special(kw, [&t, m, n](LineValues& lv) { lv.per_class_month(t, m, n); });
    }
    return std::move(k.t);
}

KeyTable optimization_keys(ParState& p) {
    Keys k;
    k.scalar(":numa", p.numa);
    k.scalar(":nper", p.nper);
    k.scalar(":kc", p.kc);
    k.scalar(":maxn", p.maxn);
    k.scalar(":ddsflg", p.ddsflg);
    k.scalar(":errflg", p.errflg);
    return std::move(k.t);
}

KeyTable api_limit_keys(ParState& p) {
    Keys k;
    k.scalar(":a5dlt", p.a5dlt);
    k.scalar(":a5low", p.a5low);
    k.scalar(":a5hgh", p.a5hgh);
    return std::move(k.t);
}

// name + "dlt", "low", "hgh" for one limited per-class parameter.
template <class T>
void limits3(Keys& k, std::string_view name, std::vector<T>& dlt, std::vector<T>& low, std::vector<T>& hgh, int n) {
    k.per(std::string(":") + std::string(name) + "dlt", dlt, n);
    k.per(std::string(":") + std::string(name) + "low", low, n);
    k.per(std::string(":") + std::string(name) + "hgh", hgh, n);
}

void limits3(Keys& k, std::string_view name, float& dlt, float& low, float& hgh) {
    k.scalar(std::string(":") + std::string(name) + "dlt", dlt);
    k.scalar(std::string(":") + std::string(name) + "low", low);
    k.scalar(std::string(":") + std::string(name) + "hgh", hgh);
}

KeyTable hydro_limit_keys(RunState& rs, ParState& p) {
    const int n = rs.shed.classcount;
    Keys k;
    limits3(k, "ak", p.akdlt, p.aklow, p.akhgh, n);
    limits3(k, "akfs", p.akfsdlt, p.akfslow, p.akfshgh, n);
    limits3(k, "rec", p.recdlt, p.reclow, p.rechgh, n);
    limits3(k, "r3", p.r3dlt, p.r3low, p.r3hgh, n);
    limits3(k, "fpet", p.fpetdlt, p.fpetlow, p.fpethgh, n);
    limits3(k, "ftall", p.ftalldlt, p.ftalllow, p.ftallhgh, n);
    limits3(k, "fratio", p.fratiodlt, p.fratiolow, p.fratiohgh, n);
    limits3(k, "retn", p.retndlt, p.retnlow, p.retnhgh, n);
    limits3(k, "ak2", p.ak2dlt, p.ak2low, p.ak2hgh, n);
    limits3(k, "ak2fs", p.ak2fsdlt, p.ak2fslow, p.ak2fshgh, n);
    // ak2sc's lower limit gets a keyword of its own here.
    limits3(k, "ak2sc", p.ak2scdlt, p.ak2sclow, p.ak2schgh, n);
    return std::move(k.t);
}

KeyTable global_snow_limit_keys(ParState& p) {
    Keys k;
    limits3(k, "fmadjust", p.fmadjustdlt, p.fmadjustlow, p.fmadjusthgh);
    limits3(k, "fmalow", p.fmalowdlt, p.fmalowlow, p.fmalowhgh);
    limits3(k, "fmahigh", p.fmahighdlt, p.fmahighlow, p.fmahighhgh);
    limits3(k, "gladjust", p.gladjustdlt, p.gladjustlow, p.gladjusthgh);
    return std::move(k.t);
}

KeyTable snow_limit_keys(RunState& rs, ParState& p) {
    const int n = rs.shed.classcount;
    Keys k;
    limits3(k, "fm", p.fmdlt, p.fmlow, p.fmhgh, n);
    limits3(k, "base", p.basedlt, p.baselow, p.basehgh, n);
    limits3(k, "sub", p.subdlt, p.sublow, p.subhgh, n);
    return std::move(k.t);
}

KeyTable routing_limit_keys(RunState& rs, ParState& p) {
    const int r = rs.shed.numriverclasses;
    Keys k;
    limits3(k, "flz", p.flzdlt, p.flzlow, p.flzhgh, r);
    limits3(k, "pwr", p.pwrdlt, p.pwrlow, p.pwrhgh, r);
    limits3(k, "r2n", p.r2ndlt, p.r2nlow, p.r2nhgh, r);
    limits3(k, "theta", p.thetadlt, p.thetalow, p.thetahgh, r);
    limits3(k, "kcond", p.kconddlt, p.kcondlow, p.kcondhgh, r);
    limits3(k, "rlake", p.rlakedlt, p.rlakelow, p.rlakehgh, r);
    return std::move(k.t);
}

KeyTable global_limit_keys(ParState& p) {
    Keys k;
    limits3(k, "rlapse", p.rlapsedlt, p.rlapselow, p.rlapsehgh);
    limits3(k, "tlapse", p.tlapsedlt, p.tlapselow, p.tlapsehgh);
    limits3(k, "radinfl", p.radinfldlt, p.radinfllow, p.radinflhgh);
    limits3(k, "smoothdis", p.smoothdisdlt, p.smoothdislow, p.smoothdishgh);
    return std::move(k.t);
}

// First pass: the marker that a line is, if any (first match in table order).
void note_marker(ParState& p, const std::string& line, int ln) {
    for (int s = 1; s <= par_section_count; ++s) {
        const Marker& m = markers[static_cast<std::size_t>(s - 1)];
        // The global start marker must stand alone in its first 19 columns.
        const bool start = s == 1 ? line.compare(0, 19, ":GlobalParameters  ") == 0 : starts_with(line, m.start);
        if (start) {
            p.sec_start[static_cast<std::size_t>(s)] = ln;
            return;
        }
        if (starts_with(line, m.end)) {
            p.sec_end[static_cast<std::size_t>(s)] = ln;
            return;
        }
    }
}

void collect_comments(RunState& rs, ParState& p, const std::vector<std::string>& lines) {
    const int last = p.sec_start[1];
    for (int ln = 1; ln <= last; ++ln) {
        const std::string& line = lines[static_cast<std::size_t>(ln - 1)];
        if (line[0] != '#') continue;
        if (p.ncomments < par_max_comments) {
            p.comments.push_back(fit(line, comment_width));
            ++p.ncomments;
        } else {
            rs.con.line("max number of comments in the parfile ");
            rs.con.line("GlobalParameter section exceeds 100");
            rs.con.line("Rest of comments are not passed on");
            rs.con.pause("Hit enter to continue");
        }
    }
}

}  // namespace

void allocate_par_arrays(RunState& rs, ParState& p) {
    const int n = rs.shed.classcount;
    const int r = rs.shed.numriverclasses;
    allocate_or_stop("Error with allocation of rivtype in rdpar", [&] {
        grow_all(r, p.rivtype, p.flz, p.pwr, p.r1n, p.r2n, p.mndr, p.aa2, p.aa3, p.aa4, p.theta, p.widep,
                 p.kcond, p.pool, p.rlake);
    });
    try {
        allocate_or_stop("program aborted in rdpar @ 626", [&] {
            grow_all(n, p.class_name, p.ds, p.dsfs, p.rec, p.ak, p.akfs, p.retn, p.ak2, p.ak2fs, p.r3, p.r3fs,
                     p.r4, p.fpet, p.ftall, p.flint, p.fcap, p.ffcap, p.spore, p.fratio);
        });
    } catch (const FatalStop&) {
        // This stop explains itself on the console first.
        rs.con.line("Error with allocation of area4 arrays in rdpar @ 524");
        rs.con.line("Try setting numa = 0 in the par file");
        rs.con.blank();
        throw;
    }
    allocate_or_stop("Warning: error with allocation of area4a arrays @ 186", [&] {
        grow_all(n, p.akdlt, p.aklow, p.akhgh, p.akfsdlt, p.akfslow, p.akfshgh, p.recdlt, p.reclow, p.rechgh,
                 p.r3dlt, p.r3low, p.r3hgh, p.fpetdlt, p.fpetlow, p.fpethgh, p.ftalldlt, p.ftalllow, p.ftallhgh,
                 p.fratiodlt, p.fratiolow, p.fratiohgh, p.retndlt, p.retnlow, p.retnhgh, p.ak2dlt, p.ak2low,
                 p.ak2hgh, p.ak2fsdlt, p.ak2fslow, p.ak2fshgh, p.ak2scdlt, p.ak2sclow, p.ak2schgh);
    });
    allocate_or_stop("Warning: error with allocation of areaoptsa arrays @ 196", [&] {
        grow_all(n, p.fmdlt, p.fmlow, p.fmhgh, p.basedlt, p.baselow, p.basehgh, p.subdlt, p.sublow, p.subhgh);
        grow_all(r, p.flzdlt, p.flzlow, p.flzhgh, p.pwrdlt, p.pwrlow, p.pwrhgh, p.r2ndlt, p.r2nlow, p.r2nhgh,
                 p.thetadlt, p.thetalow, p.thetahgh, p.kconddlt, p.kcondlow, p.kcondhgh, p.rlakedlt, p.rlakelow,
                 p.rlakehgh);
    });
    allocate_or_stop("Warning: error with allocation of areamelta arrays in read_par", [&] {
        grow_all(n, p.fm, p.fmn, p.rho, p.alb, p.base, p.uadj, p.tipm, p.whcl, p.sublim_factor, p.sublim_rate,
                 p.snocap);
    });
    allocate_or_stop("Warning: error with allocation of evap arrays in read_par",
                     [&] { grow_all(n, p.h, p.evap, p.fpetm, p.hmax); });
    allocate_or_stop("Error with allocation of area4 arrays in rdpar -2",
                     [&] { grow_all(n, p.ak_index, p.akfs_index); });
    allocate_or_stop("Error with allocation of areamelta arrays in read_par",
                     [&] { grow_all(n, p.idump, p.nsdc, p.sdcsca, p.sdcd); });
}

namespace {

// The per-class melt arrays for the watershed's class count.
void create_class_arrays(RunState& rs, ParState& p) {
    allocate_or_stop("Error with allocation of areamelta arrays in nimbex @ 275",
                     [&] { grow_all(rs.shed.classcount, p.fm, p.fmn, p.base); });
}

// Arrays for the current counts, and the values set before every read.
void prepare_read(RunState& rs, ParState& p) {
    create_class_arrays(rs, p);
    allocate_par_arrays(rs, p);
    p.ddsflg = 0;
    p.ncomments = 0;
    p.comments.clear();
    p.nrvr_par = 0;
    p.classcount_par = 0;
    p.sublim_mode = SublimMode::none;
    for (int k = 1; k <= rs.shed.classcount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        p.fratio[i] = 1.0f;
        p.fratiodlt[i] = -1.0f;
        p.fratiolow[i] = 0.1f;
        p.fratiohgh[i] = 10.0f;
    }
}

// The file must exist and open; it is opened for reading only, never
// written back.
FileUnit& open_par_file(RunState& rs, int unit, const std::string& entry_text, const std::string& name) {
    if (!file_exists(name)) {
        rs.con.blank();
        rs.con.line("Fatal error");
        rs.con.line("Attempting to open the par file");
        rs.con.line(msg() << "file name " << first_chars(entry_text, 40));
        rs.con.line("but it is not found (in this location)");
        rs.con.line("check for correct keyword and/or file name");
        rs.con.blank();
        fatal_stop("Program aborted in read_par_parser @ 280");
    }
    if (rs.files.open_read(unit, name) != 0) {
        rs.con.line(msg() << " Error opening" << first_chars(entry_text, 40));
        rs.con.line(msg() << "on unit=" << unit);
        rs.con.blank();
        fatal_stop(" Program aborted in read_par_parser @ 289");
    }
    return rs.files[unit];
}

// First pass: the line table (it grows with the file, so no line of a long
// file is lost) and the section markers.
std::vector<std::string> read_line_table(RunState& rs, ParState& p, FileUnit& file, const std::string& name) {
    std::vector<std::string> lines;
    lines.reserve(1000);
    p.sec_start.fill(0);
    p.sec_end.fill(0);
    std::string buf;
    while (file.get_line(buf)) {
        // Each line takes 512 characters here: a file far longer than any
        // parameter file (a data file named by mistake) is refused.
        if (lines.size() >= max_par_lines) {
            rs.con.line(msg() << "more than" << static_cast<int>(max_par_lines) << " lines in the parameter file");
            fatal_stop("Program aborted in read_par_parser: too many lines in " + name);
        }
        lines.push_back(fit(buf, line_width));
        note_marker(p, lines.back(), static_cast<int>(lines.size()));
    }
    p.nlines = static_cast<int>(lines.size());
    file.rewind();
    return lines;
}

// The sections in order, each with the checks that follow it.
void read_sections(RunState& rs, ParState& p, const std::vector<std::string>& lines, const std::string& name) {
    const int n = rs.shed.classcount;
    auto scan = [&](int s, const KeyTable& keys) {
        try {
            return scan_section(lines, p.sec_start[static_cast<std::size_t>(s)],
                                p.sec_end[static_cast<std::size_t>(s)], keys);
        } catch (const NotFinite& bad) {
            rs.con.line("ERROR in the parameter file " + name);
            rs.con.line("   in line: " + std::string(trim_right(bad.line())));
            fatal_stop("Program aborted in read_par_parser: value " + real_text(bad.value()) +
                       " is not a finite number in " + name + ", line: " + std::string(trim(bad.line())));
        }
    };

    section_error(rs, scan(1, global_keys(rs, p)), "error in :GlobalParameters",
                  "Program aborted in read_par_parser @ 322");
    if (rs.iopt >= 1) rs.con.line(msg() << "no of lines read in the par file =" << p.nlines);

    section_error(rs, scan(2, routing_keys(rs, p)), "error in :RoutingParameters",
                  "Program aborted in read_par_parser @ 356");
    section_error(rs, scan(3, hydrological_keys(rs, p)), "error in :HydrologicalParameters",
                  "Program aborted in read_par_parser @ 401");

    section_error(rs, scan(4, snow_keys(rs, p)), "error in :SnowParameters",
                  "Program aborted in read_par_parser @ 436");
    par_after_snow(rs, p);

    const bool intcap_error = scan(5, month_keys(p.h, ":IntCap_", n));
    par_after_intcap_read(rs, p);
    section_error(rs, intcap_error, "error in :InterceptionParameterTable",
                  "Program aborted in read_par_parser @ 509");
    par_after_intcap_checked(rs, p);

    par_before_evap(p);
    section_error(rs, scan(6, month_keys(p.evap, ":Montly_ET_", n)), "error in :MonthlyEvaporatioTabble",
                  "Program aborted in read_par_parser @ 593");

    section_error(rs, scan(7, optimization_keys(p)), "error in :OptimizationSwitches",
                  "Program aborted in read_par_parser @ 610");

    // The API limits have no message of their own: reported with the next section.
    const bool api_error = scan(8, api_limit_keys(p));
    const bool hydro_limit_error = scan(9, hydro_limit_keys(rs, p));
    section_error(rs, api_error || hydro_limit_error, "error in HydrologicalParLimits",
                  "Program aborted in read_par_parser @ 685");

    section_error(rs, scan(10, global_snow_limit_keys(p)), "error in GlobalSnowParLinmits",
                  "Program aborted in read_par_parser @ 720");

    section_error(rs, scan(11, snow_limit_keys(rs, p)), "error in SnowParLimits",
                  "Program aborted in read_par_parser @ 749");
    par_after_snow_limits(rs, p);

    section_error(rs, scan(12, routing_limit_keys(rs, p)), "error in RoutingParLimits ",
                  "Program aborted in read_par_parser @ 797");
    section_error(rs, scan(13, global_limit_keys(p)), "error in GlobalParLimits ",
                  "Program aborted in read_par_parser @ 833");
}

}  // namespace

void read_par_parser(RunState& rs, int unit, int entry, ParState& p) {
    prepare_read(rs, p);
    const std::string& entry_text = rs.file_name(entry).str();
    const std::string name(rs.file_name(entry).trimmed());
    FileUnit& file = open_par_file(rs, unit, entry_text, name);
    const std::vector<std::string> lines = read_line_table(rs, p, file, name);

    // Comments before the global section.
    if (p.sec_start[1] > 0) collect_comments(rs, p, lines);
    read_sections(rs, p, lines, name);

    // The last section's rule, closing, then the remaining checks.
    par_global_limits_rule(rs, p);
    rs.files.close(unit, true);
    if (rs.iopt >= 1) {
        rs.con.line(msg() << "Closed unit=" << unit);
        rs.con.line(msg() << first_chars(entry_text, 50) << "read");
    }
    par_final_checks(rs, p);
}

ParResult read_par_parser(RunState& rs, int unit, int entry, const ParSwitches& sw) {
    ParState p;
    p.evt_smrflg = sw.smrflg;
    p.evt_wetflg = sw.wetflg;
    p.evt_trcflg = sw.trcflg;
    read_par_parser(rs, unit, entry, p);
    ParResult r;
    r.a12 = p.a12;
    r.numa = p.numa;
    r.trcflg = p.evt_trcflg;
    r.class_name = std::move(p.class_name);
    return r;
}

}  // namespace nimbex
