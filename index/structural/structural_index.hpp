#pragma once
// The structural index of a document: every tag's position, kind and name, and the runs of
// character data between tags, as offsets into the borrowed document. It holds just what the
// reader's walk reads: nesting is the walk's to check, so the index keeps no depths or parents.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "index/structural/index_array.hpp"

namespace brindle::index {

enum class TagKind : std::uint8_t {
    Open = 0,         // start tag
    Close = 1,        // end tag
    SelfClosing = 2,  // empty-element tag ending in "/>"
    Comment = 3,
    CData = 4,                  // CDATA section
    ProcessingInstruction = 5,  // the XML declaration among them
};

// A name as a byte range of the document, with its full length (never truncated).
// (0, 0) for comments and CDATA sections.
struct NameRange {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
};

// A run of character data [start, end). Only non-empty runs are recorded.
struct TextRange {
    std::uint64_t start;
    std::uint64_t end;
};

// Per-tag arrays are parallel: entry k of each describes the k-th tag in document order.
// Declarations such as <!DOCTYPE ...> get no entry.
struct StructuralIndex {
    std::string_view document;             // borrowed, never copied
    IndexArray<std::uint64_t> tag_starts;  // offset of the tag's '<'
    IndexArray<std::uint64_t> tag_ends;    // offset of the byte that ends the tag (see builders)
    IndexArray<TagKind> tag_kinds;
    IndexArray<NameRange> tag_names;
    IndexArray<TextRange> text_ranges;  // character data in document order; a run is
                                        // recorded when the '<' after it is met, so text
                                        // after the last tag never is

    std::size_t tag_count() const noexcept { return tag_starts.size(); }
};

enum class BuildStatus : std::uint8_t {
    Ok,
    UnclosedTag,    // offset = the tag's '<'
    UnexpectedEnd,  // direct builder only: a comment, CDATA section or processing-instruction
                    // name runs to the end; offset = document length
    OutOfMemory,    // an array could not grow; offset = the '<' being recorded
    NeedMore,       // IndexWindows with more_follows only: the buffer ends inside markup; offset = where the
                    // character data before that markup starts
};

struct BuildResult {
    BuildStatus status;
    std::uint64_t offset;
};

// Both builders replace the whole contents of `out` (an index built before keeps the memory
// its arrays hold). When the document is at least 128 bytes long every per-tag array starts
// with room for length / 128 entries, and when it is longer than 255 bytes text_ranges
// starts with room for length / 256; shorter documents start with empty arrays. The arrays
// then grow by the density of entries met so far. On failure `out` holds the entries
// recorded so far and must not be walked.
// Neither builder reads outside the document, recurses or throws.

// Scans the bytes a 64-byte block of masks at a time, crossing text with the kernels' byte
// search (kernels/kernels.hpp); quotes count only inside start tags and
// DOCTYPEs (a DOCTYPE ends at the '>' outside its literals and internal subset). A '<' inside a
// recorded tag never starts another.
BuildResult build_direct(std::string_view document, StructuralIndex& out) noexcept;

namespace detail {
class WindowScanner;
}  // namespace detail

// What a window build reads.
struct WindowInput {
    std::string_view bytes;
    bool quote_dense = false;  // the quote-dense builder's scan, else build_direct's
    // A buffer of a stream whose later bytes are still to come (see below); otherwise the
    // bytes are the whole document, or the rest of a stream.
    bool more_follows = false;
};

// A builder's scan run a window of tags at a time, for a reader that walks each window while
// its entries are still in the cache instead of holding the index of the whole document. Each
// call to next() replaces the contents of `out` with the next tags (`tags_per_window` of them,
// fewer only in the last window) and the runs of character data recorded with them. Taken
// together, the windows hold exactly the entries the builder records, and the build ends with
// the same result. After a failure or the last window, done() is true; a failure leaves `out`
// as the builder leaves it, unfit to walk.
//
// When more of the stream follows the bytes (`more_follows`), no verdict rests on their end:
// the scan stops with NeedMore before the first tag whose end, or whose kind, the bytes do not
// settle, and the caller scans again from the result's offset once more bytes have come. Every
// tag recorded is then the tag that the builder records over the whole stream, at the same place
// relative to the buffer's start (which must lie where a run of character data or a tag starts).
class IndexWindows {
public:
    IndexWindows(const WindowInput& input, StructuralIndex& out, std::size_t tags_per_window) noexcept;
    ~IndexWindows();
    IndexWindows(const IndexWindows&) = delete;
    IndexWindows& operator=(const IndexWindows&) = delete;

    BuildResult next() noexcept;
    bool done() const noexcept { return done_; }

private:
    std::unique_ptr<detail::WindowScanner> scanner_;
    std::size_t tags_per_window_;
    bool done_ = false;
};

// The same scan as build_direct, answering malformed markup as a builder that sees the whole
// document would: any tag with no '>' after it is unclosed (a '<' as the last byte only ends
// the index), and so is a start tag whose quote never closes. An unterminated comment, CDATA
// section or processing instruction does not fail: it is recorded with an end that the walk's
// termination checks reject. A declaration other than a DOCTYPE records nothing, and the
// character data after it starts at its '<', so the run that follows holds that '<'.
// Well-formed documents get the same index from both builders.
BuildResult build_quote_dense(std::string_view document, StructuralIndex& out) noexcept;

}  // namespace brindle::index
