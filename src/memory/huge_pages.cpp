#include "memory/huge_pages.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace brindle {

namespace {

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

void* map_huge_pages(std::size_t& size)
{
    size = rounded_up(size, kHugePage);
    // One spare huge page of address space lets the block start on a boundary; the slack on
    // either side goes back at once.
    const std::size_t padded = size + kHugePage;
    void* memory = mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t aligned = rounded_up(start, kHugePage);
    if (aligned > start) munmap(memory, aligned - start);
    if (const std::size_t tail = start + padded - (aligned + size); tail > 0) {
        munmap(reinterpret_cast<void*>(aligned + size), tail);
    }
    advise(aligned, size);
    return reinterpret_cast<void*>(aligned);
}

void advise_huge_pages(void* data, std::size_t size) noexcept
{
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = rounded_up(start, kHugePage);
    const std::uintptr_t last = (start + size) / kHugePage * kHugePage;
    if (last > first) advise(first, last - first);
}

}  // namespace brindle
