// Decoding of character data and attribute values: the five predefined entities, decimal and
// hexadecimal character references, and (in attribute values) tabs and line breaks as spaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "reader/read_error.hpp"

namespace brindle::reader {

enum class TextMode : std::uint8_t {
    CharacterData,   // everything but references passes through
    AttributeValue,  // tab, line feed, carriage return (and CR LF) become one space each
};

// Offset in `raw` of the first byte that decoding must replace, or raw.size() when the raw
// bytes are already the decoded text.
std::size_t first_to_decode(std::string_view raw, TextMode mode) noexcept;

// Appends the decoded form of `raw` to `out`, starting the replacements at `first`
// (from first_to_decode; everything before it is copied as it is). `base` is the document
// offset of raw[0], for the offsets of errors. At the first bad reference fills `error` and
// returns false (`out` then holds part of the text). Allocation failure throws std::bad_alloc.
[[nodiscard]] bool append_decoded(std::string& out, std::string_view raw, std::uint64_t base, TextMode mode,
                                  std::size_t first, ReadError& error);

}  // namespace brindle::reader
