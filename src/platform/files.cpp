#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

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

namespace {

constexpr std::size_t read_chunk = 1 << 16;

[[noreturn]] void refuse_special(std::string_view name) {
    fatal_stop("Program aborted: the input file " + std::string(trim_right(name)) +
               " is not a regular file (a FIFO, device or socket)");
}

}  // namespace

FileUnit::FileUnit(int unit, std::string name, std::FILE* f) : unit_(unit), name_(std::move(name)), f_(f) {
    // Large buffers: the reports and grids are written line by line.
    std::setvbuf(f_, nullptr, _IOFBF, 1 << 16);
}

FileUnit::~FileUnit() {
    wait_background_quietly();
    background_.reset();
    if (f_) std::fclose(f_);
    // A replacement that was never completed leaves the old file as it was.
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

void FileUnit::set_replacement(std::string temp, std::string target) {
    temp_ = std::move(temp);
    target_ = std::move(target);
}

bool FileUnit::get_line(std::string& line) {
    if (!f_) return false;
    line.clear();
    bool any = false;
    for (;;) {
        if (rpos_ == rlen_) {
            if (rbuf_.size() != read_chunk) rbuf_.resize(read_chunk);
            rlen_ = std::fread(rbuf_.data(), 1, read_chunk, f_);
            rpos_ = 0;
            if (rlen_ == 0) break;
        }
        any = true;
        const char* b = rbuf_.data() + rpos_;
        const std::size_t avail = rlen_ - rpos_;
        const void* nl = std::memchr(b, '\n', avail);
        const std::size_t take = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - b) : avail;
        if (line.size() + take > max_line_length) {
            fatal_stop("Program aborted: line " + std::to_string(line_no_ + 1) + " of " + name_ +
                       " is longer than " + std::to_string(max_line_length) +
                       " characters (not a text file of this program?)");
        }
        line.append(b, take);
        rpos_ += take;
        if (nl) {
            ++rpos_;
            break;
        }
    }
    if (!any) return false;
    ++line_no_;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

void FileUnit::check_write(bool ok) {
    if (!ok) {
        int e = errno;
        fatal_stop("Error writing file " + name_ + " (unit " + std::to_string(unit_) + "): " + std::strerror(e));
    }
}

void FileUnit::put(std::string_view text) {
    if (write_behind_) return stage(text);
    wait_background();
    write_now(text);
}

namespace {
// Grid frames (megabytes each) may wait for the writer up to this much;
// text written behind goes over in pieces of the second size, and a few of
// them may wait. Buffers are used again: new memory costs more than the
// formatting on some systems.
constexpr std::size_t frames_waiting_most = std::size_t{16} << 20;
constexpr std::size_t behind_piece = std::size_t{256} << 10;
constexpr std::size_t behind_waiting_most = 4 * behind_piece;
}  // namespace

void FileUnit::start_background() {
    if (!background_)
        background_ = std::make_unique<BackgroundWrites>([this](std::string_view t) { write_now(t); },
                                                         write_behind_ ? behind_waiting_most : frames_waiting_most);
}

void FileUnit::put_in_background(WriteText&& text) {
    hand_over_staged();  // what was written before goes first
    start_background();
    background_->give(std::move(text));
}

void FileUnit::stage(std::string_view text) {
    if (staged_.capacity() < behind_piece) staged_.reserve(behind_piece + (std::size_t{16} << 10));
    staged_.insert(staged_.end(), text.begin(), text.end());
    if (staged_.size() >= behind_piece) hand_over_staged();
}

void FileUnit::hand_over_staged() {
    if (staged_.empty()) return;
    start_background();
    WriteText next = background_->spare();
    next.clear();
    background_->give(std::exchange(staged_, std::move(next)));
}

void FileUnit::wait_background() {
    hand_over_staged();
    if (background_) background_->wait();
}

bool FileUnit::wait_background_quietly() noexcept {
    bool handed = true;
    try {
        hand_over_staged();
    } catch (...) {  // an earlier write failed
        handed = false;
    }
    staged_.clear();
    const bool written = !background_ || background_->wait_quietly();
    return handed && written;
}

void FileUnit::write_now(std::string_view text) {
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
    if (write_behind_) {
        stage(text);
        return stage("\n");
    }
    wait_background();
    write_now(text);
    check_write(std::fputc('\n', f_) != EOF);
}

void FileUnit::rewind() {
    wait_background();
    std::fflush(f_);
    std::rewind(f_);
    rpos_ = rlen_ = 0;
    line_no_ = 0;
}

void FileUnit::flush() {
    wait_background();
    check_write(std::fflush(f_) == 0);
}

bool FileUnit::close_quietly() {
    if (!f_) return true;
    const bool written = wait_background_quietly();
    const bool ok = written && std::fflush(f_) == 0 && !std::ferror(f_);
    const bool closed = std::fclose(f_) == 0;
    f_ = nullptr;
    return ok && closed;
}

void FileUnit::close(bool keep) {
    if (!f_) return;
    // A failed write in the background stops the run with its own message,
    // once the file is settled like any other that failed.
    std::exception_ptr failed_write;
    try {
        wait_background();
    } catch (...) {
        failed_write = std::current_exception();
    }
    bool ok = !failed_write && std::fflush(f_) == 0 && !std::ferror(f_);
    int e = errno;
    bool closed = std::fclose(f_) == 0;
    if (ok && !closed) e = errno;
    f_ = nullptr;
    if (!temp_.empty()) {
        // A replacement: the old file stays unless the new one is whole.
        if (ok && closed && keep && ::rename(temp_.c_str(), target_.c_str()) != 0) {
            e = errno;
            closed = false;
        }
        if (!(ok && closed && keep)) ::unlink(temp_.c_str());
        temp_.clear();
    } else if (!keep) {
        std::remove(map_path(name_).c_str());
    }
    if (failed_write) std::rethrow_exception(failed_write);
    if (!ok || !closed) {
        fatal_stop("Error writing file " + name_ + " (unit " + std::to_string(unit_) + "): " + std::strerror(e));
    }
}

FileTable::~FileTable() {
    // Files still open at the end of the run are closed without checks: a
    // fatal stop may be on its way out. Replacements not completed are removed.
    units_.clear();
    for (const auto& h : held_) ::unlink(h.first.c_str());
}

int FileTable::open(int unit, std::string_view name, OpenStatus status) {
    units_.erase(unit);
    std::string p = map_path(name);
    if (p.empty()) return ENOENT;
    struct stat st {};
    bool exists = ::stat(p.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return EISDIR;
    const char* mode = "w+";
    std::string temp, target;
    switch (status) {
        case OpenStatus::old_file: {
            if (!exists) return ENOENT;
            if (!S_ISREG(st.st_mode)) refuse_special(name);
            // Opened without waiting (a FIFO put there since the test must
            // not block), checked again, then read normally.
            const int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) return errno ? errno : EIO;
            struct stat fst {};
            if (::fstat(fd, &fst) != 0 || !S_ISREG(fst.st_mode)) {
                ::close(fd);
                refuse_special(name);
            }
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            std::FILE* f = ::fdopen(fd, "r");
            if (!f) {
                const int e = errno;
                ::close(fd);
                return e ? e : EIO;
            }
            units_[unit] = std::make_unique<FileUnit>(unit, std::string(trim_right(name)), f);
            return 0;
        }
        case OpenStatus::new_file:
            if (exists) return EEXIST;
            mode = "w+";
            break;
        case OpenStatus::unknown:
            mode = "w+";
            break;
        case OpenStatus::replace: {
            if (exists && !S_ISREG(st.st_mode)) break;  // a device: written in place
            target = p;
            struct stat lst {};
            if (::lstat(p.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
                if (char* real = ::realpath(p.c_str(), nullptr)) {
                    target = real;
                    std::free(real);
                }
            }
            // A file the user may not write stays protected, as it was when
            // outputs were written in place.
            if (exists && ::access(target.c_str(), W_OK) != 0) return errno ? errno : EACCES;
            temp = target + ".nimbex-" + std::to_string(::getpid()) + ".tmp";
            const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (fd < 0) return errno ? errno : EIO;
            std::FILE* f = ::fdopen(fd, "w+");
            if (!f) {
                const int e = errno;
                ::close(fd);
                ::unlink(temp.c_str());
                return e ? e : EIO;
            }
            auto u = std::make_unique<FileUnit>(unit, std::string(trim_right(name)), f);
            u->set_replacement(temp, target);
            units_[unit] = std::move(u);
            return 0;
        }
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

void FileTable::close_held(int unit) {
    auto it = units_.find(unit);
    if (it == units_.end()) return;
    std::unique_ptr<FileUnit> f = std::move(it->second);
    units_.erase(it);
    if (!f->is_replacement()) {
        f->close(true);
        return;
    }
    const std::string temp = f->temp_path(), target = f->target_path(), name = f->name();
    const int e = f->close_quietly() ? 0 : (errno ? errno : EIO);
    if (e != 0) fatal_stop("Error writing file " + name + " (unit " + std::to_string(unit) + "): " + std::strerror(e));
    f->forget_temp();
    held_.emplace_back(temp, target);
}

void FileTable::commit_held() {
    std::vector<std::pair<std::string, std::string>> held = std::move(held_);
    held_.clear();
    for (std::size_t i = 0; i < held.size(); ++i) {
        if (::rename(held[i].first.c_str(), held[i].second.c_str()) != 0) {
            const int e = errno;
            for (std::size_t j = i; j < held.size(); ++j) ::unlink(held[j].first.c_str());
            fatal_stop("Error writing file " + held[i].second + ": " + std::strerror(e));
        }
    }
}

void FileTable::settle_after_stop() noexcept {
    for (auto& [unit, f] : units_) {
        if (!f->kept_on_stop() || !f->is_replacement()) continue;
        const std::string temp = f->temp_path(), target = f->target_path();
        if (f->close_quietly() && ::rename(temp.c_str(), target.c_str()) == 0) f->forget_temp();
    }
    discard_all();
}

void FileTable::discard_all() noexcept {
    units_.clear();
    for (const auto& h : held_) ::unlink(h.first.c_str());
    held_.clear();
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

int FileLock::acquire(std::string_view name) {
    const std::string p = map_path(name);
    int fd = ::open(p.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);  // a lock file we may not write still locks
    if (fd < 0) return errno ? errno : EIO;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        return e == EWOULDBLOCK ? EWOULDBLOCK : e;
    }
    fd_ = fd;
    return 0;
}

}  // namespace nimbex
