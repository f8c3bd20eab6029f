#include "platform/files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/fatal.h"
#include "platform/text.h"

namespace nimbex {

std::string map_path(std::string_view name) {
    std::string p(trim_right(name));
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

bool file_exists(std::string_view name) {
    std::string p = map_path(name);
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

FileUnit::FileUnit(int unit, std::string name, std::FILE* f) : unit_(unit), name_(std::move(name)), f_(f) {
    // Large buffers: the reports and grids are written line by line.
    std::setvbuf(f_, nullptr, _IOFBF, 1 << 16);
}

FileUnit::~FileUnit() {
    if (f_) std::fclose(f_);
    std::free(buf_);
}

bool FileUnit::get_line(std::string& line) {
    if (!f_) return false;
    ssize_t n = ::getline(&buf_, &cap_, f_);
    if (n < 0) return false;
    std::size_t len = static_cast<std::size_t>(n);
    if (len > 0 && buf_[len - 1] == '\n') --len;
    if (len > 0 && buf_[len - 1] == '\r') --len;
    line.assign(buf_, len);
    return true;
}

void FileUnit::check_write(bool ok) {
    if (!ok) {
        int e = errno;
        fatal_stop("Error writing file " + name_ + " (unit " + std::to_string(unit_) + "): " + std::strerror(e));
    }
}

void FileUnit::put(std::string_view text) {
    if (text.empty()) return;
    // A NUL byte from input (an unset switch, a name read from a damaged
    // file) is written as a blank: no file of the run ever holds one.
    if (std::memchr(text.data(), 0, text.size()) != nullptr) {
        std::string clean(text);
        for (char& c : clean)
            if (c == '\0') c = ' ';
        check_write(std::fwrite(clean.data(), 1, clean.size(), f_) == clean.size());
        return;
    }
    check_write(std::fwrite(text.data(), 1, text.size(), f_) == text.size());
}

void FileUnit::put_line(std::string_view text) {
    put(text);
    check_write(std::fputc('\n', f_) != EOF);
}

void FileUnit::rewind() {
    std::fflush(f_);
    std::rewind(f_);
}

void FileUnit::flush() { check_write(std::fflush(f_) == 0); }

void FileUnit::close(bool keep) {
    if (!f_) return;
    bool ok = std::fflush(f_) == 0 && !std::ferror(f_);
    int e = errno;
    bool closed = std::fclose(f_) == 0;
    f_ = nullptr;
    if (!keep) std::remove(map_path(name_).c_str());
    if (!ok || !closed) {
        fatal_stop("Error writing file " + name_ + " (unit " + std::to_string(unit_) + "): " +
                   std::strerror(ok ? errno : e));
    }
}

FileTable::~FileTable() {
    // Files still open at the end of the run are closed without checks: a
    // fatal stop may be on its way out.
    units_.clear();
}

int FileTable::open(int unit, std::string_view name, OpenStatus status) {
    units_.erase(unit);
    std::string p = map_path(name);
    if (p.empty()) return ENOENT;
    struct stat st {};
    bool exists = ::stat(p.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return EISDIR;
    const char* mode = "w+";
    switch (status) {
        case OpenStatus::old_file:
            if (!exists) return ENOENT;
            mode = "r";
            break;
        case OpenStatus::new_file:
            if (exists) return EEXIST;
            mode = "w+";
            break;
        case OpenStatus::unknown:
            mode = "w+";
            break;
    }
    std::FILE* f = std::fopen(p.c_str(), mode);
    if (!f) return errno ? errno : EIO;
    units_[unit] = std::make_unique<FileUnit>(unit, std::string(trim_right(name)), f);
    return 0;
}

bool FileTable::is_open(int unit) const { return units_.count(unit) != 0; }

FileUnit& FileTable::at(int unit) {
    auto it = units_.find(unit);
    if (it == units_.end()) fatal_stop("Programming error: no file open on unit " + std::to_string(unit));
    return *it->second;
}

void FileTable::close(int unit, bool keep) {
    auto it = units_.find(unit);
    if (it == units_.end()) return;
    std::unique_ptr<FileUnit> f = std::move(it->second);
    units_.erase(it);
    f->close(keep);
}

void FileTable::close_all() {
    while (!units_.empty()) close(units_.begin()->first, true);
}

}  // namespace nimbex
