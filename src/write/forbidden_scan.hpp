// Finding the bytes that could begin a character XML forbids.
//
// A node's strings are valid UTF-8 without surrogates (nodes are only ever made from such), so
// the forbidden characters they can hold are the controls other than tab, line feed and
// carriage return, each one byte below 0x20, and U+FFFE and U+FFFF, encoded EF BF BE and
// EF BF BF. The search stops at such a control or at 0xEF ("suspect" bytes); whether an 0xEF
// really begins U+FFFE or U+FFFF is left to the caller, as that byte is rare (it leads only
// U+F000-U+FFFF).
//
// With SSE2 (every x86-64 processor) sixteen bytes are tested at once; the table handles what
// is left and every other processor. Both give the same answer for every input.
#pragma once

#include <array>
#include <cstddef>

#include "write/byte_lanes.hpp"

namespace brindle {

namespace forbidden_detail {

constexpr unsigned char kNoncharacterLead = 0xEF;

constexpr std::array<bool, 256> make_suspect_table()
{
    std::array<bool, 256> table{};
    for (int byte = 0; byte < 0x20; ++byte) table[byte] = byte != '\t' && byte != '\n' && byte != '\r';
    table[kNoncharacterLead] = true;
    return table;
}

constexpr std::array<bool, 256> kSuspect = make_suspect_table();

inline bool is_suspect(char byte) noexcept { return kSuspect[static_cast<unsigned char>(byte)]; }

#if defined(__SSE2__)
inline __m128i suspect_bytes(__m128i block) noexcept
{
    using namespace lanes;
    const __m128i allowed = _mm_or_si128(bytes_in_range(block, '\t', 2), equal_bytes(block, '\r'));
    return _mm_or_si128(_mm_andnot_si128(allowed, bytes_in_range(block, 0, 0x20)),
                        equal_bytes(block, static_cast<char>(kNoncharacterLead)));
}
#endif

}  // namespace forbidden_detail

// The first suspect byte in [at, end), or `end`.
inline const char* find_suspect_byte(const char* at, const char* end) noexcept
{
#if defined(__SSE2__)
    for (; end - at >= 16; at += 16) {
        const unsigned mask = lanes::lanes_mask(forbidden_detail::suspect_bytes(lanes::load_block(at)));
        if (mask != 0) return at + __builtin_ctz(mask);
    }
#endif
    while (at != end && !forbidden_detail::is_suspect(*at)) ++at;
    return at;
}

// Whether a string shorter than 16 bytes holds a suspect byte, without a loop.
inline bool has_suspect_byte_short(const char* at, std::size_t size) noexcept
{
    using forbidden_detail::is_suspect;
    if (size == 0) return false;
    if (size < 4) return is_suspect(at[0]) || is_suspect(at[size / 2]) || is_suspect(at[size - 1]);
#if defined(__SSE2__)
    return lanes::lanes_mask(forbidden_detail::suspect_bytes(lanes::load_short(at, size))) != 0;
#else
    return find_suspect_byte(at, at + size) != at + size;
#endif
}

}  // namespace brindle
