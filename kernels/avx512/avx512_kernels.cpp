// The markup classifier on sixty-four bytes at once (AVX-512 with its byte and word
// instructions), where one comparison gives a whole block's mask of a class.
//
// This file alone is compiled for AVX-512. It calls no inline function that other files also
// define (from the interface it takes declarations only), and its helpers have internal
// linkage, so the linker can never pick a copy built here to stand in for a plain one.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "kernels/avx2/avx2_kernels.hpp"
#include "kernels/avx512/avx512_kernels.hpp"
#include "kernels/sse2/escape_scan_kernels.hpp"

namespace brindle::kernels::avx512 {
namespace {

__m512i load(const unsigned char* at) noexcept { return _mm512_loadu_si512(at); }

// Bytes of tag white space (space, tab, line feed, form feed, carriage return): each of those
// is the only one among them with its low four bits, so one shuffle picks the candidate for
// every byte and one comparison tells whether the byte is it. A byte with its high bit set
// shuffles to 0 and so never matches. (The shuffle works within each 16-byte lane.)
std::uint64_t tag_space_mask(__m512i block) noexcept
{
    // ' ' in byte 0, '\t' and '\n' in bytes 9 and 10, '\f' and '\r' in bytes 12 and 13.
    const __m512i candidates = _mm512_set4_epi32(0x00000D0C, 0x000A0900, 0, 0x20);
    return _cvtmask64_u64(_mm512_cmpeq_epi8_mask(block, _mm512_shuffle_epi8(candidates, block)));
}

std::uint64_t byte_mask(__m512i block, char byte) noexcept
{
    return _cvtmask64_u64(_mm512_cmpeq_epi8_mask(block, _mm512_set1_epi8(byte)));
}

void classify_markup(const unsigned char* block, MarkupMasks& masks) noexcept
{
    const __m512i bytes = load(block);
    masks.less = byte_mask(bytes, '<');
    masks.greater = byte_mask(bytes, '>');
    masks.slash = byte_mask(bytes, '/');
    masks.question = byte_mask(bytes, '?');
    masks.double_quote = byte_mask(bytes, '"');
    masks.apostrophe = byte_mask(bytes, '\'');
    masks.tag_space = tag_space_mask(bytes);
}

}  // namespace

// Only the classifier gains from whole 64-byte vectors; the searches, which stop early, and
// the UTF-8 kernels are AVX2's.
const KernelTable kTable = {Level::Avx512,       avx2::find_byte,           classify_markup,
                            avx2::is_valid_utf8, avx2::ascii_prefix,        avx2::count_utf8,
                            avx2::narrow_ascii,  sse2::find_escapable_text, sse2::find_escapable_attribute,
                            sse2::find_suspect};

}  // namespace brindle::kernels::avx512
