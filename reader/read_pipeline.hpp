// The reading pipeline once the document is in memory: builder choice, structural index,
// walk. Touches no Python object, so it runs without the interpreter lock.
#pragma once

#include <cstddef>
#include <string_view>

#include "index/structural/structural_index.hpp"
#include "reader/read_error.hpp"
#include "reader/tree/read_tree.hpp"
#include "reader/tree/tree_sink.hpp"

namespace brindle::reader {

// Tags per window of the direct index: about 640 KiB of tag entries and up to 400 KiB of
// text runs, so a window is still in the cache when the walk reads it, and the index of a
// large document never takes more memory than this. (The quote-dense index is built whole.)
inline constexpr std::size_t kTagsPerWindow = 16384;

// Whether a build of the index succeeded; if not, fills `error` with its read error (an
// unexpected end at the end of `document`).
[[nodiscard]] bool check_build(const index::BuildResult& result, std::string_view document, ReadError& error) noexcept;

// Hands the first element named `root_tag` in `document` (valid UTF-8) to `sink`, element by
// element as the walk reads it. On failure fills `error` and returns false; the sink may then
// hold part of the element (or all of it, when a fault lies beyond it), to be dropped. Throws
// nothing: an allocation that fails, here, in the index or in the sink, is the OutOfMemory
// error.
[[nodiscard]] bool parse_document(std::string_view document, std::string_view root_tag, TreeSink& sink,
                                  ReadError& error) noexcept;

// The same into a detached tree (which must be empty) whose ranges point into `document`; on
// failure the tree is left empty.
[[nodiscard]] bool parse_document(std::string_view document, std::string_view root_tag, ReadTree& tree,
                                  ReadError& error) noexcept;

}  // namespace brindle::reader
