#include "memory/huge_pages.hpp"

#include <sys/mman.h>

#include <cstdint>

namespace brindle::memory {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::uintptr_t rounded_up(std::uintptr_t value, std::uintptr_t unit) noexcept
{
    return (value + unit - 1) / unit * unit;
}

void advise(std::uintptr_t start, std::size_t size) noexcept
{
#ifdef MADV_HUGEPAGE
    madvise(reinterpret_cast<void*>(start), size, MADV_HUGEPAGE);  // a refusal is harmless
#else
    (void)start;
    (void)size;
#endif
}

}  // namespace

void advise_huge_pages(void* data, std::size_t size) noexcept
{
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = rounded_up(start, kHugePage);
    const std::uintptr_t last = (start + size) / kHugePage * kHugePage;
    if (last > first) advise(first, last - first);
}

}  // namespace brindle::memory
