// How much output the writer will try to produce.
//
// Indentation is indent × depth spaces with no limit on `indent`, so a single line break can
// ask for exabytes. A run that could never be held in this machine's memory is refused up
// front with std::bad_alloc (MemoryError), for both sinks alike: a file receives exactly what
// write_string would return, and write_string could never return such a document. Without the
// check, write_string would try to fill the memory and write_file the disk, for hours.
#pragma once

#include <cstdint>
#include <new>

namespace brindle::write {

// Physical memory plus swap, and never more than a Python str can hold.
std::uint64_t largest_output() noexcept;

// Memory the system can still give without swapping (its own estimate) plus free swap;
// UINT64_MAX when the system does not say.
std::uint64_t available_memory() noexcept;

[[noreturn]] void throw_output_too_large();

// Number of spaces that indent a line at `depth`; throws std::bad_alloc when that many
// could never be written.
inline std::uint64_t indentation_width(std::uint64_t indent, std::uint64_t depth)
{
    // Anything up to this size is written without asking the system how much memory it has.
    constexpr std::uint64_t kAlwaysWritable = std::uint64_t{1} << 24;
    std::uint64_t width = 0;
    if (__builtin_mul_overflow(indent, depth, &width)) throw_output_too_large();
    if (width > kAlwaysWritable && width > largest_output()) [[unlikely]]
        throw_output_too_large();
    return width;
}

}  // namespace brindle::write
