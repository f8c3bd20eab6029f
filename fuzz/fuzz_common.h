#pragma once
// What every fuzz target shares: a private working directory, the input bytes
// written as a file, a fresh run state with its console in a string stream and
// a closed input, and the fatal stop taken as an ordinary outcome.
#include <unistd.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "driver/run_state.h"
#include "platform/fatal.h"

namespace fuzz {

// Each fuzzing process works in its own temporary directory with the folders
// of a basin's working directory.
inline void enter_work_dir() {
    static bool done = false;
    if (done) return;
    done = true;
    char tmpl[] = "/tmp/nimbex_fuzz_XXXXXX";
    if (!::mkdtemp(tmpl) || ::chdir(tmpl) != 0) std::abort();
    for (const char* d : {"basin", "event", "raing", "radcl"}) ::mkdir(d, 0755);
}

inline void write_file(const char* name, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(name, "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

// A run state whose console writes into a string and whose input is closed.
struct Session {
    std::ostringstream out;
    std::istringstream in{""};
    nimbex::Console con{out, in};
    nimbex::RunState rs{con};

    // The five reports go nowhere.
    void open_reports() {
        for (int unit = 50; unit <= 54; ++unit)
            if (rs.files.open(unit, "/dev/null", nimbex::OpenStatus::unknown) != 0) std::abort();
    }
};

// Runs a reader; its fatal stop is a normal outcome. Returns true when the
// reader came back without a stop.
template <class F>
bool run(F&& f) {
    try {
        f();
        return true;
    } catch (const nimbex::FatalStop&) {
        return false;
    }
}

// An invariant of an accepted input that does not hold: a finding.
inline void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

inline bool finite(float v) { return std::isfinite(v); }

}  // namespace fuzz
