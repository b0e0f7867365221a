#pragma once
// A global operator new whose allocations can be made to fail one after another, for the
// out-of-memory suites. It replaces the program's operator new, so a suite that includes it is
// a program of its own, and includes it from one file only.

#include <cstdlib>
#include <new>

namespace brindle::testing {

// Allocations left before the next one fails; negative means no failures.
inline long allocations_left = -1;

inline void* allocate_or_fail(std::size_t size)
{
    if (allocations_left == 0) throw std::bad_alloc();
    if (allocations_left > 0) --allocations_left;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

}  // namespace brindle::testing

void* operator new(std::size_t size) { return brindle::testing::allocate_or_fail(size); }
void* operator new[](std::size_t size) { return brindle::testing::allocate_or_fail(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept  // the index's form
{
    try {
        return brindle::testing::allocate_or_fail(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
