#include "platform/heap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace nimbex {

void prepare_heap() {
#if defined(__GLIBC__) && defined(M_MMAP_THRESHOLD) && defined(M_TRIM_THRESHOLD)
    constexpr std::size_t mb = std::size_t{1} << 20;
    // Each call may fail (an allocator that ignores them): nothing depends on it.
    if (mallopt(M_MMAP_THRESHOLD, static_cast<int>(64 * mb)) != 1) return;
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(1024 * mb));
#if defined(M_ARENA_MAX)
    // Threads allocate from this heap too, not from fresh arenas of their
    // own (the run's threads allocate little, and seldom at once).
    mallopt(M_ARENA_MAX, 1);
#endif
#if defined(MADV_HUGEPAGE)
    // Grow the heap by 32 MB and free it again: the block stays the heap's
    // free top, from which the next allocations are cut.
    constexpr std::size_t reserve = 32 * mb, large_page = 2 * mb;
    void* p = std::malloc(reserve);
    if (p == nullptr) return;
    const auto a = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t b = (a + large_page - 1) / large_page * large_page;
    const std::uintptr_t e = (a + reserve) / large_page * large_page;
    if (e > b) ::madvise(reinterpret_cast<void*>(b), e - b, MADV_HUGEPAGE);  // a hint
    std::free(p);
#endif
#endif
}

}  // namespace nimbex
