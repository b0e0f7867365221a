// The kernels on thirty-two bytes at a time (AVX2).
//
// This file alone is compiled for AVX2. It calls no inline function that other files also
// define (from the interface it takes declarations only), and its helpers have internal
// linkage, so the linker can never pick a copy built here to stand in for a plain one.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "kernels/avx2/avx2_kernels.hpp"
#include "kernels/scalar/scalar_kernels.hpp"

namespace brindle::kernels::avx2 {
namespace {

constexpr std::size_t kWidth = 32;

__m256i load(const unsigned char* at) noexcept {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

std::uint32_t mask_of(__m256i lanes) noexcept { return static_cast<std::uint32_t>(_mm256_movemask_epi8(lanes)); }

std::uint32_t equal_mask(__m256i block, __m256i pattern) noexcept {
    return mask_of(_mm256_cmpeq_epi8(block, pattern));
}

unsigned lowest(std::uint32_t mask) noexcept { return static_cast<unsigned>(__builtin_ctz(mask)); }

std::uint64_t join(std::uint32_t low, std::uint32_t high) noexcept { return std::uint64_t{low} | std::uint64_t{high} << 32; }

// The hits of `mask_at` in the last vector of the document at or after `at`, which lies within
// that vector: one overlapping load instead of a byte loop.
template <class MaskAt>
std::size_t in_last_vector(std::size_t at, std::size_t size, MaskAt mask_at) noexcept {
    const std::size_t last = size - kWidth;
    const std::uint32_t mask = mask_at(last) >> (at - last);
    return mask != 0 ? at + lowest(mask) : size;
}

std::size_t find_byte(const unsigned char* data, std::size_t size, std::size_t from, unsigned char value) noexcept {
    if (from >= size) {
        return size;
    }
    if (size < kWidth) {
        return scalar::find_byte(data, size, from, value);
    }
    const __m256i pattern = _mm256_set1_epi8(static_cast<char>(value));
    const auto mask_at = [&](std::size_t at) { return equal_mask(load(data + at), pattern); };
    if (size - from < kWidth) {
        return in_last_vector(from, size, mask_at);
    }
    if (const std::uint32_t mask = mask_at(from); mask != 0) {
        return from + lowest(mask);
    }
    // From the next aligned address on, four vectors per step with one branch while they last.
    std::size_t at = from + kWidth - (reinterpret_cast<std::uintptr_t>(data + from) & (kWidth - 1));
    for (; size - at >= 4 * kWidth; at += 4 * kWidth) {
        const __m256i a = _mm256_cmpeq_epi8(load(data + at), pattern);
        const __m256i b = _mm256_cmpeq_epi8(load(data + at + kWidth), pattern);
        const __m256i c = _mm256_cmpeq_epi8(load(data + at + 2 * kWidth), pattern);
        const __m256i d = _mm256_cmpeq_epi8(load(data + at + 3 * kWidth), pattern);
        if (mask_of(_mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d))) != 0) {
            const std::uint64_t first = join(mask_of(a), mask_of(b));
            if (first != 0) {
                return at + static_cast<std::size_t>(__builtin_ctzll(first));
            }
            return at + 2 * kWidth + static_cast<std::size_t>(__builtin_ctzll(join(mask_of(c), mask_of(d))));
        }
    }
    for (; size - at >= kWidth; at += kWidth) {
        if (const std::uint32_t mask = mask_at(at); mask != 0) {
            return at + lowest(mask);
        }
    }
    return at == size ? size : in_last_vector(at, size, mask_at);
}

// Bytes equal to a space, tab, line feed, form feed or carriage return: each of those is the
// only one among them with its low four bits, so one shuffle picks the space candidate for
// every byte and one comparison tells whether the byte is it. A byte with its high bit set
// shuffles to 0 and so never matches. (The shuffle works within each half, so the table is
// given twice.)
__m256i space_lanes(__m256i block) noexcept {
    const __m256i candidates = _mm256_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', 0, 0,
                                                ' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', 0, 0);
    return _mm256_cmpeq_epi8(block, _mm256_shuffle_epi8(candidates, block));
}

template <char Byte>
__m256i byte_lanes(__m256i block) noexcept {
    return _mm256_cmpeq_epi8(block, _mm256_set1_epi8(Byte));
}

