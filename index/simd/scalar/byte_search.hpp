#pragma once
// Search for one byte value in a document, eight bytes at a time.
//
// This is the scalar reference: any faster kernel must return exactly what it returns.

#include <cstddef>
#include <string_view>

namespace brindle::index {

// Offset of the first byte equal to `value` at or after `from`, or `document.size()` when
// there is none (also when `from` is at or beyond the end). Reads only bytes of the
// document, never allocates.
std::size_t find_byte(std::string_view document, std::size_t from, unsigned char value) noexcept;

}  // namespace brindle::index
