#pragma once
// How the program's heap is kept. Set once, before the run allocates.

namespace nimbex {

// Many of the run's buffers (report pieces, frame texts, per-grid arrays)
// are hundreds of kilobytes to megabytes, written once and often made again.
// On some virtual machines a page fault costs more than forming the text
// that fills the page, so: freed memory is kept for reuse instead of being
// given back, buffers up to 64 MB come from the heap rather than from a
// mapping of their own, every thread allocates from that one heap, and the
// heap's first 32 MB are offered to the system's large pages (a fault per
// 2 MB instead of per 4 kB). Memory is still taken only as it is touched.
// Does nothing where the C library or the system has no such controls.
void prepare_heap();

}  // namespace nimbex
