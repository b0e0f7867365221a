// The kernels of the x86 vector levels, written once over a lanes type that says how one
// instruction set loads, compares and reduces a vector of bytes (sse42/sse42_kernels.cpp and
// avx2/avx2_kernels.cpp define one each).
//
// Only a level's own source includes this header, and that source is compiled for its
// instruction set. Everything here is a template over the lanes type, which each level defines
// in an unnamed namespace, so every instantiation has internal linkage: the linker can never
// pick a copy built for one instruction set to stand in for another. For the same reason
// nothing here calls an inline function that other files also define (builtins and
// intrinsics only), and the tables are plain arrays.
//
// A lanes type L holds:
//   Vector, kWidth                  the vector type and its width in bytes (16 or 32)
//   load(p), store(p, v), splat(byte), splat_words(word), zero()
//   equal, signed_greater, either, both, differ (or, and, xor), subtract, subtract_saturated,
//   max (unsigned bytes)            byte-wise operations on two vectors
//   shift_words_right<N>(v)         each 16-bit word shifted right by N bits
//   repeat_16(table)                the 16-byte table in every 16-byte part of a vector
//   lookup(table, v)                each byte's entry in its part's 16-byte table (v's low four
//                                   bits; 0 where v's high bit is set)
//   preceding<N>(v, before)         the vector of the bytes N places before v's, the first from
//                                   `before`
//   narrow_words(a, b)              the 16-bit words of a then b, each as a byte (saturated)
//   equal_words(a, b)               all ones in each 16-bit word where a's equals b's
//   mask(v)                         the high bit of each byte, byte i in bit i
//   is_zero(v)
//   byte_sums(v)                    the sums of each eight bytes, in 64-bit lanes
//   add_halves(v), max_halves(v)    a 128-bit vector of the 64-bit sums / byte maxima of v's
//                                   16-byte parts
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "kernels/kernels.hpp"
#include "kernels/scalar/scalar_kernels.hpp"

namespace brindle::kernels::x86 {

// (A template over L like everything here, though L is not used: each level gets its own copy.)
template <class L>
unsigned lowest(std::uint32_t mask) noexcept
{
    return static_cast<unsigned>(__builtin_ctz(mask));
}

// The masks of the 64 bytes of `64 / kWidth` vectors, the first vector's in the low bits.
template <class L>
std::uint64_t joined_mask(const typename L::Vector* vectors) noexcept
{
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < 64 / L::kWidth; ++i) {
        bits |= std::uint64_t{L::mask(vectors[i])} << (i * L::kWidth);
    }
    return bits;
}

// Four vectors in a row, the unit of the loops that test many bytes with one branch.
template <class L>
struct Four {
    typename L::Vector vectors[4];

    static Four load(const unsigned char* at) noexcept
    {
        return {{L::load(at), L::load(at + L::kWidth), L::load(at + 2 * L::kWidth), L::load(at + 3 * L::kWidth)}};
    }
    typename L::Vector any() const noexcept
    {
        return L::either(L::either(vectors[0], vectors[1]), L::either(vectors[2], vectors[3]));
    }
    // Offset of the first byte with its high bit set; there is one.
    std::size_t first_marked() const noexcept
    {
        constexpr std::size_t kPerWord = 64 / L::kWidth;
        for (std::size_t word = 0; word < 4 / kPerWord; ++word) {
            if (const std::uint64_t bits = joined_mask<L>(vectors + word * kPerWord); bits != 0) {
                return word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
            }
        }
        __builtin_unreachable();
    }
};

// The hits of `mask_at` in the last vector of the document at or after `at`, which lies within
// that vector: one overlapping load instead of a byte loop.
template <class L, class MaskAt>
std::size_t in_last_vector(std::size_t at, std::size_t size, MaskAt mask_at) noexcept
{
    const std::size_t last = size - L::kWidth;
    const std::uint32_t mask = mask_at(last) >> (at - last);
    return mask != 0 ? at + lowest<L>(mask) : size;
}

