#pragma once
// Splitting a range of independent items (grid cells, grid rows) across the
// cores. Every item is done by exactly one thread, so results do not depend
// on the thread count as long as the items do not share state.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace nimbex {

// Threads to use: NIMBEX_THREADS when it holds a number of at least 1,
// otherwise the number of cores.
int thread_count_from_environment();

// Calls fn(begin, end) on consecutive parts of [0, n) in up to `threads`
// threads (the caller's thread takes the first part). Parts are multiples of
// `grain` items, and no part is made for less than `min_items` items, so
// small ranges stay on the caller's thread.
template <class F>
void parallel_for(int threads, std::size_t n, std::size_t grain, std::size_t min_items, F&& fn) {
    if (grain == 0) grain = 1;
    std::size_t parts = threads > 1 ? static_cast<std::size_t>(threads) : 1;
    if (min_items > 0) parts = std::min(parts, std::max<std::size_t>(1, n / min_items));
    const std::size_t grains = (n + grain - 1) / grain;
    parts = std::min(parts, std::max<std::size_t>(1, grains));
    if (parts <= 1) {
        if (n > 0) fn(std::size_t{0}, n);
        return;
    }
    auto bounds = [&](std::size_t p) { return std::min(n, (grains * p / parts) * grain); };
    std::vector<std::thread> pool;
    pool.reserve(parts - 1);
    for (std::size_t p = 1; p < parts; ++p) {
        const std::size_t b = bounds(p), e = bounds(p + 1);
        pool.emplace_back([&fn, b, e] {
            if (b < e) fn(b, e);
        });
    }
    const std::size_t e0 = bounds(1);
    if (e0 > 0) fn(std::size_t{0}, e0);
    for (std::thread& t : pool) t.join();
}

// Large arrays (the weighted sums of many steps, watershed grids) are aligned to 2 MB
// and, where the system offers it, asked to be backed by large pages and
// mapped at once: far fewer page faults when they are first written and
// when they are released.
constexpr std::size_t large_array_bytes = std::size_t{2} << 20;
void* allocate_large(std::size_t bytes);
// The same hint for an array allocated elsewhere, before its pages are first
// written (the whole large pages within it); its pages are also mapped at
// once where the system can, since they are about to be written.
void advise_large_pages(void* p, std::size_t bytes);
void release_large(void* p, std::size_t bytes);

// An allocator that leaves new elements of trivial types uninitialised:
// large work arrays that are always written before they are read are not
// cleared first (which would also touch every page on one thread).
template <class T>
struct UninitAllocator {
    using value_type = T;
    UninitAllocator() = default;
    template <class U>
    UninitAllocator(const UninitAllocator<U>&) {}
    T* allocate(std::size_t n) {
        if (n > large_array_bytes / sizeof(T)) return static_cast<T*>(allocate_large(n * sizeof(T)));
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) {
        if (n > large_array_bytes / sizeof(T)) return release_large(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    void construct(U* p) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... A>
    void construct(U* p, A&&... a) {
        ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
    }
    friend bool operator==(const UninitAllocator&, const UninitAllocator&) { return true; }
};

}  // namespace nimbex
