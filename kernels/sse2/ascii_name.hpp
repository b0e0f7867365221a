// The check of scalar/ascii_name.hpp sixteen bytes at a time with SSE2 (every x86-64 processor
// has it, so it is inline and needs no run-time choice). It agrees with the scalar check on
// every input.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstddef>

#include "kernels/scalar/ascii_name.hpp"
#include "kernels/sse2/byte_lanes.hpp"

namespace brindle::kernels::sse2 {

// Lanes that hold an ASCII name byte: a letter, a digit, - . : or _.
inline __m128i ascii_name_lanes(__m128i block) noexcept
{
    const __m128i letters = bytes_in_range(_mm_or_si128(block, _mm_set1_epi8(0x20)), 'a', 26);
    const __m128i digits_and_marks = _mm_andnot_si128(equal_bytes(block, '/'), bytes_in_range(block, '-', 14));
    return _mm_or_si128(_mm_or_si128(letters, digits_and_marks), equal_bytes(block, '_'));
}

inline bool all_ascii_name_lanes(__m128i block) noexcept { return lanes_mask(ascii_name_lanes(block)) == 0xFFFF; }

// Whether every byte of the `size` bytes at `at` (at least one) may be part of an ASCII name.
inline bool all_ascii_name_bytes(const char* at, std::size_t size) noexcept
{
    if (size < 4) {  // the first, middle and last byte are all of them, cheaper in scalar
        const auto bit = [&](std::size_t i) -> unsigned { return ascii_name_detail::is_name_byte(at[i]); };
        return (bit(0) & bit(size / 2) & bit(size - 1)) != 0;
    }
    if (size <= 16) return all_ascii_name_lanes(load_short(at, size));
    for (std::size_t from = 0; from + 16 < size; from += 16) {
        if (!all_ascii_name_lanes(load_block(at + from))) return false;
    }
    return all_ascii_name_lanes(load_block(at + size - 16));
}

}  // namespace brindle::kernels::sse2

#endif
