// The copy of scalar/widen_ascii.hpp sixteen bytes at a time with SSE2 (every x86-64 processor
// has it, so it is inline and needs no run-time choice): one test of the high bits per block,
// then the block stored as is or interleaved with zeros. It agrees with the scalar copy on every
// input.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstddef>

#include "kernels/scalar/widen_ascii.hpp"

namespace brindle::kernels::sse2 {

template <class Unit>
inline void widen_ascii_blocks(const unsigned char*& at, const unsigned char* end, Unit*& out,
                               const Unit* out_end) noexcept
{
    static_assert(kAsciiBlock == 16);
    const __m128i zero = _mm_setzero_si128();
    while (end - at >= 16 && out_end - out >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        if (_mm_movemask_epi8(block) != 0) return;
        if constexpr (sizeof(Unit) == 1) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
        } else {
            const __m128i low = _mm_unpacklo_epi8(block, zero);
            const __m128i high = _mm_unpackhi_epi8(block, zero);
            if constexpr (sizeof(Unit) == 2) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), high);
            } else {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(low, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(low, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpacklo_epi16(high, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm_unpackhi_epi16(high, zero));
            }
        }
        at += 16;
        out += 16;
    }
}

}  // namespace brindle::kernels::sse2

#endif