std::uint64_t block_mask(__m256i low, __m256i high, __m256i (*lanes)(__m256i)) noexcept {
    return join(mask_of(lanes(low)), mask_of(lanes(high)));
}

void classify_markup(const unsigned char* block, MarkupMasks& masks) noexcept {
    const __m256i low = load(block);
    const __m256i high = load(block + kWidth);
    masks.less = block_mask(low, high, byte_lanes<'<'>);
    masks.greater = block_mask(low, high, byte_lanes<'>'>);
    masks.slash = block_mask(low, high, byte_lanes<'/'>);
    masks.question = block_mask(low, high, byte_lanes<'?'>);
    masks.double_quote = block_mask(low, high, byte_lanes<'"'>);
    masks.apostrophe = block_mask(low, high, byte_lanes<'\''>);
    masks.space = block_mask(low, high, space_lanes);
}

std::size_t ascii_prefix(const unsigned char* data, std::size_t size) noexcept {
    if (size < kWidth) {
        return scalar::ascii_prefix(data, size);
    }
    const auto mask_at = [&](std::size_t at) { return mask_of(load(data + at)); };
    std::size_t at = 0;
    for (; size - at >= 4 * kWidth; at += 4 * kWidth) {
        const __m256i a = load(data + at);
        const __m256i b = load(data + at + kWidth);
        const __m256i c = load(data + at + 2 * kWidth);
        const __m256i d = load(data + at + 3 * kWidth);
        if (mask_of(_mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d))) != 0) {
            break;
        }
    }
    for (; size - at >= kWidth; at += kWidth) {
        if (const std::uint32_t mask = mask_at(at); mask != 0) {
            return at + lowest(mask);
        }
    }
    return at == size ? size : in_last_vector(at, size, mask_at);
}

// Continuation bytes are the signed bytes below -64; each lane counts its own (a match is -1,
// so subtracting adds one) and is summed before it can overflow.
Utf8Counts count_utf8(const unsigned char* data, std::size_t size) noexcept {
    const __m256i below = _mm256_set1_epi8(static_cast<char>(0xC0));
    const __m256i zero = _mm256_setzero_si256();
    __m256i largest = zero;
    std::size_t continuations = 0;
    std::size_t at = 0;
    while (size - at >= kWidth) {
        __m256i counts = zero;
        for (int round = 0; round < 255 && size - at >= kWidth; ++round, at += kWidth) {
            const __m256i block = load(data + at);
            largest = _mm256_max_epu8(largest, block);
            counts = _mm256_sub_epi8(counts, _mm256_cmpgt_epi8(below, block));
        }
        const __m256i sums = _mm256_sad_epu8(counts, zero);
        const __m128i pairs = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
        continuations += static_cast<std::size_t>(_mm_cvtsi128_si64(pairs)) +
                         static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(pairs, pairs)));
    }
    // The largest of the thirty-two lanes, by halving.
    __m128i half = _mm_max_epu8(_mm256_castsi256_si128(largest), _mm256_extracti128_si256(largest, 1));
    half = _mm_max_epu8(half, _mm_srli_si128(half, 8));
    half = _mm_max_epu8(half, _mm_srli_si128(half, 4));
    half = _mm_max_epu8(half, _mm_srli_si128(half, 2));
    half = _mm_max_epu8(half, _mm_srli_si128(half, 1));
    const Utf8Counts rest = scalar::count_utf8(data + at, size - at);
    const auto vector_largest = static_cast<unsigned char>(_mm_cvtsi128_si32(half));
    return {continuations + rest.continuations, rest.largest > vector_largest ? rest.largest : vector_largest};
}

}  // namespace

// The kernels the AVX-512 level also uses.
std::size_t find_byte_avx2(const unsigned char* data, std::size_t size, std::size_t from, unsigned char value) noexcept {
    return find_byte(data, size, from, value);
}
std::size_t ascii_prefix_avx2(const unsigned char* data, std::size_t size) noexcept { return ascii_prefix(data, size); }
Utf8Counts count_utf8_avx2(const unsigned char* data, std::size_t size) noexcept { return count_utf8(data, size); }

const KernelTable kTable = {Level::Avx2, find_byte, classify_markup, is_valid_utf8, ascii_prefix, count_utf8};

}  // namespace brindle::kernels::avx2
