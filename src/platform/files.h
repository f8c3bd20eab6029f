#pragma once
// Files by unit number, as the layouts and messages of the program name them.
// Names may use "\" or "/" as separators; they are mapped when opening.
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/background_writes.h"

namespace nimbex {

// The name with every "\" turned into "/" (and trailing blanks removed).
std::string map_path(std::string_view name);
// Existence test by name (a directory does not count as a file).
bool file_exists(std::string_view name);

// The longest line a reader keeps (16 MiB, far above any line of the
// program's files); a longer one stops the run naming the file and line.
constexpr std::size_t max_line_length = std::size_t{1} << 24;

// old_file: an existing regular file, read only (a FIFO, device or socket
// stops the run: reading one may block for ever). new_file: must not exist.
// unknown: created or emptied in place. replace: written under a temporary
// name beside the file ("<name>.nimbex-<pid>.tmp") and renamed over it when
// closed, so the name holds either the whole new file or what was there
// before; a device (/dev/null) is written in place, a link's target replaced.
enum class OpenStatus { old_file, new_file, unknown, replace };

// One open file. Reading is by lines of any length (a trailing carriage
// return is dropped); writing is by lines.
class FileUnit {
public:
    FileUnit(int unit, std::string name, std::FILE* f);
    ~FileUnit();
    FileUnit(const FileUnit&) = delete;
    FileUnit& operator=(const FileUnit&) = delete;

    // Next line into `line`; false at end of file. A line longer than
    // max_line_length stops the run.
    bool get_line(std::string& line);
    // Writes text and a newline; a failing write stops the run naming the file.
    void put_line(std::string_view text);
    // Writes text without a newline.
    void put(std::string_view text);
    void rewind();
    void flush();
    // Writes text in a second thread while the caller goes on; texts so
    // given reach the file in order, and every other use of the file waits
    // for them first. A failed write stops the run at the next use.
    void put_in_background(WriteText&& text);
    // The buffer of a text written in the background before (or empty).
    WriteText spare_text() { return background_ ? background_->spare() : WriteText{}; }
    // From now on every write goes through the second thread, a megabyte at
    // a time and in order: for a long report written all through the run.
    // A failed write then stops the run at the next flush, close or wait.
    void write_behind() { write_behind_ = true; }
    int unit() const { return unit_; }
    const std::string& name() const { return name_; }  // as given to open
    // Closes the file; a write that failed stops the run naming the file.
    // A replaced file is renamed into place when kept.
    void close(bool keep);

    // Written under `temp`, to be renamed to `target` when complete.
    void set_replacement(std::string temp, std::string target);
    bool is_replacement() const { return !temp_.empty(); }
    // Kept (renamed into place) when the run stops while it is open.
    void keep_on_stop(bool keep) { keep_on_stop_ = keep; }
    bool kept_on_stop() const { return keep_on_stop_; }
    // Flushes and closes; false if a write failed. The temporary file stays.
    bool close_quietly();
    // Temporary and final names of a replacement (empty otherwise).
    const std::string& temp_path() const { return temp_; }
    const std::string& target_path() const { return target_; }
    void forget_temp() { temp_.clear(); }

private:
    int unit_;
    std::string name_;
    std::FILE* f_;
    std::string rbuf_;            // read buffer
    std::size_t rpos_ = 0, rlen_ = 0;
    long line_no_ = 0;            // lines read since the start of the file
    std::string temp_, target_;   // replacement names
    bool keep_on_stop_ = false;
    std::unique_ptr<BackgroundWrites> background_;
    bool write_behind_ = false;
    WriteText staged_;  // text written behind, not yet handed over
    void check_write(bool ok);
    void write_now(std::string_view text);
    void start_background();
    void stage(std::string_view text);
    void hand_over_staged();
    void wait_background();
    bool wait_background_quietly() noexcept;
};

// The table of open files, keyed by unit number.
class FileTable {
public:
    // Opens `name` on `unit` (closing what was open there). old_file: must exist
    // (read and write); new_file: must not exist; unknown: created or emptied.
    // Returns 0 on success, otherwise an error number (errno) like iostat.
    int open(int unit, std::string_view name, OpenStatus status);
    // Opens an existing file for reading only.
    int open_read(int unit, std::string_view name) { return open(unit, name, OpenStatus::old_file); }
    bool is_open(int unit) const;
    // The open file on `unit` (a programming error if none is open).
    FileUnit& at(int unit);
    FileUnit& operator[](int unit) { return at(unit); }
    void close(int unit, bool keep = true);
    void close_all();
    // Closes a replaced file, checked, but renames it into place only at
    // commit_held(): its name is known to be safe to replace only later.
    void close_held(int unit);
    void commit_held();
    // After a stop: files marked keep_on_stop whose writes all succeeded are
    // renamed into place; every other file of the run being written is
    // removed. Never throws.
    void settle_after_stop() noexcept;
    // Drops every file being written and every held one (nothing replaced).
    void discard_all() noexcept;
    ~FileTable();
private:
    std::map<int, std::unique_ptr<FileUnit>> units_;
    std::vector<std::pair<std::string, std::string>> held_;  // temp, target
};

// An exclusive lock on a file (flock), held until release or the end of the
// process, whichever comes first; the file itself is left in place.
class FileLock {
public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();
    // 0 when the lock is held; EWOULDBLOCK when another process holds it;
    // another error number when the file can neither be made nor opened.
    int acquire(std::string_view name);
private:
    int fd_ = -1;
};

}  // namespace nimbex
