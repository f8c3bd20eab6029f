// The parameter file and the point-data-locations header of a watershed.
#include <cmath>
#include <ostream>

#include "ensim/keyword_line.h"
#include "platform/fortran_format.h"
#include "tools/nimbex-prep/prep.h"

namespace nimbex::prep {

namespace {

// One keyword line with one value per class: `water` for the water class
// (the next-to-last), `land` for every other.
std::string per_class(const char* key, int n, const std::string& land, const std::string& water) {
    std::string s = key;
    for (int k = 1; k <= n; ++k) s += "," + (k == n - 1 ? water : land);
    return s + ",\n";
}

std::string scalar(const char* key, const std::string& v, const char* note = "") {
    return std::string(key) + "," + v + ",,," + note + "\n";
}

// The header comment and the global parameters: the ones the distribution
// uses from the command line, the others neutral.
std::string global_parameters(int n, double radius, double smoothing, double lapse) {
    std::string p;
    p += "# Parameter file written by nimbex-prep.\n";
    p += "# The precipitation distribution uses iopt, rlapse, radiusinflce, smoothdist\n";
    p += "# and a12; the other values are neutral and pass the checks of the readers.\n";
    p += "# Class " + std::to_string(n - 1) + " (next-to-last) is the water class.\n";
    p += ":FileType,ensim parameter file,,,\n";
    p += ":GlobalParameters\n";
    p += scalar(":iopt", "1", "debug level");
    p += scalar(":itype", "0");
    p += scalar(":itrace", "0");
    const char* a_values[] = {"-999.0", "-999.0", "0.1", "0.1", "0.985", "900.0", "0.9", "0.1", "0.333", "1.0", "0.001"};
    for (int k = 1; k <= 9; ++k) p += ":a" + std::to_string(k) + "," + a_values[k - 1] + ",,,\n";
    p += scalar(":a10", a_values[9]);
    p += scalar(":a11", a_values[10]);
    p += scalar(":a12", "1.0", "disaggregation threshold mm");
    p += scalar(":fmadjust", "0.0");
    p += scalar(":fmalow", "0.0");
    p += scalar(":fmahigh", "0.0");
    p += scalar(":gladjust", "0.0");
    p += scalar(":rlapse", real_text(lapse), "precip lapse rate /m");
    p += scalar(":tlapse", "0.0065");
    p += scalar(":elvref", "0.0");
    p += scalar(":rainsnowtemp", "0.0");
    p += scalar(":radiusinflce", real_text(radius), "km");
    p += scalar(":smoothdist", real_text(smoothing), "km");
    p += scalar(":flgevp2", "1.0");
    p += scalar(":albe", "0.11");
    p += scalar(":tempa2", "50.0");
    p += scalar(":tempa3", "50.0");
    p += scalar(":tton", "0.0");
    p += scalar(":lat", "45.0");
    for (int k = 1; k <= 5; ++k) p += ":chnl(" + std::to_string(k) + "),1.0,,,\n";
    p += ":EndGlobalParameters\n";
    return p;
}

// One river class, then the values of every land-cover class.
std::string class_parameters(int n, const std::vector<std::string>& class_names) {
    std::string p;
    p += ":RoutingParameters\n";
    p += scalar(":RiverClasses", "1");
    p += scalar(":RiverClassName", "main");
    const char* routing[][2] = {{":flz", "1.0E-05"}, {":pwr", "2.0"},   {":r1n", "0.1"},   {":r2n", "0.035"},
                                {":mndr", "1.2"},    {":aa2", "0.1"},   {":aa3", "0.043"}, {":aa4", "1.0"},
                                {":theta", "0.5"},   {":widep", "20.0"}, {":kcond", "0.1"}, {":pool", "0.0"},
                                {":rlake", "0.0"}};
    for (auto& r : routing) p += scalar(r[0], r[1]);
    p += ":EndRoutingParameters\n";
    p += ":HydrologicalParameters\n";
    p += ":LandCoverClasses," + std::to_string(n) + ",\n";
    p += ":ClassName";
    for (const auto& c : class_names) p += "," + c;
    p += ",\n";
    const char* hydro[][3] = {{":ds", "1.0", "0.0"},      {":dsfs", "1.0", "0.0"},  {":rec", "0.1", "0.0"},
                              {":ak", "10.0", "-1.0"},    {":akfs", "10.0", "-1.0"}, {":retn", "50.0", "0.0"},
                              {":ak2", "0.1", "0.0"},     {":ak2fs", "0.1", "0.0"}, {":r3", "40.0", "40.0"},
                              {":r3fs", "40.0", "40.0"},  {":r4", "10.0", "10.0"},  {":fpet", "3.0", "1.0"},
                              {":ftall", "0.7", "0.0"},   {":flint", "1.0", "0.0"}, {":fcap", "0.15", "0.0"},
                              {":ffcap", "0.1", "0.01"},  {":spore", "0.3", "0.3"}, {":fratio", "1.0", "1.0"}};
    for (auto& r : hydro) p += per_class(r[0], n, r[1], r[2]);
    p += ":EndHydrologicalParameters\n";
    p += ":SnowParameters\n";
    const char* snow[][3] = {{":fm", "0.15", "0.15"},  {":base", "-2.0", "-2.0"}, {":fmn", "0.1", "0.1"},
                             {":uadj", "2.4", "2.4"},  {":tipm", "0.1", "0.1"},   {":rho", "0.333", "0.333"},
                             {":whcl", "0.035", "0.035"}, {":alb", "0.11", "0.11"}, {":sublim_factor", "0.2", "0.0"},
                             {":idump", "0", "0"},     {":snocap", "50.0", "50.0"}, {":nsdc", "1", "1"},
                             {":sdcsca", "1.0", "1.0"}, {":sdcd", "100.0", "100.0"}};
    for (auto& r : snow) p += per_class(r[0], n, r[1], r[2]);
    p += ":EndSnowParameters\n";
    const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    p += ":InterceptionCapacity\n";
    for (auto m : months) p += per_class((std::string(":IntCap_") + m).c_str(), n, "1.0", "0.0");
    p += ":EndInterceptionCapacity\n";
    p += ":MonthlyEvap\n";
    for (auto m : months) p += per_class((std::string(":Montly_ET_") + m).c_str(), n, "1.0", "1.0");
    p += ":EndMonthlyEvap\n";
    return p;
}

// The optimisation switches and the limits of the optimised parameters.
std::string optimisation_limits(int n) {
    std::string p;
    p += ":OptimizationSwitches\n";
    for (auto k : {":numa,0", ":nper,0", ":kc,5", ":maxn,2000", ":ddsflg,0", ":errflg,1"}) p += std::string(k) + ",,,\n";
    p += ":EndOptimizationSwitches\n";
    p += ":APILimits\n:a5dlt,-1.0,,,\n:a5low,0.9,,,\n:a5hgh,0.999,,,\n:EndAPILimits\n";
    p += ":HydrologicalParLimits\n";
    for (auto par : {"ak", "akfs", "rec", "r3", "fpet", "ftall", "fratio", "retn", "ak2", "ak2fs"}) {
        const std::string k = std::string(":") + par;
        const bool fr = std::string(par) == "fratio";
        p += per_class((k + "dlt").c_str(), n, "-1.0", "-1.0");
        p += per_class((k + "low").c_str(), n, fr ? "0.5" : "0.0", fr ? "0.5" : "0.0");
        p += per_class((k + "hgh").c_str(), n, fr ? "2.0" : "1.0", fr ? "2.0" : "1.0");
    }
    p += ":EndHydrologicalParLimits\n";
    p += ":GlobalSnowParLimits\n";
    for (auto par : {"fmadjust", "fmalow", "fmahigh", "gladjust"})
        for (auto s : {"dlt,-1.0", "low,0.0", "hgh,0.0"}) p += std::string(":") + par + s + ",,,\n";
    p += ":EndGlobalSnowParLimits\n";
    p += ":SnowParLimits\n";
    for (auto par : {"fm", "base", "sub"}) {
        p += per_class((std::string(":") + par + "dlt").c_str(), n, "-1.0", "-1.0");
        p += per_class((std::string(":") + par + "low").c_str(), n, "0.0", "0.0");
        p += per_class((std::string(":") + par + "hgh").c_str(), n, "1.0", "1.0");
    }
    p += ":EndSnowParLimits\n";
    p += ":RoutingParLimits\n";
    for (auto par : {"flz", "pwr", "r2n", "theta", "kcond", "rlake"})
        for (auto s : {"dlt,-1.0", "low,0.0", "hgh,1.0"}) p += std::string(":") + par + s + ",,,\n";
    p += ":EndRoutingParLimits\n";
    p += ":GlobalParLimits\n";
    for (auto par : {"rlapse", "tlapse", "radinfl", "smoothdis"})
        for (auto s : {"dlt,-1.0", "low,0.0", "hgh,1.0"}) p += std::string(":") + par + s + ",,,\n";
    p += ":EndGlobalParLimits\n";
    return p;
}

std::string parameter_file(int n, const std::vector<std::string>& class_names, double radius, double smoothing,
                           double lapse) {
    return global_parameters(n, radius, smoothing, lapse) + class_parameters(n, class_names) + optimisation_limits(n);
}

std::string pdl_header(const GridDescription& g) {
    // Positional: the reader takes each value from its line number.
    auto row = [](const char* label, const std::string& v) { return fmt_pad(label, 20) + v + "\n"; };
    std::string s = "#\n";
    s += row("FileType", "pdl");
    s += row("Projection", std::string(g.projection.trimmed()));
    s += row("Ellipsoid", std::string(g.ellipsoid.trimmed()));
    s += row("Zone", std::to_string(g.zone));
    s += "#\n";
    s += row("xOrigin", real_text(g.xorigin));
    s += row("yOrigin", real_text(g.yorigin));
    s += "#\n";
    s += row("xCount", std::to_string(g.xcount));
    s += row("yCount", std::to_string(g.ycount));
    s += row("xDelta", real_text(g.xdelta));
    s += row("yDelta", real_text(g.ydelta));
    s += "#\n";
    return s;
}

}  // namespace

int cmd_template(const Args& a, std::ostream& out) {
    const Options o = parse_options(a, {"--shd", "--par", "--pdl", "--radius", "--smoothing", "--lapse"}, {"--force"}, 0);
    const std::string shd = o.need("--shd"), par = o.need("--par"), pdl = o.need("--pdl");
    if (par.size() < 4 || par.compare(par.size() - 4, 4, ".csv") != 0)
        throw UsageError("--par: the parameter file's name must end in .csv (the program reads no other)");
    const OutputOptions oo{o.flag("--force")};
    may_write(par, oo);
    may_write(pdl, oo);
    ReaderSession s;
    read_watershed(s, shd);
    const GridDescription g = s.rs().grid;
    const ShedState& sh = s.rs().shed;
    const ShedHeaderInfo info = read_shed_header(s.rs().con, shd);
    s.take_console();
    const int n = sh.classcount;
    if (n < 2)
        throw PrepError(shd + ": " + std::to_string(n) + " land-cover class(es); the parameter file needs at least two "
                        "(the next-to-last is the water class)");
    if (sh.numriverclasses != 1)
        throw PrepError(shd + ": :NumRiverClasses is " + std::to_string(sh.numriverclasses) +
                        "; this template writes one river class");
    std::vector<std::string> names;
    for (int k = 0; k < n; ++k) {
        std::string name = info.attribute_names[info.attribute_names.size() - n + k];
        if (name.size() > 10) name.resize(10);
        names.push_back(name);
    }
    // By default every gauge reaches every cell: the grid's diagonal.
    const double diag_cells = std::hypot(double(g.xcount), double(g.ycount));
    const double radius = o.has("--radius") ? parse_number(o.get("--radius"), "--radius")
                                            : std::ceil(diag_cells * sh.nominalgridsize_al / 1000.0);
    const double smoothing = o.has("--smoothing") ? parse_number(o.get("--smoothing"), "--smoothing") : 0.0;
    const double lapse = o.has("--lapse") ? parse_number(o.get("--lapse"), "--lapse") : 0.0;
    if (!(radius > 0.0)) throw UsageError("--radius needs a distance above 0 km");
    if (smoothing < 0.0) throw UsageError("--smoothing needs a distance of 0 km or more");
    if (smoothing > radius / 2)
        throw PrepError("--smoothing " + real_text(smoothing) + " km is more than half the radius of influence (" +
                        real_text(radius) + " km); the parameter checks warn and pause on that");
    write_text_file(par, parameter_file(n, names, radius, smoothing, lapse), oo);
    write_text_file(pdl, pdl_header(g), oo);
    out << "wrote " << par << ": " << n << " classes (";
    for (int k = 0; k < n; ++k) out << (k ? ", " : "") << k + 1 << " " << names[k] << (k == n - 2 ? " (the water class)" : "");
    out << "), radius of influence " << real_text(radius) << " km, smoothing " << real_text(smoothing)
        << " km, lapse rate " << real_text(lapse) << " per m\n";
    out << "wrote " << pdl << ": " << g.xcount << " x " << g.ycount << " cells\n";
    return 0;
}

}  // namespace nimbex::prep
