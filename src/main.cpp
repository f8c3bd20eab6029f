// Entry of the program: runs the driver and turns a fatal stop into its
// console line and a non-zero exit status.
#include <iostream>

#include "driver/nimbex.h"
#include "platform/fatal.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    return nimbex::run_program(argc, argv, std::cout, std::cin);
}
