#pragma once
// Which builder suits a document, judged from its first 4096 bytes.

#include <string_view>

namespace brindle::index {

// True when the first min(length, 4096) bytes hold more than five double quotes ('"') per
// '<' (quotes / max(count of '<', 1), in double precision, > 5.0): such documents go to
// build_quote_dense, all others (the empty one included) to build_direct.
// Apostrophes are not counted.
bool prefers_quote_dense(std::string_view document) noexcept;

}  // namespace brindle::index
