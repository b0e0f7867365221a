#include "write/output_limit.hpp"

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <fcntl.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace brindle::write {

namespace {

std::uint64_t memory_and_swap() noexcept
{
    struct sysinfo info{};
    if (sysinfo(&info) != 0) return UINT64_MAX;  // unknown: only the allocator decides
    const std::uint64_t unit = info.mem_unit == 0 ? 1 : info.mem_unit;
    std::uint64_t total = 0;
    const std::uint64_t pages = std::uint64_t{info.totalram} + std::uint64_t{info.totalswap};
    if (__builtin_mul_overflow(pages, unit, &total)) return UINT64_MAX;
    return total;
}

// The value of one "Name:   123 kB" line of /proc/meminfo, in bytes.
bool meminfo_field(std::string_view meminfo, std::string_view name, std::uint64_t& bytes) noexcept
{
    const std::size_t at = meminfo.find(name);
    if (at == std::string_view::npos || (at != 0 && meminfo[at - 1] != '\n')) return false;
    const char* digits = meminfo.data() + at + name.size();
    char* end = nullptr;
    const unsigned long long kilobytes = std::strtoull(digits, &end, 10);
    if (end == digits) return false;
    return !__builtin_mul_overflow(kilobytes, 1024ull, &bytes);
}

}  // namespace

std::uint64_t largest_output() noexcept
{
    // The machine's memory is fixed for the life of the process.
    static const std::uint64_t limit = std::min<std::uint64_t>(memory_and_swap(),
                                                               static_cast<std::uint64_t>(PY_SSIZE_T_MAX));
    return limit;
}

std::uint64_t available_memory() noexcept
{
    const int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return UINT64_MAX;
    char text[8192];
    std::size_t size = 0;
    while (size < sizeof text - 1) {
        const ssize_t got = ::read(fd, text + size, sizeof text - 1 - size);
        if (got > 0) {
            size += static_cast<std::size_t>(got);
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(fd);
    text[size] = '\0';  // strtoull stops at it
    const std::string_view meminfo(text, size);
    std::uint64_t available = 0, swap = 0;
    if (!meminfo_field(meminfo, "MemAvailable:", available)) return UINT64_MAX;
    if (!meminfo_field(meminfo, "SwapFree:", swap)) swap = 0;
    return available + swap;
}

void throw_output_too_large() { throw std::bad_alloc(); }

}  // namespace brindle::write
