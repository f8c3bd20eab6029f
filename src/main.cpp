// Entry of the program: runs the driver and turns a fatal stop into its
// console line (repeated on standard error) and a non-zero exit status.
// NIMBEX_BATCH=1 in the environment: no pause waits for Enter.
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "driver/nimbex.h"
#include "platform/heap.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    nimbex::prepare_heap();
    const char* batch = std::getenv("NIMBEX_BATCH");
    const bool is_batch = batch != nullptr && std::strcmp(batch, "1") == 0;
    return nimbex::run_program(argc, argv, std::cout, std::cin, &std::cerr, is_batch);
}
