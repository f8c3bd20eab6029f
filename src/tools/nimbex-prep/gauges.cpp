// Gauge tables (one tb0 file per event) from a stations CSV and an hourly CSV.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <ostream>
#include <set>

#include "platform/clock.h"
#include "platform/fortran_format.h"
#include "platform/limits.h"
#include "tools/nimbex-prep/prep.h"

namespace nimbex::prep {

namespace {

constexpr int column_width = 13;
constexpr int max_gauges = max_stations;  // as many as the program's table reader takes

std::vector<std::string> csv_fields(const std::string& line) {
    std::vector<std::string> f(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                f.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                f.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            f.emplace_back();
        } else if (c != '\r') {
            f.back() += c;
        }
    }
    for (auto& s : f) s = std::string(trim(s));
    return f;
}

std::vector<std::vector<std::string>> read_csv(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw PrepError(path + ": cannot be opened");
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        if (trim(line).empty()) {
            rows.emplace_back();  // kept so that line numbers stay right
            continue;
        }
        rows.push_back(csv_fields(line));
    }
    if (rows.empty()) throw PrepError(path + ": empty file");
    if (!rows.front().empty() && rows.front()[0].size() >= 3 && rows.front()[0].compare(0, 3, "\xEF\xBB\xBF") == 0)
        rows.front()[0].erase(0, 3);  // a spreadsheet's byte-order mark
    return rows;
}

struct Station {
    std::string id, name;
    double x = 0, y = 0, elev = 0;
    bool has_elev = false;
};

std::vector<Station> read_stations(const std::string& path) {
    const auto rows = read_csv(path);
    std::vector<Station> st;
    std::set<std::string> ids;
    bool any_elev = false;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const auto& f = rows[r];
        if (f.empty()) continue;
        const std::string where = path + " line " + std::to_string(r + 1);
        if (f.size() < 4) throw PrepError(where + ": needs id,name,x,y[,elevation]");
        Station s;
        s.id = f[0];
        s.name = f[1].empty() ? f[0] : f[1];
        if (s.id.empty()) throw PrepError(where + ": no id");
        if (!ids.insert(s.id).second) throw PrepError(where + ": id '" + s.id + "' is given twice");
        if (s.name.size() > 12 || s.name.find_first_of(" \t,/") != std::string::npos)
            throw PrepError(where + ": name '" + s.name + "': the gauge table keeps 12 characters of a name and "
                            "splits names at blanks; give a name of at most 12 characters without blanks");
        if (!finite_number(f[2], s.x) || !finite_number(f[3], s.y)) throw PrepError(where + ": x and y must be numbers");
        if (f.size() >= 5 && !f[4].empty()) {
            if (!finite_number(f[4], s.elev)) throw PrepError(where + ": elevation '" + f[4] + "' is not a number");
            s.has_elev = true;
            any_elev = true;
        }
        st.push_back(s);
    }
    if (st.empty()) throw PrepError(path + ": no station after the header row");
    if (any_elev)
        for (const auto& s : st)
            if (!s.has_elev)
                throw PrepError(path + ": station '" + s.id + "' has no elevation while others have; give all or none");
    return st;
}

struct Table {
    long first = 0;  // time stamp (end) of the first hour
    long hours = 0;
};

// The station of each value column of the values file's header row.
std::vector<int> value_columns(std::vector<std::string>& head, const std::vector<Station>& stations,
                               const std::string& st_path, const std::string& val_path, std::ostream& out) {
    while (head.size() > 2 && head.back().empty()) head.pop_back();  // a spreadsheet's trailing commas
    if (head.size() < 2 || lower(head[0]) != "time")
        throw PrepError(val_path + ": the header row must be time,<id>,<id>,... (the ids of " + st_path + ")");
    std::vector<int> col_station;
    std::set<std::string> seen;
    for (std::size_t c = 1; c < head.size(); ++c) {
        if (!seen.insert(head[c]).second) throw PrepError(val_path + ": column '" + head[c] + "' is given twice");
        auto it = std::find_if(stations.begin(), stations.end(), [&](const Station& s) { return s.id == head[c]; });
        if (it == stations.end()) throw PrepError(val_path + ": column '" + head[c] + "' is not a station of " + st_path);
        col_station.push_back(static_cast<int>(it - stations.begin()));
    }
    if (col_station.size() > static_cast<std::size_t>(max_gauges))
        throw PrepError(val_path + ": more than " + std::to_string(max_gauges) + " gauges in one table");
    for (const auto& s : stations)
        if (!seen.count(s.id)) out << "note: station " << s.id << " has no column in " << val_path << "; left out\n";
    return col_station;
}

