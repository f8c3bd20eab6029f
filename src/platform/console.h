#pragma once
// The console: lines to an injectable output stream, pauses and prompts that
// read an injectable input. A pause that finds the input closed goes on as if
// Enter had been pressed; so does every pause of a batch console, which never
// reads its input (job runners keep standard input open with nobody at it).
// Each line is flushed when complete, so a piped or logged console follows
// the run instead of arriving in bursts.
#include <iosfwd>
#include <string>
#include <string_view>

namespace nimbex {

class Console {
public:
    Console(std::ostream& out, std::istream& in, bool batch = false) : out_(&out), in_(&in), batch_(batch) {}
    // One console line (the text, then a newline).
    void line(std::string_view text);
    // An empty console line.
    void blank() { line(""); }
    // Prints `text` as a line and waits for a line of input (Enter).
    void pause(std::string_view text);
    // Prints `prompt` without ending the line and returns the line typed (""
    // at end of input, and always in batch).
    std::string prompt(std::string_view prompt);
    std::ostream& out() { return *out_; }
    void flush();
private:
    std::ostream* out_;
    std::istream* in_;
    bool batch_;
};

}  // namespace nimbex
