// Unicode white space (the characters with the White_Space property) in UTF-8 text: what
// element text is trimmed of, and what may follow an end tag's name.
#pragma once

#include <string_view>

namespace brindle::reader {

// The text without its leading and trailing white space. `text` must be valid UTF-8.
std::string_view trim_unicode_space(std::string_view text) noexcept;

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
