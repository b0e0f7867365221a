// Finding the next byte that escaping must replace.
//
// Text is mostly plain, so the search dominates escaping. With SSE2 (every x86-64 processor)
// sixteen bytes are compared with each special byte at once; the table handles what is left
// and every other processor. Both give the same answer for every input.
#pragma once

#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brindle {

enum class EscapeMode {
    // Element text: & < > " ' and carriage return. A raw CR in text would reach every
    // conforming reader as a line feed; the reference keeps it a CR.
    CharacterData,
    // Attribute values: the same plus tab and line feed, which readers turn into spaces there.
    AttributeValue,
};

namespace escape_detail {

// For each byte: 0 when it is written unchanged, otherwise its entry in the reference list
// of escape.hpp.
constexpr std::array<std::uint8_t, 256> make_table(EscapeMode mode)
{
    std::array<std::uint8_t, 256> table{};
    table['&'] = 1;
    table['<'] = 2;
    table['>'] = 3;
    table['"'] = 4;
    table['\''] = 5;
    table['\r'] = 8;
    if (mode == EscapeMode::AttributeValue) {
        table['\t'] = 6;
        table['\n'] = 7;
    }
    return table;
}

// Internal linkage: the tables stay private to the library.
constexpr std::array<std::uint8_t, 256> kCharacterDataTable = make_table(EscapeMode::CharacterData);
constexpr std::array<std::uint8_t, 256> kAttributeValueTable = make_table(EscapeMode::AttributeValue);

template <EscapeMode mode>
constexpr const std::array<std::uint8_t, 256>& table_for() noexcept
{
    return mode == EscapeMode::CharacterData ? kCharacterDataTable : kAttributeValueTable;
}

#if defined(__SSE2__)
template <EscapeMode mode>
inline unsigned special_bytes_mask(const char* at) noexcept
{
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const auto equal = [&](char byte) { return _mm_cmpeq_epi8(block, _mm_set1_epi8(byte)); };
    __m128i hits = _mm_or_si128(_mm_or_si128(_mm_or_si128(equal('&'), equal('<')), equal('\r')),
                                _mm_or_si128(_mm_or_si128(equal('>'), equal('"')), equal('\'')));
    if constexpr (mode == EscapeMode::AttributeValue) {
        hits = _mm_or_si128(hits, _mm_or_si128(equal('\t'), equal('\n')));
    }
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

}  // namespace escape_detail

// The first byte in [at, end) that `mode` replaces, or `end`.
template <EscapeMode mode>
inline const char* find_escapable(const char* at, const char* end) noexcept
{
#if defined(__SSE2__)
    for (; end - at >= 16; at += 16) {
        const unsigned mask = escape_detail::special_bytes_mask<mode>(at);
        if (mask != 0) return at + __builtin_ctz(mask);
    }
#endif
    const auto& table = escape_detail::table_for<mode>();
    while (at != end && table[static_cast<unsigned char>(*at)] == 0) ++at;
    return at;
}

}  // namespace brindle
