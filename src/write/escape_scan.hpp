// Finding the next byte that escaping must look at: one it replaces by a reference, or one
// that may begin a character XML forbids (forbidden_scan.hpp), which escaping then checks.
// Checking while escaping reads each text once, where a separate check would read it twice.
//
// Text is mostly plain, so the search dominates escaping. With SSE2 (every x86-64 processor)
// sixteen bytes are compared with each special byte at once; the table handles what is left
// and every other processor. Both give the same answer for every input.
#pragma once

#include <array>
#include <cstdint>

#include "write/byte_lanes.hpp"
#include "write/forbidden_scan.hpp"

namespace brindle {

enum class EscapeMode {
    // Element text: & < > " ' and carriage return. A raw CR in text would reach every
    // conforming reader as a line feed; the reference keeps it a CR.
    CharacterData,
    // Attribute values: the same plus tab and line feed, which readers turn into spaces there.
    AttributeValue,
};

namespace escape_detail {

// Table entry of a byte that may begin a forbidden character.
constexpr std::uint8_t kCheckCharacter = 9;

// For each byte: 0 when it is written unchanged, kCheckCharacter, or otherwise its entry in
// the reference list of escape.hpp.
constexpr std::array<std::uint8_t, 256> make_table(EscapeMode mode)
{
    std::array<std::uint8_t, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
        if (forbidden_detail::kSuspect[byte]) table[byte] = kCheckCharacter;
    }
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
// Lanes that escaping replaces or must check in either mode, and also tab and line feed: a
// superset that rules out a plain block of text in fewer operations than the exact set.
// Groups of bytes that differ only in a few bits take one comparison: < and > (bit 1);
// " & and ' (bits 0 and 2), with # (passed over unchanged).
inline __m128i candidate_bytes(__m128i block) noexcept
{
    using namespace lanes;
    const __m128i angles = equal_bytes(_mm_or_si128(block, _mm_set1_epi8(0x02)), '>');
    const __m128i quotes_and_ampersand = equal_bytes(_mm_or_si128(block, _mm_set1_epi8(0x05)), '\'');
    const __m128i controls = bytes_in_range(block, 0, 0x20);
    const __m128i noncharacter_leads = equal_bytes(block, static_cast<char>(forbidden_detail::kNoncharacterLead));
    return _mm_or_si128(_mm_or_si128(angles, quotes_and_ampersand), _mm_or_si128(controls, noncharacter_leads));
}

// The lanes escaping replaces or must check, from the candidates: in text, tab and line feed
// are written unchanged.
template <EscapeMode mode>
inline __m128i special_bytes(__m128i block, __m128i candidates) noexcept
{
    if constexpr (mode == EscapeMode::CharacterData) {
        return _mm_andnot_si128(lanes::bytes_in_range(block, '\t', 2), candidates);
    }
    return candidates;
}

template <EscapeMode mode>
inline unsigned special_bytes_mask(__m128i block) noexcept
{
    return lanes::lanes_mask(special_bytes<mode>(block, candidate_bytes(block)));
}
#endif

}  // namespace escape_detail

// The first byte in [at, end) that `mode` replaces or must check, or `end`; `begin` is the
// start of the string, at or before `at`. A string shorter than 16 bytes is searched with the
// table.
template <EscapeMode mode>
inline const char* find_escapable(const char* begin, const char* at, const char* end) noexcept
{
#if defined(__SSE2__)
    using namespace escape_detail;
    using namespace lanes;
    // Two blocks per step while they last: one test and branch for 32 bytes of plain text.
    for (; end - at >= 32; at += 32) {
        const __m128i first = load_block(at);
        const __m128i second = load_block(at + 16);
        const __m128i first_candidates = candidate_bytes(first);
        const __m128i second_candidates = candidate_bytes(second);
        if (lanes_mask(_mm_or_si128(first_candidates, second_candidates)) == 0) continue;
        const unsigned mask = lanes_mask(special_bytes<mode>(first, first_candidates)) |
                              lanes_mask(special_bytes<mode>(second, second_candidates)) << 16;
        if (mask != 0) return at + __builtin_ctz(mask);
    }
    for (; end - at >= 16; at += 16) {
        const unsigned mask = special_bytes_mask<mode>(load_block(at));
        if (mask != 0) return at + __builtin_ctz(mask);
    }
    if (at == end) return end;
    if (end - begin >= 16) {
        // The last 16 bytes of the string, less those before `at`, which were searched already.
        const char* const last_block = end - 16;
        const unsigned mask = special_bytes_mask<mode>(load_block(last_block)) >> (at - last_block);
        return mask != 0 ? at + __builtin_ctz(mask) : end;
    }
#endif
    (void)begin;
    const auto& table = escape_detail::table_for<mode>();
    while (at != end && table[static_cast<unsigned char>(*at)] == 0) ++at;
    return at;
}

// Whether a string shorter than 16 bytes holds no byte that `mode` replaces or must check.
// Most such strings are plain, and this tells it without a loop whose exit mispredicts.
template <EscapeMode mode>
inline bool is_plain_short(const char* at, std::size_t size) noexcept
{
    const auto& table = escape_detail::table_for<mode>();
    if (size == 0) return true;
    if (size < 4) {  // the first, middle and last byte are all of them
        const auto entry = [&](std::size_t i) { return table[static_cast<unsigned char>(at[i])]; };
        return (entry(0) | entry(size / 2) | entry(size - 1)) == 0;
    }
#if defined(__SSE2__)
    return escape_detail::special_bytes_mask<mode>(lanes::load_short(at, size)) == 0;
#else
    for (std::size_t i = 0; i < size; ++i) {
        if (table[static_cast<unsigned char>(at[i])] != 0) return false;
    }
    return true;
#endif
}

}  // namespace brindle
