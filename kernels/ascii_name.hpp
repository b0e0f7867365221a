// Whether a name is made only of ASCII name bytes (scalar/ascii_name.hpp says which): the writer
// asks it of every name, most of them a few bytes long, so it is inline, the SSE2 check where
// the compiler targets SSE2 (every x86-64 processor), else the scalar one.
#pragma once

#include <cstddef>

#include "kernels/scalar/ascii_name.hpp"
#include "kernels/sse2/ascii_name.hpp"

namespace brindle::kernels {

// Whether every byte of the `size` bytes at `at` (at least one) may be part of an ASCII name.
inline bool all_ascii_name_bytes(const char* at, std::size_t size) noexcept
{
#if defined(__SSE2__)
    return sse2::all_ascii_name_bytes(at, size);
#else
    return scalar::all_ascii_name_bytes(at, size);
#endif
}

}  // namespace brindle::kernels
