#pragma once
// The program driver: start-up, the event loop and the end of the run.
#include <iosfwd>

namespace nimbex {

struct RunState;

// Runs the whole program with the given console streams; returns the exit
// status (0 normal ending, 1 fatal stop). Catches the fatal stop, whose
// message also goes to `err` when given (a log or job runner that keeps only
// standard error still sees why the run stopped). `batch`: no pause waits.
int run_program(int argc, char** argv, std::ostream& out, std::istream& in, std::ostream* err = nullptr,
                bool batch = false);

// The run itself (throws FatalStop); `arg` is command-line argument 1 or null.
void nimbex_main(RunState& rs, const char* arg);

}  // namespace nimbex
