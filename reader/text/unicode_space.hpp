// Unicode white space (the characters with the White_Space property) in UTF-8 text: what
// element text is trimmed of, and what may follow an end tag's name.
#pragma once

#include <string_view>

namespace brindle::reader {

// trim_unicode_space for a text that may begin or end with white space.
std::string_view trim_unicode_space_ends(std::string_view text) noexcept;

// The text without its leading and trailing white space. `text` must be valid UTF-8. Inline for
// most texts, which begin and end with a printable ASCII character, which no white space is or
// ends with: nothing to trim.
inline std::string_view trim_unicode_space(std::string_view text) noexcept
{
    const auto is_plain = [](char byte) { return static_cast<unsigned char>(byte) - 0x21u < 0x5Fu; };
    if (text.empty() || (is_plain(text.front()) && is_plain(text.back()))) return text;
    return trim_unicode_space_ends(text);
}

// is_all_unicode_space for a text that is not empty and whose first byte may begin white space.
bool is_unicode_space_run(std::string_view text) noexcept;

// True when every character of `text` (valid UTF-8) is white space; true for "". Inline for the
// texts told by their first byte (most runs between tags, most end tags): an empty one, or one
// that begins with a printable ASCII character, as ASCII white space lies below '!' and every
// other white-space character is more than one byte long.
inline bool is_all_unicode_space(std::string_view text) noexcept
{
    if (text.empty()) return true;
    const auto first = static_cast<unsigned char>(text.front());
    if (first > ' ' && first < 0x80) return false;
    return is_unicode_space_run(text);
}

}  // namespace brindle::reader
