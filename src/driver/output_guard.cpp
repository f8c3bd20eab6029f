#include "driver/output_guard.h"

#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "driver/run_state.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "readers/event_file.h"

namespace nimbex {

namespace {

struct NamedFile {
    NamedFile(std::string n, std::string r) : name(std::move(n)), role(std::move(r)) {}
    std::string name;  // as given
    std::string role;  // the keyword and where it was given
    std::string key;   // the mapped path in normal form
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
};

// A name in a form two spellings of one path share ("a/../b" and "./b").
std::string path_key(const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path p(map_path(name));
    fs::path k = fs::weakly_canonical(p, ec);
    if (ec) k = fs::absolute(p, ec).lexically_normal();
    return k.string();
}

void identify(NamedFile& f) {
    f.key = path_key(f.name);
    struct stat st {};
    f.exists = ::stat(map_path(f.name).c_str(), &st) == 0;
    f.dev = st.st_dev;
    f.ino = st.st_ino;
}

bool same_file(const NamedFile& a, const NamedFile& b) {
    return a.key == b.key || (a.exists && b.exists && a.dev == b.dev && a.ino == b.ino);
}

std::string extension_of(std::string_view name) {
    const auto dot = name.find('.');
    return dot == std::string_view::npos ? std::string() : std::string(trim_right(name.substr(dot + 1, 3)));
}

}  // namespace

void check_outputs_against_inputs(RunState& rs) {
    std::vector<NamedFile> inputs, outputs;
    bool any_rag = false;
    auto add_event = [&](const std::string& evt, const std::array<std::string, 11>& n) {
        const std::string where = " in " + evt;
        inputs.push_back({evt, "event file"});
        const std::array<std::pair<int, const char*>, 4> in_keys{
            {{1, ":basinfilename"}, {2, ":parfilename"}, {3, ":pointdatalocations"}, {5, ":pointprecip"}}};
        for (auto [slot, key] : in_keys) {
            const std::string& name = n[static_cast<std::size_t>(slot)];
            if (!name.empty() && name != "dummy") inputs.push_back({name, key + where});
        }
        if (extension_of(n[5]) == "rag") any_rag = true;
        if (!n[10].empty()) outputs.push_back({n[10], ":griddedrainfile" + where});
    };

    // The first event as read; the chain read ahead (a file that cannot be
    // read stops the run when its turn comes).
    std::array<std::string, 11> first;
    for (int k : {1, 2, 3, 5, 10}) first[static_cast<std::size_t>(k)] = rs.file_name(k).trimmed();
    add_event(std::string(rs.file_name(entry::event_file).trimmed()), first);
    for (int i = 2; i <= rs.event_count && static_cast<std::size_t>(i) < rs.evt.event_fln.size(); ++i) {
        const std::string evt(rs.evt.event_fln[static_cast<std::size_t>(i)].trimmed());
        std::array<std::string, 11> n;
        if (peek_event_names(rs.con, evt, n)) add_event(evt, n);
        else inputs.push_back({evt, "event file"});
    }
    inputs.push_back({"basin\\elv_max.r2c", "elevation grid"});
    inputs.push_back({"ddsflg_override.txt", "override file"});

    outputs.push_back({"nimbex_sum.r2c", "run totals"});
    for (const char* r : {"nimbex_cumm.txt", "nimbex_info.txt", "nimbex_recl.txt", "nimbex_flag.txt", "nimbex_yrly.txt"})
        outputs.push_back({r, "report"});
    outputs.push_back({"precip_sta.xyz", "station list"});
    if (any_rag) outputs.push_back({"met_station_coordinates.xyz", "station list"});
    if (rs.argument.size() == 1 && rs.argument != " ") outputs.push_back({"junk", "scratch file"});

    for (NamedFile& f : inputs) identify(f);
    for (NamedFile& f : outputs) identify(f);
    for (const NamedFile& out : outputs) {
        for (const NamedFile& in : inputs) {
            if (!same_file(out, in)) continue;
            // Nothing of this run may replace anything now.
            rs.files.discard_all();
            rs.con.line("ERROR:");
            rs.con.line("The output " + out.name + " (" + out.role + ")");
            rs.con.line("is the same file as the input " + in.name + " (" + in.role + ")");
            rs.con.line("Writing it would destroy that input: give the output another name");
            fatal_stop("Program aborted in nimbex: output " + out.name + " (" + out.role +
                       ") would overwrite the input " + in.name + " (" + in.role + ")");
        }
    }
}

}  // namespace nimbex
