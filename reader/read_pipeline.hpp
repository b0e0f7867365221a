// The reading pipeline once the document is in memory: builder choice, structural index,
// walk. Touches no Python object, so it runs without the interpreter lock.
#pragma once

#include <cstddef>
#include <string_view>

#include "reader/read_error.hpp"
#include "reader/tree/read_tree.hpp"

namespace brindle::reader {

// Tags per window of the direct index: about 640 KiB of tag entries and up to 400 KiB of
// text runs, so a window is still in the cache when the walk reads it, and the index of a
// large document never takes more memory than this. (The quote-dense index is built whole.)
inline constexpr std::size_t kTagsPerWindow = 16384;

// Collects the first element named `root_tag` in `document` (valid UTF-8) into `tree` (which
// must be empty), as a detached tree whose ranges point into `document`. On failure fills
// `error` and returns false; `tree` then holds nothing to convert. Throws nothing: an
// allocation that fails, here or in the index, is the OutOfMemory error.
[[nodiscard]] bool parse_document(std::string_view document, std::string_view root_tag, ReadTree& tree,
                                  ReadError& error) noexcept;

}  // namespace brindle::reader
