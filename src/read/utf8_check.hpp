// Validation of UTF-8 as the reader accepts it: no overlong forms, no surrogates, nothing
// beyond U+10FFFF, no truncated sequences.
#pragma once

#include <string_view>

namespace brindle::read {

bool is_valid_utf8(std::string_view bytes) noexcept;

}  // namespace brindle::read
