#pragma once
// Files by unit number, as the layouts and messages of the program name them.
// Names may use "\" or "/" as separators; they are mapped when opening.
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace nimbex {

// The name with every "\" turned into "/" (and trailing blanks removed).
std::string map_path(std::string_view name);
// Existence test by name (a directory does not count as a file).
bool file_exists(std::string_view name);

enum class OpenStatus { old_file, new_file, unknown };

// One open file. Reading is by lines of any length (a trailing carriage
// return is dropped); writing is by lines.
class FileUnit {
public:
    FileUnit(int unit, std::string name, std::FILE* f);
    ~FileUnit();
    FileUnit(const FileUnit&) = delete;
    FileUnit& operator=(const FileUnit&) = delete;

    // Next line into `line`; false at end of file.
    bool get_line(std::string& line);
    // Writes text and a newline; a failing write stops the run naming the file.
    void put_line(std::string_view text);
    // Writes text without a newline.
    void put(std::string_view text);
    void rewind();
    void flush();
    int unit() const { return unit_; }
    const std::string& name() const { return name_; }  // as given to open
    // Closes the file; a write that failed stops the run naming the file.
    void close(bool keep);

private:
    int unit_;
    std::string name_;
    std::FILE* f_;
    char* buf_ = nullptr;
    std::size_t cap_ = 0;
    void check_write(bool ok);
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
    ~FileTable();
private:
    std::map<int, std::unique_ptr<FileUnit>> units_;
};

}  // namespace nimbex
