#pragma once
// The program driver: start-up, the event loop and the end of the run.
#include <iosfwd>

namespace nimbex {

struct RunState;

// Runs the whole program with the given console streams; returns the exit
// status (0 normal ending, 1 fatal stop). Catches the fatal stop.
int run_program(int argc, char** argv, std::ostream& out, std::istream& in);

// The run itself (throws FatalStop); `arg` is command-line argument 1 or null.
void nimbex_main(RunState& rs, const char* arg);

}  // namespace nimbex
