// Whether one string of a node can be written so that the output reads back: a text or an
// attribute value may hold only characters XML allows, and a name must moreover be an XML name.
//
// The common cases return from inline code: a string without any byte that could begin a
// forbidden character, and a name made of ASCII letters, digits and the few ASCII name
// punctuation marks (tested sixteen bytes at a time with SSE2). Everything else is decided
// out of line.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "kernels/escape_scan.hpp"
#include "kernels/sse2/byte_lanes.hpp"
#include "write/xml_chars.hpp"

namespace brindle {

struct StringFault {
    enum class Kind : std::uint8_t { None, ForbiddenChar, NotAName };
    Kind kind = Kind::None;
    char32_t code_point = 0;  // the first forbidden character, for ForbiddenChar

    explicit operator bool() const noexcept { return kind != Kind::None; }
};

// The character that begins at `at`, a byte find_suspect_byte stops at, when XML forbids it.
StringFault forbidden_char_at(const char* at) noexcept;

namespace string_check_detail {

// [at, end) is the rest of a string, from a byte that find_suspect_byte stopped at.
[[gnu::noinline]] StringFault find_forbidden_char(const char* at, const char* end) noexcept;
[[gnu::noinline]] StringFault check_name_fully(std::string_view name) noexcept;

constexpr std::uint8_t kNameByte = 1;       // may continue a name
constexpr std::uint8_t kNameStartByte = 2;  // may begin a name

// Non-ASCII bytes have no bit: they take the full check.
constexpr std::array<std::uint8_t, 256> make_ascii_name_table()
{
    std::array<std::uint8_t, 256> table{};
    for (char32_t c = 0; c < 0x80; ++c) {
        table[c] = static_cast<std::uint8_t>((is_name_char(c) ? kNameByte : 0) |
                                             (is_name_start_char(c) ? kNameStartByte : 0));
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kAsciiName = make_ascii_name_table();

#if defined(__SSE2__)
// Lanes that hold an ASCII name character: a letter, a digit, - . : or _.
inline __m128i ascii_name_bytes(__m128i block) noexcept
{
    using namespace kernels::sse2;
    const __m128i letters = bytes_in_range(_mm_or_si128(block, _mm_set1_epi8(0x20)), 'a', 26);
    const __m128i digits_and_marks = _mm_andnot_si128(equal_bytes(block, '/'), bytes_in_range(block, '-', 14));
    return _mm_or_si128(_mm_or_si128(letters, digits_and_marks), equal_bytes(block, '_'));
}

inline bool all_ascii_name_bytes(__m128i block) noexcept
{
    return kernels::sse2::lanes_mask(ascii_name_bytes(block)) == 0xFFFF;
}

inline bool all_ascii_name_bytes(std::string_view name) noexcept
{
    const char* const data = name.data();
    const std::size_t size = name.size();
    if (size < 4) {  // the first, middle and last byte are all of them, cheaper in scalar
        const auto bits = [&](std::size_t i) { return kAsciiName[static_cast<unsigned char>(data[i])]; };
        return (bits(0) & bits(size / 2) & bits(size - 1) & kNameByte) != 0;
    }
    if (size <= 16) return all_ascii_name_bytes(kernels::sse2::load_short(data, size));
    for (std::size_t at = 0; at + 16 < size; at += 16) {
        if (!all_ascii_name_bytes(kernels::sse2::load_block(data + at))) return false;
    }
    return all_ascii_name_bytes(kernels::sse2::load_block(data + size - 16));
}
#else
inline bool all_ascii_name_bytes(std::string_view name) noexcept
{
    for (const char byte : name) {
        if ((kAsciiName[static_cast<unsigned char>(byte)] & kNameByte) == 0) return false;
    }
    return true;
}
#endif

inline bool is_ascii_name(std::string_view name) noexcept
{
    return !name.empty() && (kAsciiName[static_cast<unsigned char>(name[0])] & kNameStartByte) != 0 &&
           all_ascii_name_bytes(name);
}

}  // namespace string_check_detail

// A text or an attribute value: the first character XML forbids in it, if any.
inline StringFault check_text(std::string_view text) noexcept
{
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    if (text.size() < 16) {
        if (!kernels::has_suspect_byte_short(begin, text.size())) [[likely]]
            return {};
        return string_check_detail::find_forbidden_char(kernels::find_suspect_byte(begin, end), end);
    }
    const char* const suspect = kernels::find_suspect_byte(begin, end);
    if (suspect == end) [[likely]]
        return {};
    return string_check_detail::find_forbidden_char(suspect, end);
}

// An element or attribute name: its first forbidden character if it has one, otherwise
// whether it is an XML name.
inline StringFault check_name(std::string_view name) noexcept
{
    if (string_check_detail::is_ascii_name(name)) [[likely]]
        return {};
    return string_check_detail::check_name_fully(name);
}

}  // namespace brindle
