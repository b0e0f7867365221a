// The reading pipeline once the document is in memory: builder choice, structural index,
// walk. Touches no Python object, so it runs without the interpreter lock.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Which of two faults a read reports when its index and its walk each find one.
//
// A whole document is indexed to its end, a window at a time, even once the walk has its
// element: the index's fault, anywhere, outranks the walk's, as if the index were built whole
// before the walk, so that a read reports the same fault whatever the size of its windows.
//
// A stream cannot look past its buffer, and yields every record before a fault: its walk first
// visits the tags before the index's fault, so the earlier of the two faults in stream order
// wins. (docs/streaming.md tells users where the two differ.)
enum class FaultOrder : std::uint8_t { IndexFirst, StreamOrder };

// The next window of `windows`, built into `window`. With StreamOrder a failed build leaves the
// tags before the faulty one in `window`, fit to walk; with IndexFirst the window is not walked
// after a failed build.
[[nodiscard]] index::BuildResult next_window(index::IndexWindows& windows, index::StructuralIndex& window,
                                             FaultOrder order) noexcept;

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
