// The writer's scans: the next byte escaping must look at, and the next byte that may begin a
// character XML forbids. The searches go through the kernel table; the checks of a string
// shorter than 16 bytes, which most strings are, are inline: the SSE2 checks where the compiler
// targets SSE2 (every x86-64 processor), else the scalar ones.
#pragma once

#include <cstddef>

#include "kernels/kernels.hpp"
#include "kernels/scalar/escape_scan.hpp"
#include "kernels/sse2/escape_scan.hpp"

namespace brindle::kernels {

// The first byte in [at, end) that `mode` replaces or must check (or a '#', which escaping passes
// over), or `end`; `begin` is the start of the string, at or before `at`.
template <EscapeMode mode>
inline const char* find_escapable(const char* begin, const char* at, const char* end) noexcept
{
    if constexpr (mode == EscapeMode::CharacterData) {
        return active().find_escapable_text(begin, at, end);
    } else {
        return active().find_escapable_attribute(begin, at, end);
    }
}

// Whether a string shorter than 16 bytes holds no byte that `mode` replaces or must check.
template <EscapeMode mode>
inline bool is_plain_short(const char* at, std::size_t size) noexcept
{
#if defined(__SSE2__)
    return sse2::is_plain_short<mode>(at, size);
#else
    return scalar::is_plain_short<mode>(at, size);
#endif
}

// The first suspect byte in [at, end), or `end`.
inline const char* find_suspect_byte(const char* at, const char* end) noexcept
{
    return active().find_suspect(at, end);
}

// Whether a string shorter than 16 bytes holds a suspect byte.
inline bool has_suspect_byte_short(const char* at, std::size_t size) noexcept
{
#if defined(__SSE2__)
    return sse2::has_suspect_byte_short(at, size);
#else
    return scalar::has_suspect_byte_short(at, size);
#endif
}

}  // namespace brindle::kernels