template <class L>
std::size_t find_byte(const unsigned char* data, std::size_t size, std::size_t from, unsigned char value) noexcept
{
    constexpr std::size_t kWidth = L::kWidth;
    if (from >= size) {
        return size;
    }
    if (size < kWidth) {
        return scalar::find_byte(data, size, from, value);
    }
    const typename L::Vector pattern = L::splat(static_cast<char>(value));
    const auto mask_at = [&](std::size_t at) { return L::mask(L::equal(L::load(data + at), pattern)); };
    if (size - from < kWidth) {
        return in_last_vector<L>(from, size, mask_at);
    }
    if (const std::uint32_t mask = mask_at(from); mask != 0) {
        return from + lowest<L>(mask);
    }
    // From the next aligned address on, four vectors per step with one branch while they last.
    std::size_t at = from + kWidth - (reinterpret_cast<std::uintptr_t>(data + from) & (kWidth - 1));
    for (; size - at >= 4 * kWidth; at += 4 * kWidth) {
        Four<L> hits = Four<L>::load(data + at);
        for (typename L::Vector& vector : hits.vectors) {
            vector = L::equal(vector, pattern);
        }
        if (L::mask(hits.any()) != 0) {
            return at + hits.first_marked();
        }
    }
    for (; size - at >= kWidth; at += kWidth) {
        if (const std::uint32_t mask = mask_at(at); mask != 0) {
            return at + lowest<L>(mask);
        }
    }
    return at == size ? size : in_last_vector<L>(at, size, mask_at);
}

// Each byte of tag white space (space, tab, line feed, form feed, carriage return) is the only
// one among them with its low four bits: placed at those bits in a 16-byte table, it is the
// one candidate a byte is looked up against.
struct TagSpaceCandidates {
    char bytes[16];

    constexpr TagSpaceCandidates() : bytes{}
    {
        for (int byte = 0; byte < 0x80; ++byte) {
            if (is_tag_space(static_cast<unsigned char>(byte))) {
                bytes[byte & 0x0F] = static_cast<char>(byte);
            }
        }
    }
    // A byte is its own candidate exactly when it is tag white space (a byte with its high bit
    // set looks up 0, and is not 0).
    constexpr bool exact() const
    {
        for (int byte = 0; byte < 0x80; ++byte) {
            if ((bytes[byte & 0x0F] == byte) != is_tag_space(static_cast<unsigned char>(byte))) return false;
        }
        return true;
    }
};
inline constexpr TagSpaceCandidates kTagSpaceCandidates;
static_assert(kTagSpaceCandidates.exact(), "no two bytes of tag white space may share their low four bits");

// One lookup picks the candidate for every byte and one comparison tells whether the byte is it.
template <class L>
typename L::Vector tag_space_lanes(typename L::Vector block) noexcept
{
    return L::equal(block, L::lookup(L::repeat_16(kTagSpaceCandidates.bytes), block));
}

template <class L, char Byte>
typename L::Vector byte_lanes(typename L::Vector block) noexcept
{
    return L::equal(block, L::splat(Byte));
}

// The 64-bit mask of one class of bytes over the vectors of a markup block.
template <class L>
std::uint64_t block_mask(const typename L::Vector (&vectors)[kMarkupBlock / L::kWidth],
                         typename L::Vector (*lanes)(typename L::Vector)) noexcept
{
    typename L::Vector marked[kMarkupBlock / L::kWidth];
    for (std::size_t i = 0; i < kMarkupBlock / L::kWidth; ++i) {
        marked[i] = lanes(vectors[i]);
    }
    return joined_mask<L>(marked);
}

template <class L>
void classify_markup(const unsigned char* block, MarkupMasks& masks) noexcept
{
    typename L::Vector vectors[kMarkupBlock / L::kWidth];
    for (std::size_t i = 0; i < kMarkupBlock / L::kWidth; ++i) {
        vectors[i] = L::load(block + i * L::kWidth);
    }
    masks.less = block_mask<L>(vectors, byte_lanes<L, '<'>);
    masks.greater = block_mask<L>(vectors, byte_lanes<L, '>'>);
    masks.slash = block_mask<L>(vectors, byte_lanes<L, '/'>);
    masks.question = block_mask<L>(vectors, byte_lanes<L, '?'>);
    masks.double_quote = block_mask<L>(vectors, byte_lanes<L, '"'>);
    masks.apostrophe = block_mask<L>(vectors, byte_lanes<L, '\''>);
    masks.tag_space = block_mask<L>(vectors, tag_space_lanes<L>);
}

