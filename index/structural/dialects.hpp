#pragma once
// How each builder answers malformed markup, for the builders and for streams, which scan with
// either. Internal to the index.

#include "index/structural/tag_scanner.hpp"

namespace brindle::index::detail {

// A scan that never looks back cannot know whether a '>' comes later: it fails at what runs to
// the end, skips a declaration to its first '>' and lets an unmatched quote hide one byte.
constexpr ScanDialect kDirectDialect{.last_less_than_is_unclosed = true,
                                     .unterminated_fails = true,
                                     .needs_greater_after_every_tag = false,
                                     .declarations_skipped = true,
                                     .unmatched_quote_is_unclosed = false};

// A scan that sees the whole document answers as such a builder would: see
// build_quote_dense.cpp.
constexpr ScanDialect kQuoteDenseDialect{.last_less_than_is_unclosed = false,
                                         .unterminated_fails = false,
                                         .needs_greater_after_every_tag = true,
                                         .declarations_skipped = false,
                                         .unmatched_quote_is_unclosed = true};

}  // namespace brindle::index::detail
