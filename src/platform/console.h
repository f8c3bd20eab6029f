#pragma once
// The console: lines to an injectable output stream, pauses and prompts that
// read an injectable input. A pause that finds the input closed goes on as if
// Enter had been pressed.
#include <iosfwd>
#include <string>
#include <string_view>

namespace nimbex {

class Console {
public:
    Console(std::ostream& out, std::istream& in) : out_(&out), in_(&in) {}
    // One console line (the text, then a newline).
    void line(std::string_view text);
    // An empty console line.
    void blank() { line(""); }
    // Prints `text` as a line and waits for a line of input (Enter).
    void pause(std::string_view text);
    // Prints `prompt` without ending the line and returns the line typed (""
    // at end of input).
    std::string prompt(std::string_view prompt);
    std::ostream& out() { return *out_; }
    void flush();
private:
    std::ostream* out_;
    std::istream* in_;
};

}  // namespace nimbex