template <class L>
std::size_t ascii_prefix(const unsigned char* data, std::size_t size) noexcept
{
    constexpr std::size_t kWidth = L::kWidth;
    if (size < kWidth) {
        return scalar::ascii_prefix(data, size);
    }
    const auto mask_at = [&](std::size_t at) { return L::mask(L::load(data + at)); };
    std::size_t at = 0;
    for (; size - at >= 4 * kWidth; at += 4 * kWidth) {
        if (L::mask(Four<L>::load(data + at).any()) != 0) {
            break;
        }
    }
    for (; size - at >= kWidth; at += kWidth) {
        if (const std::uint32_t mask = mask_at(at); mask != 0) {
            return at + lowest<L>(mask);
        }
    }
    return at == size ? size : in_last_vector<L>(at, size, mask_at);
}

// The ASCII units at the front of the kWidth units at `in` (2 * kWidth bytes), all narrowed to
// `out` (kWidth bytes).
template <class L>
std::size_t narrow_vector(const unsigned char* in, unsigned char* out) noexcept
{
    constexpr std::size_t kWidth = L::kWidth;
    const typename L::Vector first = L::load(in);
    const typename L::Vector second = L::load(in + kWidth);
    L::store(out, L::narrow_words(first, second));
    const typename L::Vector non_ascii = L::splat_words(static_cast<short>(0xFF80));
    const typename L::Vector first_high = L::both(first, non_ascii);
    const typename L::Vector second_high = L::both(second, non_ascii);
    if (L::is_zero(L::either(first_high, second_high))) {
        return kWidth;
    }
    // Two mask bits per unit, set for an ASCII one.
    const std::uint64_t ascii = std::uint64_t{L::mask(L::equal_words(first_high, L::zero()))} |
                                std::uint64_t{L::mask(L::equal_words(second_high, L::zero()))} << kWidth;
    return static_cast<std::size_t>(__builtin_ctzll(~ascii)) / 2;
}

// A vector of output bytes per step, from the two vectors of units that make it; the last
// units through one more vector that overlaps the ones before.
template <class L>
std::size_t narrow_ascii(const std::uint16_t* units, std::size_t count, unsigned char* out) noexcept
{
    constexpr std::size_t kWidth = L::kWidth;
    const auto* in = reinterpret_cast<const unsigned char*>(units);
    if (count < kWidth) {
        return scalar::narrow_ascii(units, count, out);
    }
    std::size_t at = 0;
    for (; count - at >= kWidth; at += kWidth) {
        if (const std::size_t ascii = narrow_vector<L>(in + 2 * at, out + at); ascii < kWidth) {
            return at + ascii;
        }
    }
    if (at == count) {
        return count;
    }
    const std::size_t last = count - kWidth;
    return last + narrow_vector<L>(in + 2 * last, out + last);
}

// The largest byte of a 128-bit vector, by halving.
template <class L>
unsigned char largest_byte(__m128i bytes) noexcept
{
    bytes = _mm_max_epu8(bytes, _mm_srli_si128(bytes, 8));
    bytes = _mm_max_epu8(bytes, _mm_srli_si128(bytes, 4));
    bytes = _mm_max_epu8(bytes, _mm_srli_si128(bytes, 2));
    bytes = _mm_max_epu8(bytes, _mm_srli_si128(bytes, 1));
    return static_cast<unsigned char>(_mm_cvtsi128_si32(bytes));
}

// Continuation bytes are the signed bytes below -64; each lane counts its own (a match is -1,
// so subtracting adds one) and is summed before it can overflow.
template <class L>
Utf8Counts count_utf8(const unsigned char* data, std::size_t size) noexcept
{
    constexpr std::size_t kWidth = L::kWidth;
    const typename L::Vector below = L::splat(static_cast<char>(0xC0));
    typename L::Vector largest = L::zero();
    std::size_t continuations = 0;
    std::size_t at = 0;
    while (size - at >= kWidth) {
        typename L::Vector counts = L::zero();
        for (int round = 0; round < 255 && size - at >= kWidth; ++round, at += kWidth) {
            const typename L::Vector block = L::load(data + at);
            largest = L::max(largest, block);
            counts = L::subtract(counts, L::signed_greater(below, block));
        }
        const __m128i pairs = L::add_halves(L::byte_sums(counts));
        continuations += static_cast<std::size_t>(_mm_cvtsi128_si64(pairs)) +
                         static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(pairs, pairs)));
    }
    const Utf8Counts rest = scalar::count_utf8(data + at, size - at);
    const unsigned char vector_largest = largest_byte<L>(L::max_halves(largest));
    return {continuations + rest.continuations, rest.largest > vector_largest ? rest.largest : vector_largest};
}

}  // namespace brindle::kernels::x86
