// Whether one string of a node can be written so that the output reads back: a text or an
// attribute value may hold only characters XML allows, and a name must moreover be an XML name.
//
// The common cases return from inline code: a string without any byte that could begin a
// forbidden character, and a name made of ASCII letters, digits and the few ASCII name
// punctuation marks (both scans are the kernels', kernels/escape_scan.hpp and
// kernels/ascii_name.hpp). Everything else is decided out of line.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "kernels/ascii_name.hpp"
#include "kernels/escape_scan.hpp"
#include "write/xml_chars.hpp"

namespace brindle::write {

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

// The ASCII bytes that may begin a name; those that may continue one are the kernels'
// (kernels/ascii_name.hpp), which must be XML's.
constexpr std::array<bool, 256> make_ascii_name_start_table()
{
    std::array<bool, 256> table{};
    for (char32_t c = 0; c < 0x80; ++c) table[c] = is_name_start_char(c);
    return table;
}

constexpr std::array<bool, 256> kAsciiNameStart = make_ascii_name_start_table();

constexpr bool kernels_name_bytes_are_xml_name_chars()
{
    for (char32_t c = 0; c < 0x100; ++c) {
        if (kernels::ascii_name_detail::kAsciiNameByte[c] != (c < 0x80 && is_name_char(c))) return false;
    }
    return true;
}
static_assert(kernels_name_bytes_are_xml_name_chars(), "the kernels' ASCII name bytes are XML's ASCII name characters");

inline bool is_ascii_name(std::string_view name) noexcept
{
    return !name.empty() && kAsciiNameStart[static_cast<unsigned char>(name[0])] &&
           kernels::all_ascii_name_bytes(name.data(), name.size());
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

}  // namespace brindle::write
