#include "write/output_limit.hpp"

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <sys/sysinfo.h>

#include <algorithm>

namespace brindle {

namespace {

std::uint64_t memory_and_swap() noexcept
{
    struct sysinfo info {};
    if (sysinfo(&info) != 0) return UINT64_MAX;  // unknown: only the allocator decides
    const std::uint64_t unit = info.mem_unit == 0 ? 1 : info.mem_unit;
    std::uint64_t total = 0;
    const std::uint64_t pages = std::uint64_t{info.totalram} + std::uint64_t{info.totalswap};
    if (__builtin_mul_overflow(pages, unit, &total)) return UINT64_MAX;
    return total;
}

}  // namespace

std::uint64_t largest_output() noexcept
{
    // The machine's memory does not change while the process runs (close enough: a
    // hot-plugged module only makes the bound stricter than needed).
    static const std::uint64_t limit =
        std::min<std::uint64_t>(memory_and_swap(), static_cast<std::uint64_t>(PY_SSIZE_T_MAX));
    return limit;
}

void throw_output_too_large() { throw std::bad_alloc(); }

}  // namespace brindle
