// The kernels on sixty-four bytes at a time (AVX-512 with its byte and word instructions),
// where one comparison gives a whole block's mask of a class.
//
// This file alone is compiled for AVX-512. It calls no inline function that other files also
// define (from the interface it takes declarations only), and its helpers have internal
// linkage, so the linker can never pick a copy built here to stand in for a plain one.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "kernels/avx2/avx2_kernels.hpp"
#include "kernels/avx512/avx512_kernels.hpp"
#include "kernels/scalar/scalar_kernels.hpp"

namespace brindle::kernels::avx512 {
namespace {

constexpr std::size_t kWidth = 64;

__m512i load(const unsigned char* at) noexcept { return _mm512_loadu_si512(at); }

std::size_t lowest(std::uint64_t mask) noexcept { return static_cast<std::size_t>(__builtin_ctzll(mask)); }

// The lanes from `at` to the end of the vector at `vector` (at - vector < 64).
std::uint64_t lanes_from(std::size_t at, std::size_t vector) noexcept { return ~std::uint64_t{0} << (at - vector); }

std::size_t find_byte(const unsigned char* data, std::size_t size, std::size_t from, unsigned char value) noexcept {
    if (from >= size) {
        return size;
    }
    const __m512i pattern = _mm512_set1_epi8(static_cast<char>(value));
    if (size < kWidth) {
        // A masked load reads only the document's bytes.
        const __mmask64 inside = _cvtu64_mask64(size == 0 ? 0 : ~std::uint64_t{0} >> (kWidth - size));
        const std::uint64_t hits = _cvtmask64_u64(_mm512_mask_cmpeq_epi8_mask(
                                       inside, _mm512_maskz_loadu_epi8(inside, data), pattern)) &
                                   lanes_from(from, 0);
        return hits != 0 ? lowest(hits) : size;
    }
    const auto mask_at = [&](std::size_t at) { return _cvtmask64_u64(_mm512_cmpeq_epi8_mask(load(data + at), pattern)); };
    std::size_t at = from;
    for (; size - at >= kWidth; at += kWidth) {
        if (const std::uint64_t hits = mask_at(at); hits != 0) {
            return at + lowest(hits);
        }
    }
    if (at == size) {
        return size;
    }
    const std::size_t last = size - kWidth;
    const std::uint64_t hits = mask_at(last) & lanes_from(at, last);
    return hits != 0 ? last + lowest(hits) : size;
}

// Bytes equal to a space, tab, line feed, form feed or carriage return: each of those is the
// only one among them with its low four bits, so one shuffle picks the space candidate for
// every byte and one comparison tells whether the byte is it. A byte with its high bit set
// shuffles to 0 and so never matches. (The shuffle works within each 16-byte lane.)
std::uint64_t space_mask(__m512i block) noexcept {
    // ' ' in byte 0, '\t' and '\n' in bytes 9 and 10, '\f' and '\r' in bytes 12 and 13.
    const __m512i candidates = _mm512_set4_epi32(0x00000D0C, 0x000A0900, 0, 0x20);
    return _cvtmask64_u64(_mm512_cmpeq_epi8_mask(block, _mm512_shuffle_epi8(candidates, block)));
}

std::uint64_t byte_mask(__m512i block, char byte) noexcept {
    return _cvtmask64_u64(_mm512_cmpeq_epi8_mask(block, _mm512_set1_epi8(byte)));
}

void classify_markup(const unsigned char* block, MarkupMasks& masks) noexcept {
    const __m512i bytes = load(block);
    masks.less = byte_mask(bytes, '<');
    masks.greater = byte_mask(bytes, '>');
    masks.slash = byte_mask(bytes, '/');
    masks.question = byte_mask(bytes, '?');
    masks.double_quote = byte_mask(bytes, '"');
    masks.apostrophe = byte_mask(bytes, '\'');
    masks.space = space_mask(bytes);
}

std::size_t ascii_prefix(const unsigned char* data, std::size_t size) noexcept {
    if (size < kWidth) {
        return scalar::ascii_prefix(data, size);
    }
    const auto mask_at = [&](std::size_t at) { return _cvtmask64_u64(_mm512_movepi8_mask(load(data + at))); };
    std::size_t at = 0;
    for (; size - at >= kWidth; at += kWidth) {
        if (const std::uint64_t high = mask_at(at); high != 0) {
            return at + lowest(high);
        }
    }
    if (at == size) {
        return size;
    }
    const std::size_t last = size - kWidth;
    const std::uint64_t high = mask_at(last) & lanes_from(at, last);
    return high != 0 ? last + lowest(high) : size;
}

}  // namespace

const KernelTable kTable = {Level::Avx512, find_byte, classify_markup, avx2::is_valid_utf8, ascii_prefix,
                            avx2::count_utf8_avx2};

}  // namespace brindle::kernels::avx512
