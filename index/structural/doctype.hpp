#pragma once
// Where a document type declaration ends. Internal to the index.

#include <cstddef>
#include <string_view>

namespace brindle::index::detail {

// Offset of the '>' that ends the "<!DOCTYPE" at `start`: the first '>' outside quoted
// literals and outside the internal subset ('[' ... ']'). Inside the subset, literals,
// comments and processing instructions are passed over whole, so a '>' or ']' in them ends
// nothing. The document size when a literal, comment, instruction or the subset never
// closes, or no '>' follows. Reads each byte at most once.
std::size_t doctype_end(std::string_view document, std::size_t start) noexcept;

}  // namespace brindle::index::detail
