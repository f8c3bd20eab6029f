#include "platform/parallel.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace nimbex {

int thread_count_from_environment() {
    if (const char* s = std::getenv("NIMBEX_THREADS")) {
        int n = 0;
        auto [p, ec] = std::from_chars(s, s + std::strlen(s), n);
        if (ec == std::errc() && n >= 1) return std::min(n, 256);
    }
    const unsigned hw = std::thread::hardware_concurrency();
    return hw == 0 ? 1 : static_cast<int>(std::min(hw, 256u));
}

namespace {
constexpr std::size_t large_page = std::size_t{2} << 20;
}

void* allocate_large(std::size_t bytes) {
    void* p = ::operator new(bytes, std::align_val_t(large_page));
    advise_large_pages(p, bytes);
    return p;
}

void advise_large_pages(void* p, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
    const auto a = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t b = (a + large_page - 1) / large_page * large_page;
    const std::uintptr_t e = (a + bytes) / large_page * large_page;
    if (e > b) ::madvise(reinterpret_cast<void*>(b), e - b, MADV_HUGEPAGE);  // a hint: failure changes nothing
#endif
#if defined(MADV_POPULATE_WRITE)
    // The pages are about to be written anyway: one call maps them all,
    // which costs far less than a fault per page. Failure changes nothing.
    constexpr std::uintptr_t page = 4096;
    const auto a0 = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t pb = (a0 + page - 1) / page * page;
    const std::uintptr_t pe = (a0 + bytes) / page * page;
    if (pe > pb) ::madvise(reinterpret_cast<void*>(pb), pe - pb, MADV_POPULATE_WRITE);
#endif
#if !defined(MADV_HUGEPAGE) && !defined(MADV_POPULATE_WRITE)
    (void)p;
    (void)bytes;
#endif
}

void release_large(void* p, std::size_t) { ::operator delete(p, std::align_val_t(large_page)); }

}  // namespace nimbex
