// Unicode white space (the characters with the White_Space property) in UTF-8 text: what
// element text is trimmed of, and what may follow an end tag's name.
#pragma once

#include <string_view>

namespace brindle::reader {

// The text without its leading and trailing white space. `text` must be valid UTF-8.
std::string_view trim_unicode_space(std::string_view text) noexcept;

// True when every character of `text` (valid UTF-8) is white space; true for "".
bool is_all_unicode_space(std::string_view text) noexcept;

}  // namespace brindle::reader
