// The quote-dense builder: the shared tag scan, answering malformed markup as a builder that
// sees the whole document would: a tag with no '>' anywhere after it is unclosed, a quote
// that never closes in a start tag leaves the tag unclosed, and an unterminated comment,
// CDATA section or instruction is recorded for the walk to reject with its own message.

#include <new>
#include <string_view>

#include "index/structural/structural_index.hpp"
#include "index/structural/tag_scanner.hpp"

namespace brindle::index {
namespace {

struct QuoteDenseDialect {
    // A '<' as the last byte ends the index without an entry.
    static constexpr bool kLastLessThanIsUnclosed = false;
    // An unterminated comment, CDATA section or instruction is recorded, not a failure.
    static constexpr bool kUnterminatedFails = false;
    // Every tag needs a '>' somewhere after its '<', or it is unclosed.
    static constexpr bool kNeedsGreaterAfterEveryTag = true;
    // A declaration other than a DOCTYPE records nothing and leaves the text start alone.
    static constexpr bool kDeclarationsSkipped = false;
    static constexpr bool kUnmatchedQuoteIsUnclosed = true;
};

}  // namespace

BuildResult build_quote_dense(std::string_view document, StructuralIndex& out) noexcept {
    detail::TagScanner<QuoteDenseDialect> builder(document, out);
    try {
        return builder.run();
    } catch (const std::bad_alloc&) {
        return {BuildStatus::OutOfMemory, builder.tag_start()};
    }
}

}  // namespace brindle::index
