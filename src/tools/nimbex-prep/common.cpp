// What the commands share: the program's readers run with the console
// captured, writing output files, number and path texts, and the options of a
// command line.
#include <sys/stat.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ensim/header.h"
#include "ensim/r2c_header.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/files.h"
#include "readers/watershed_file.h"
#include "tools/nimbex-prep/prep.h"

namespace nimbex::prep {

ReaderSession::ReaderSession() : con_(out_, in_), rs_(std::make_unique<RunState>(con_)) {
    // The readers echo to the reports; here they go nowhere.
    for (int unit : {50, 51, 52, 53, 54}) {
        if (rs_->files.open(unit, "/dev/null", OpenStatus::unknown) != 0)
            throw PrepError("cannot open /dev/null for the readers' reports");
    }
    rs_->iopt = 0;
}

std::string ReaderSession::take_console() {
    std::string s = out_.str();
    out_.str("");
    out_.clear();
    return s;
}

std::string ReaderSession::head(const std::string& console, int lines) {
    std::string r;
    std::istringstream is(console);
    for (std::string l; lines > 0 && std::getline(is, l);) {
        if (trim(l).empty()) continue;
        r += (r.empty() ? "" : " / ") + std::string(trim(l));
        --lines;
    }
    return r;
}

void read_watershed(ReaderSession& s, const std::string& path) {
    s.rs().file_name(entry::watershed) = path;
    try {
        read_shed_ef(s.rs(), unit::watershed, entry::watershed);
    } catch (const FatalStop& stop) {
        const std::string why = ReaderSession::head(s.take_console(), 2);
        s.rs().files.close(unit::watershed);
        throw PrepError(path + ": the program's watershed reader stops: " + why + (why.empty() ? "" : " / ") +
                        stop.what());
    }
    s.take_console();
}

bool ShedHeaderInfo::has_key(const std::string& k) const {
    for (const auto& x : keys)
        if (x == k) return true;
    return false;
}

ShedHeaderInfo read_shed_header(Console& con, const std::string& path) {
    ShedHeaderInfo info;
    FileTable files;
    if (files.open_read(unit::watershed, path) != 0) throw PrepError(path + ": cannot be opened");
    ShedHeader h;
    init_shed_header(h);
    read_header(
        con, files[unit::watershed],
        [&](std::string_view key, std::string_view value) {
            info.keys.emplace_back(trim(key));
            return handle_shed_key(con, h, key, value);
        },
        "read_shed_ef", path);
    for (int k = 0; k < h.attribute_count && k < static_cast<int>(h.attributes.size()); ++k)
        info.attribute_names.emplace_back(h.attributes[k].name.trimmed());
    info.classcount = h.classcount;
    return info;
}

void may_write(const std::string& path, const OutputOptions& o) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) throw PrepError(path + " is a folder; give a file name");
        if (!o.force) throw PrepError(path + " exists; give --force to replace it");
    }
}

void make_parent_dirs(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (parent.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (ec) throw PrepError("cannot create the folder " + parent.string() + ": " + ec.message());
}

void write_text_file(const std::string& path, const std::string& text, const OutputOptions& o) {
    may_write(path, o);
    make_parent_dirs(path);
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) throw PrepError(path + ": cannot be created");
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !ok) throw PrepError(path + ": write failed");
}

std::string event_path(const std::string& path) {
    std::string p = path;
    while (p.size() > 2 && p[0] == '.' && p[1] == '/') p.erase(0, 2);
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string real_text(double v) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<float>(v), std::chars_format::fixed);
    std::string s(buf, ec == std::errc() ? end : buf);
    if (s.find_first_of(".eE") == std::string::npos) s += ".0";
    return s;
}

bool finite_number(const std::string& word, double& v) {
    const char* b = word.data();
    const char* e = b + word.size();
    if (b != e && *b == '+') ++b;
    auto [p, ec] = std::from_chars(b, e, v);
    return ec == std::errc() && p == e && p != b && std::isfinite(v);
}

bool Options::has(const std::string& name) const { return values.count(name) != 0; }
bool Options::flag(const std::string& name) const {
    for (const auto& f : flags)
        if (f == name) return true;
    return false;
}
std::string Options::get(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second.back();
}
std::string Options::need(const std::string& name) const {
    if (!has(name)) throw UsageError("missing " + name);
    return get(name);
}

Options parse_options(const Args& a, const std::vector<std::string>& with_value,
                      const std::vector<std::string>& bare, std::size_t max_positional) {
    auto known = [](const std::vector<std::string>& v, const std::string& s) {
        for (const auto& x : v)
            if (x == s) return true;
        return false;
    };
    Options o;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::string& w = a[i];
        if (w.size() > 2 && w[0] == '-' && w[1] == '-') {
            if (known(with_value, w)) {
                if (i + 1 >= a.size()) throw UsageError(w + " needs a value");
                o.values[w].push_back(a[++i]);
            } else if (known(bare, w)) {
                o.flags.push_back(w);
            } else {
                throw UsageError("unknown option " + w);
            }
        } else {
            if (o.positional.size() >= max_positional) throw UsageError("unexpected word '" + w + "'");
            o.positional.push_back(w);
        }
    }
    return o;
}

double parse_number(const std::string& text, const std::string& what) {
    double v = 0.0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || p != text.data() + text.size() || !std::isfinite(v))
        throw UsageError(what + " needs a number, not '" + text + "'");
    return v;
}

}  // namespace nimbex::prep
