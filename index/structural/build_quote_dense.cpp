// The quote-dense builder: the shared tag scan, answering malformed markup as a builder that
// sees the whole document would: a tag with no '>' anywhere after it is unclosed, a quote
// that never closes in a start tag leaves the tag unclosed, and an unterminated comment,
// CDATA section or instruction is recorded for the walk to reject with its own message.

#include <string_view>

#include "index/structural/dialects.hpp"
#include "index/structural/structural_index.hpp"
#include "index/structural/tag_scanner.hpp"

namespace brindle::index {
BuildResult build_quote_dense(std::string_view document, StructuralIndex& out) noexcept
{
    return detail::build_whole<detail::kQuoteDenseDialect>(document, out);
}

}  // namespace brindle::index