// The hours, in order, each with one value per gauge (-1: no record).
void read_hours(const std::vector<std::vector<std::string>>& rows, std::size_t ng, const std::string& val_path,
                std::vector<long>& times, std::vector<std::vector<float>>& values) {
    const auto& head = rows.front();
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const auto& f = rows[r];
        if (f.empty()) continue;
        const std::string where = val_path + " line " + std::to_string(r + 1);
        long t = 0;
        if (!parse_time(f[0], t)) throw PrepError(where + ": time '" + f[0] + "' is not YYYY-MM-DD HH:MM on the hour");
        if (!times.empty() && t == times.back()) throw PrepError(where + ": hour " + f[0] + " is given twice");
        if (!times.empty() && t < times.back())
            throw PrepError(where + ": hour " + f[0] + " comes after " + stamp(times.back(), false) + "; sort the rows by time");
        for (std::size_t c = ng + 1; c < f.size(); ++c)
            if (!f[c].empty()) throw PrepError(where + ": more values than gauge columns");
        std::vector<float> v(ng, -1.0f);
        for (std::size_t c = 0; c < ng; ++c) {
            const std::string w = c + 1 < f.size() ? f[c + 1] : std::string();
            const std::string lw = lower(w);
            if (w.empty() || lw == "na" || lw == "nan") continue;
            double x = 0;
            if (!finite_number(w, x)) throw PrepError(where + ": value '" + w + "' of " + head[c + 1] + " is not a number");
            if (x >= 0.0) v[c] = static_cast<float>(x);
        }
        times.push_back(t);
        values.push_back(std::move(v));
    }
}

// Hours missing between the first and the last point at `none`, a line of
// missing records; returns how many hours were missing.
long fill_gaps(std::vector<const std::vector<float>*>& by_hour, const std::vector<float>& none, long first,
               std::ostream& out) {
    long gaps = 0;
    for (std::size_t k = 0; k < by_hour.size(); ++k) {
        if (by_hour[k]) continue;
        std::size_t e = k;
        while (e + 1 < by_hour.size() && !by_hour[e + 1]) ++e;
        out << "note: no row for " << stamp(first + static_cast<long>(k), false);
        if (e > k) out << " to " << stamp(first + static_cast<long>(e), false);
        out << " (" << (e - k + 1) << " hour" << (e > k ? "s" : "") << "): written as missing records (-1)\n";
        gaps += static_cast<long>(e - k + 1);
        for (std::size_t i = k; i <= e; ++i) by_hour[i] = &none;
        k = e;
    }
    return gaps;
}

// One table per calendar month of the hours' beginnings, or one for all.
std::vector<Table> split_tables(long first, long last, const std::string& split) {
    std::vector<Table> tables;
    for (long t = first; t <= last; ++t) {
        const Civil b = civil_from_hours(t - 1);
        const bool new_month = split == "month" && !tables.empty() && b.d == 1 && b.h == 0;
        if (tables.empty() || new_month) tables.push_back({t, 0});
        ++tables.back().hours;
    }
    return tables;
}

// What goes into every table: the gauges of the columns and their values.
struct GaugeData {
    const std::vector<Station>& stations;
    const std::vector<int>& col_station;
    const std::vector<std::string>& head;             // the values file's header row
    const std::vector<const std::vector<float>*>& by_hour;
    long first = 0;                                   // the first hour of by_hour
    std::string date;                                 // :CreationDate
    bool has_elev = false;
    long spurious = 0;                                // values above 100 mm so far
    std::string first_spurious;
};

// The header of a table with the column metadata of its gauges.
std::string table_header(const GaugeData& d, const Table& tb) {
    const std::size_t ng = d.col_station.size();
    std::string s;
    auto kv = [&](const char* k, const std::string& v) { s += fmt_pad(k, 24) + v + "\n"; };
    auto columns = [&](const char* k, auto&& text) {
        s += "   " + fmt_pad(k, 21);
        for (std::size_t c = 0; c < ng; ++c) s += " " + fmt_a(text(d.stations[d.col_station[c]]), column_width - 1);
        s += "\n";
    };
    s += std::string(40, '#') + "\n:FileType tb0  ASCII  EnSim 1.0\n#\n# DataType               Time Series\n#\n";
    kv(":Application", "nimbex-prep");
    kv(":WrittenBy", "nimbex-prep");
    kv(":CreationDate", d.date);
    s += "#\n#" + std::string(39, '-') + "\n#\n";
    kv(":Name", "Gauges");
    s += "#\n";
    s += "# :StartTime is the end of the hour of the first data line\n";
    kv(":StartTime", stamp(tb.first, true));
    kv(":DeltaT", "1");
    kv(":UnitConversion", "1.0");
    s += "#\n:ColumnMetaData\n";
    columns(":ColumnUnits", [](const Station&) { return std::string("mm"); });
    columns(":ColumnType", [](const Station&) { return std::string("float"); });
    columns(":ColumnName", [](const Station& x) { return x.name; });
    columns(":ColumnLocationX", [](const Station& x) { return real_text(x.x); });
    columns(":ColumnLocationY", [](const Station& x) { return real_text(x.y); });
    if (d.has_elev) columns(":Elevation", [](const Station& x) { return real_text(x.elev); });
    s += ":EndColumnMetaData\n:EndHeader\n";
    return s;
}

