// SSE2 operations on sixteen bytes at once, shared by the writer's scans: loading a block,
// loading a short string whole, and marking the lanes whose byte is in a set. SSE2 is part of
// every x86-64 processor, so these are inline and need no run-time choice.
//
// A lane mask holds 0xFF in each lane that is marked; lanes_mask turns it into 16 bits.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brindle::kernels::sse2 {

inline __m128i load_block(const char* at) noexcept { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

// A string of 1 to 16 bytes, with no loop and no read past its end. Names and most attribute
// values are this short, and a byte loop over them mispredicts its exit for nearly every
// string. Each lane holds one of the string's bytes and every byte is in some lane (some
// twice), so the result answers "does any byte ..." and "do all bytes ...", not where.
inline __m128i load_short(const char* at, std::size_t size) noexcept
{
    if (size >= 8) {  // two 8-byte loads that meet or overlap
        std::uint64_t head, tail;
        std::memcpy(&head, at, 8);
        std::memcpy(&tail, at + size - 8, 8);
        return _mm_set_epi64x(static_cast<long long>(tail), static_cast<long long>(head));
    }
    std::uint32_t word;
    if (size >= 4) {  // two 4-byte loads that meet or overlap, each used twice
        std::uint32_t tail;
        std::memcpy(&word, at, 4);
        std::memcpy(&tail, at + size - 4, 4);
        return _mm_set_epi32(static_cast<int>(tail), static_cast<int>(word), static_cast<int>(tail),
                             static_cast<int>(word));
    }
    // 1 to 3 bytes: the first, the middle and the last, in every word.
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(at[i])); };
    word = byte(0) | byte(size / 2) << 8 | byte(size - 1) << 16 | byte(0) << 24;
    return _mm_set1_epi32(static_cast<int>(word));
}

inline unsigned lanes_mask(__m128i marked) noexcept { return static_cast<unsigned>(_mm_movemask_epi8(marked)); }

inline __m128i equal_bytes(__m128i block, char byte) noexcept { return _mm_cmpeq_epi8(block, _mm_set1_epi8(byte)); }

// Lanes whose byte lies in [low, low + count), for low + count <= 0x80: a signed comparison
// after moving `low` to -128 tests the whole range at once.
inline __m128i bytes_in_range(__m128i block, int low, int count) noexcept
{
    const __m128i moved = _mm_add_epi8(block, _mm_set1_epi8(static_cast<char>(0x80 - low)));
    return _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(count - 0x80)), moved);
}

}  // namespace brindle::kernels::sse2

#endif
