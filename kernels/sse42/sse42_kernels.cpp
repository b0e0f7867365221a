// The kernels on sixteen bytes at a time (SSE4.2 and what it includes: SSSE3's byte shuffle).
//
// This file alone is compiled for SSE4.2. It calls no inline function that other files also
// define (from the interface it takes declarations only), and its helpers have internal
// linkage, so the linker can never pick a copy built here to stand in for a plain one.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "kernels/scalar/scalar_kernels.hpp"
#include "kernels/sse42/sse42_kernels.hpp"

namespace brindle::kernels::sse42 {
namespace {

constexpr std::size_t kWidth = 16;

__m128i load(const unsigned char* at) noexcept { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

unsigned mask_of(__m128i lanes) noexcept { return static_cast<unsigned>(_mm_movemask_epi8(lanes)); }

unsigned equal_mask(__m128i block, __m128i pattern) noexcept { return mask_of(_mm_cmpeq_epi8(block, pattern)); }

unsigned lowest(unsigned mask) noexcept { return static_cast<unsigned>(__builtin_ctz(mask)); }

// The hits of `mask_at` in the last vector of the document at or after `at`, which lies within
// that vector: one overlapping load instead of a byte loop.
template <class MaskAt>
std::size_t in_last_vector(std::size_t at, std::size_t size, MaskAt mask_at) noexcept {
    const std::size_t last = size - kWidth;
    const unsigned mask = mask_at(last) >> (at - last);
    return mask != 0 ? at + lowest(mask) : size;
}

std::size_t find_byte(const unsigned char* data, std::size_t size, std::size_t from, unsigned char value) noexcept {
    if (from >= size) {
        return size;
    }
    if (size < kWidth) {
        return scalar::find_byte(data, size, from, value);
    }
    const __m128i pattern = _mm_set1_epi8(static_cast<char>(value));
    const auto mask_at = [&](std::size_t at) { return equal_mask(load(data + at), pattern); };
    if (size - from < kWidth) {
        return in_last_vector(from, size, mask_at);
    }
    if (const unsigned mask = mask_at(from); mask != 0) {
        return from + lowest(mask);
    }
    // From the next aligned address on, four vectors per step with one branch while they last.
    std::size_t at = from + kWidth - (reinterpret_cast<std::uintptr_t>(data + from) & (kWidth - 1));
    for (; size - at >= 4 * kWidth; at += 4 * kWidth) {
        const __m128i a = _mm_cmpeq_epi8(load(data + at), pattern);
        const __m128i b = _mm_cmpeq_epi8(load(data + at + kWidth), pattern);
        const __m128i c = _mm_cmpeq_epi8(load(data + at + 2 * kWidth), pattern);
        const __m128i d = _mm_cmpeq_epi8(load(data + at + 3 * kWidth), pattern);
        if (mask_of(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) != 0) {
            const std::uint64_t mask = std::uint64_t{mask_of(a)} | std::uint64_t{mask_of(b)} << 16 |
                                       std::uint64_t{mask_of(c)} << 32 | std::uint64_t{mask_of(d)} << 48;
            return at + static_cast<std::size_t>(__builtin_ctzll(mask));
        }
    }
    for (; size - at >= kWidth; at += kWidth) {
        if (const unsigned mask = mask_at(at); mask != 0) {
            return at + lowest(mask);
        }
    }
    return at == size ? size : in_last_vector(at, size, mask_at);
}

// Bytes equal to a space, tab, line feed, form feed or carriage return: each of those is the
// only one among them with its low four bits, so one shuffle picks the space candidate for
// every byte and one comparison tells whether the byte is it. A byte with its high bit set
// shuffles to 0 and so never matches.
__m128i space_lanes(__m128i block) noexcept {
    const __m128i candidates = _mm_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', 0, 0);
    return _mm_cmpeq_epi8(block, _mm_shuffle_epi8(candidates, block));
}

// Lane masks of one class for the four vectors of a block, as 64 bits.
std::uint64_t block_mask(const __m128i (&vectors)[4], __m128i (*lanes)(__m128i)) noexcept {
    return std::uint64_t{mask_of(lanes(vectors[0]))} | std::uint64_t{mask_of(lanes(vectors[1]))} << 16 |
           std::uint64_t{mask_of(lanes(vectors[2]))} << 32 | std::uint64_t{mask_of(lanes(vectors[3]))} << 48;
}

template <char Byte>
__m128i byte_lanes(__m128i block) noexcept {
    return _mm_cmpeq_epi8(block, _mm_set1_epi8(Byte));
}

void classify_markup(const unsigned char* block, MarkupMasks& masks) noexcept {
    const __m128i vectors[4] = {load(block), load(block + kWidth), load(block + 2 * kWidth),
                                load(block + 3 * kWidth)};
    masks.less = block_mask(vectors, byte_lanes<'<'>);
    masks.greater = block_mask(vectors, byte_lanes<'>'>);
    masks.slash = block_mask(vectors, byte_lanes<'/'>);
    masks.question = block_mask(vectors, byte_lanes<'?'>);
    masks.double_quote = block_mask(vectors, byte_lanes<'"'>);
    masks.apostrophe = block_mask(vectors, byte_lanes<'\''>);
    masks.space = block_mask(vectors, space_lanes);
}

std::size_t ascii_prefix(const unsigned char* data, std::size_t size) noexcept {
    if (size < kWidth) {
        return scalar::ascii_prefix(data, size);
    }
    const auto mask_at = [&](std::size_t at) { return mask_of(load(data + at)); };
    std::size_t at = 0;
    for (; size - at >= 4 * kWidth; at += 4 * kWidth) {
        const __m128i a = load(data + at);
        const __m128i b = load(data + at + kWidth);
        const __m128i c = load(data + at + 2 * kWidth);
        const __m128i d = load(data + at + 3 * kWidth);
        if (mask_of(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) != 0) {
            break;
        }
    }
    for (; size - at >= kWidth; at += kWidth) {
        if (const unsigned mask = mask_at(at); mask != 0) {
            return at + lowest(mask);
        }
    }
    return at == size ? size : in_last_vector(at, size, mask_at);
}

// Continuation bytes are the signed bytes below -64; each lane counts its own (a match is -1,
// so subtracting adds one) and is summed before it can overflow.
Utf8Counts count_utf8(const unsigned char* data, std::size_t size) noexcept {
    const __m128i below = _mm_set1_epi8(static_cast<char>(0xC0));
    const __m128i zero = _mm_setzero_si128();
    __m128i largest = zero;
    std::size_t continuations = 0;
    std::size_t at = 0;
    while (size - at >= kWidth) {
        __m128i counts = zero;
        for (int round = 0; round < 255 && size - at >= kWidth; ++round, at += kWidth) {
            const __m128i block = load(data + at);
            largest = _mm_max_epu8(largest, block);
            counts = _mm_sub_epi8(counts, _mm_cmplt_epi8(block, below));
        }
        const __m128i sums = _mm_sad_epu8(counts, zero);
        continuations += static_cast<std::size_t>(_mm_cvtsi128_si64(sums)) +
                         static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    }
    // The largest of the sixteen lanes, by halving.
    largest = _mm_max_epu8(largest, _mm_srli_si128(largest, 8));
    largest = _mm_max_epu8(largest, _mm_srli_si128(largest, 4));
    largest = _mm_max_epu8(largest, _mm_srli_si128(largest, 2));
    largest = _mm_max_epu8(largest, _mm_srli_si128(largest, 1));
    const Utf8Counts rest = scalar::count_utf8(data + at, size - at);
    const auto vector_largest = static_cast<unsigned char>(_mm_cvtsi128_si32(largest));
    return {continuations + rest.continuations, rest.largest > vector_largest ? rest.largest : vector_largest};
}

}  // namespace

const KernelTable kTable = {Level::Sse42, find_byte, classify_markup, is_valid_utf8, ascii_prefix, count_utf8};

}  // namespace brindle::kernels::sse42
