// Copying the ASCII at the front of UTF-8 into a str's storage (scalar/widen_ascii.hpp says
// exactly what is copied). Building a str calls it once for every run between two characters
// that are not ASCII, which may be one byte long, so it is inline: the SSE2 copy where the
// compiler targets SSE2 (every x86-64 processor), else the scalar one.
#pragma once

#include <cstddef>

#include "kernels/scalar/widen_ascii.hpp"
#include "kernels/sse2/widen_ascii.hpp"

namespace brindle::kernels {

// Copies the bytes from `at` to `out`, each widened to a Unit (one, two or four bytes), in whole
// blocks of kAsciiBlock while a block holds no byte at or above 0x80 and both [at, end) and
// [out, out_end) have room for it; `at` and `out` move past what was copied.
template <class Unit>
inline void widen_ascii_blocks(const unsigned char*& at, const unsigned char* end, Unit*& out,
                               const Unit* out_end) noexcept
{
#if defined(__SSE2__)
    sse2::widen_ascii_blocks(at, end, out, out_end);
#else
    scalar::widen_ascii_blocks(at, end, out, out_end);
#endif
}

}  // namespace brindle::kernels
