// The writer's scans sixteen bytes at a time with SSE2, which every x86-64 processor has (the
// searches reach the writer through the kernel table, sse2/escape_scan_kernels.cpp; the short
// checks are inlined where it calls them): finding the next byte escaping must look at, and
// the next byte that may begin a forbidden character (scalar/escape_scan.hpp says which bytes
// those are). They agree with the scalar scans on every input, but for one byte: the search
// for escaping also stops at '#', and the short check finds a string holding '#' not plain;
// escaping passes over it, so what is written is the same.
//
// Text is mostly plain, so the search dominates escaping: sixteen bytes are compared with each
// special byte at once.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstddef>

#include "kernels/scalar/escape_scan.hpp"
#include "kernels/sse2/byte_lanes.hpp"

namespace brindle::kernels::sse2 {

// The replaced bytes from ' ' on, grouped by their high four bits (a row of the ASCII table):
// each group is the bytes b with (b | spread) == target, which holds the group's bytes and
// those that differ from them only in the bits where they differ among themselves. One
// comparison tests a whole group: < and > (bit 1); " & and ' (bits 0 and 2), with # (passed
// over unchanged).
struct ByteGroup {
    char spread;
    char target;
};

struct PrintableGroups {
    ByteGroup groups[8];
    std::size_t count;
};

constexpr PrintableGroups make_printable_groups()
{
    PrintableGroups found{};
    for (int row = 2; row < 8; ++row) {
        bool any = false;
        unsigned char first = 0;
        unsigned char spread = 0;
        for (const auto& replacement : escape_detail::kReplacements) {
            const auto byte = static_cast<unsigned char>(replacement.byte);
            if (byte >> 4 != row) continue;
            if (!any) first = byte;
            spread = static_cast<unsigned char>(spread | (byte ^ first));
            any = true;
        }
        if (any) found.groups[found.count++] = {static_cast<char>(spread), static_cast<char>(first | spread)};
    }
    return found;
}

inline constexpr PrintableGroups kPrintableGroups = make_printable_groups();
static_assert(kPrintableGroups.count >= 1);

// Whether candidate_bytes marks `byte`: the model the check below holds the vector code to.
constexpr bool is_candidate(unsigned char byte)
{
    if (byte < 0x20 || byte == forbidden_detail::kNoncharacterLead) return true;
    for (std::size_t i = 0; i < kPrintableGroups.count; ++i) {
        const ByteGroup group = kPrintableGroups.groups[i];
        if (static_cast<char>(byte | static_cast<unsigned char>(group.spread)) == group.target) return true;
    }
    return false;
}

// Every byte either mode stops at is a candidate, and in text only tab and line feed among the
// candidates below ' ' are written unchanged (special_bytes leaves those two out).
constexpr bool candidates_cover_the_tables()
{
    const auto& text = escape_detail::table_for<EscapeMode::CharacterData>();
    const auto& attribute = escape_detail::table_for<EscapeMode::AttributeValue>();
    for (std::size_t byte = 0; byte < text.size(); ++byte) {
        const bool stop = text[byte] != 0 || attribute[byte] != 0;
        if (stop && !is_candidate(static_cast<unsigned char>(byte))) return false;
        if (byte < 0x20 && (text[byte] == 0) != (byte == '\t' || byte == '\n')) return false;
    }
    return true;
}
static_assert(candidates_cover_the_tables(), "the SSE2 scan must stop at every byte escaping replaces or checks");

// Lanes that escaping replaces or must check in either mode, and also tab and line feed: a
// superset that rules out a plain block of text in fewer operations than the exact set.
inline __m128i candidate_bytes(__m128i block) noexcept
{
    const auto group_lanes = [&](ByteGroup group) {
        return equal_bytes(_mm_or_si128(block, _mm_set1_epi8(group.spread)), group.target);
    };
    __m128i printable = group_lanes(kPrintableGroups.groups[0]);
    for (std::size_t i = 1; i < kPrintableGroups.count; ++i) {
        printable = _mm_or_si128(printable, group_lanes(kPrintableGroups.groups[i]));
    }
    const __m128i controls = bytes_in_range(block, 0, 0x20);
    const __m128i noncharacter_leads = equal_bytes(block, static_cast<char>(forbidden_detail::kNoncharacterLead));
    return _mm_or_si128(printable, _mm_or_si128(controls, noncharacter_leads));
}

// The lanes escaping replaces or must check, from the candidates: in text, tab and line feed
// are written unchanged.
template <EscapeMode mode>
inline __m128i special_bytes(__m128i block, __m128i candidates) noexcept
{
    if constexpr (mode == EscapeMode::CharacterData) {
        return _mm_andnot_si128(bytes_in_range(block, '\t', 2), candidates);
    }
    return candidates;
}

template <EscapeMode mode>
inline unsigned special_bytes_mask(__m128i block) noexcept
{
    return lanes_mask(special_bytes<mode>(block, candidate_bytes(block)));
}

inline __m128i suspect_bytes(__m128i block) noexcept
{
    const __m128i allowed = _mm_or_si128(bytes_in_range(block, '\t', 2), equal_bytes(block, '\r'));
    return _mm_or_si128(_mm_andnot_si128(allowed, bytes_in_range(block, 0, 0x20)),
                        equal_bytes(block, static_cast<char>(forbidden_detail::kNoncharacterLead)));
}

// The first byte in [at, end) that `mode` replaces or must check, or `end`; `begin` is the
// start of the string, at or before `at`. A string shorter than 16 bytes is searched with the
// table.
template <EscapeMode mode>
inline const char* find_escapable(const char* begin, const char* at, const char* end) noexcept
{
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
    return scalar::find_escapable<mode>(at, end);
}

// Whether a string shorter than 16 bytes holds no byte that `mode` replaces or must check.
// Most such strings are plain, and this tells it without a loop whose exit mispredicts.
template <EscapeMode mode>
inline bool is_plain_short(const char* at, std::size_t size) noexcept
{
    if (size < 4) return scalar::is_plain_short<mode>(at, size);
    return special_bytes_mask<mode>(load_short(at, size)) == 0;
}

// The first suspect byte in [at, end), or `end`.
inline const char* find_suspect_byte(const char* at, const char* end) noexcept
{
    for (; end - at >= 16; at += 16) {
        const unsigned mask = lanes_mask(suspect_bytes(load_block(at)));
        if (mask != 0) return at + __builtin_ctz(mask);
    }
    return scalar::find_suspect_byte(at, end);
}

// Whether a string shorter than 16 bytes holds a suspect byte, without a loop.
inline bool has_suspect_byte_short(const char* at, std::size_t size) noexcept
{
    using forbidden_detail::is_suspect;
    if (size == 0) return false;
    if (size < 4) return is_suspect(at[0]) || is_suspect(at[size / 2]) || is_suspect(at[size - 1]);
    return lanes_mask(suspect_bytes(load_short(at, size))) != 0;
}

}  // namespace brindle::kernels::sse2

#endif