// The data lines of a table, appended to `s`; returns the missing records.
long append_table_lines(GaugeData& d, const Table& tb, std::string& s) {
    const std::size_t ng = d.col_station.size();
    long missing = 0;
    std::string line;
    for (long t = tb.first; t < tb.first + tb.hours; ++t) {
        const std::vector<float>& v = *d.by_hour[static_cast<std::size_t>(t - d.first)];
        line.assign(24, ' ');
        line.clear();
        for (std::size_t c = 0; c < ng; ++c) {
            line += ' ';
            put_f(line, v[c], column_width - 1, 2);
            if (v[c] < 0.0f) ++missing;
            if (v[c] > 100.0f && d.spurious++ == 0) d.first_spurious = stamp(t, false) + " (" + d.head[c + 1] + ")";
        }
        s += line + "\n";
    }
    return missing;
}

}  // namespace

int cmd_gauges(const Args& a, std::ostream& report) {
    // Notes are shown once the tables are written: a refusal shows only its reason.
    std::ostringstream out;
    const Options o = parse_options(a, {"--stations", "--values", "--out", "--split"}, {"--force"}, 0);
    const std::string st_path = o.need("--stations"), val_path = o.need("--values"), dir = o.need("--out");
    const std::string split = o.has("--split") ? o.get("--split") : "month";
    if (split != "month" && split != "none") throw UsageError("--split takes month or none");
    const OutputOptions oo{o.flag("--force")};

    const std::vector<Station> stations = read_stations(st_path);
    auto rows = read_csv(val_path);
    const std::vector<int> col_station = value_columns(rows.front(), stations, st_path, val_path, out);
    const std::size_t ng = col_station.size();
    std::vector<long> times;
    std::vector<std::vector<float>> values;
    read_hours(rows, ng, val_path, times, values);
    if (times.empty()) throw PrepError(val_path + ": no hour after the header row");

    const long first = times.front(), last = times.back();
    std::vector<const std::vector<float>*> by_hour(static_cast<std::size_t>(last - first + 1), nullptr);
    for (std::size_t k = 0; k < times.size(); ++k) by_hour[static_cast<std::size_t>(times[k] - first)] = &values[k];
    const std::vector<float> none(ng, -1.0f);
    const long gaps = fill_gaps(by_hour, none, first, out);

    const std::vector<Table> tables = split_tables(first, last, split);
    std::vector<std::string> names;
    for (const auto& tb : tables) {
        const Civil b = civil_from_hours(tb.first - 1);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d_rag.tb0", b.y, b.m, b.d);
        names.push_back(dir + "/" + buf);
        may_write(names.back(), oo);
    }

    bool has_elev = false;
    for (int s : col_station) has_elev = has_elev || stations[s].has_elev;
    const DateTime now = now_local();
    char date[40];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d  %02d:%02d", now.year, now.month, now.day, now.hour, now.minute);
    GaugeData d{stations, col_station, rows.front(), by_hour, first, date, has_elev, 0, {}};
    for (std::size_t n = 0; n < tables.size(); ++n) {
        const Table& tb = tables[n];
        std::string s = table_header(d, tb);
        const long missing = append_table_lines(d, tb, s);
        write_text_file(names[n], s, oo);
        out << "wrote " << names[n] << ": " << tb.hours << " hours, " << stamp(tb.first, false) << " to "
            << stamp(tb.first + tb.hours - 1, false) << " (ends of the hours), " << ng << " gauges, " << missing
            << " missing records\n";
    }
    if (gaps > 0) out << "note: " << gaps << " hour(s) missing from " << val_path << " were filled with missing records\n";
    if (d.spurious > 0)
        out << "note: " << d.spurious << " hourly value(s) above 100 mm, the first at " << d.first_spurious
            << "; the program drops them as spurious (no record)\n";
    report << out.str();
    return 0;
}

}  // namespace nimbex::prep
