#pragma once
// Asks the kernel to back a large array with huge pages before it is filled. A 20 MB
// document of small elements needs an index of over 100 MB, written once; with 4 KiB pages
// the page faults cost more than the scan itself. Only the 2 MiB-aligned inside of the
// array's memory is advised; elsewhere, or where the kernel declines, nothing changes.
// The reader sizes its own large arrays (the detached tree, the stack of made nodes) with it too.

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace brindle::index::detail {

inline constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Advises [data, data + bytes) when it spans at least two huge pages.
inline void advise_huge_pages(const void* data, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes < 2 * kHugePage) {
        return;
    }
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
    const std::uintptr_t last = (begin + bytes) & ~std::uintptr_t{kHugePage - 1};
    if (last > first) {
        (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)bytes;
#endif
}

// Reserves room for `count` entries, advising the new memory when it is large.
template <typename Vector>
void reserve_advised(Vector& vector, std::size_t count) {
    if (count <= vector.capacity()) {
        return;
    }
    vector.reserve(count);
    advise_huge_pages(vector.data(), vector.capacity() * sizeof(typename Vector::value_type));
}

}  // namespace brindle::index::detail
