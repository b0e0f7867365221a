// Validation of UTF-8 as the reader accepts it (read_file checks the file's bytes with it):
// no overlong forms, no surrogates, nothing beyond U+10FFFF, no truncated sequences.
#pragma once

#include <string_view>

namespace brindle::reader {

bool is_valid_utf8(std::string_view bytes) noexcept;

}  // namespace brindle::reader
