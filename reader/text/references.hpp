// Decoding of character data and attribute values: the five predefined entities, decimal and
// hexadecimal character references, and (in attribute values) tabs and line breaks as spaces.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "kernels/scalar/byte_match_in_word.hpp"
#include "reader/read_error.hpp"
#include "reader/text/text_buffer.hpp"

namespace brindle::reader {

enum class TextMode : std::uint8_t {
    CharacterData,   // everything but references passes through
    AttributeValue,  // tab, line feed, carriage return (and CR LF) become one space each
};

// The first '&' in raw[from, size), or the size. Most runs of character data between inline
// elements are a word or two: under sixteen bytes, one or two words looked at in place (a byte
// loop costs four or five instructions a byte); from sixteen on the C library's search, which
// costs less than a loop of words.
[[gnu::always_inline]] inline std::size_t next_ampersand(std::string_view raw, std::size_t from) noexcept
{
    using namespace kernels::swar;
    constexpr std::uint64_t kAmpersands = repeat_byte('&');
    const std::size_t size = raw.size();
    const std::size_t left = size - from;
    const auto* bytes = reinterpret_cast<const unsigned char*>(raw.data());
    if (left >= 16) {
        const void* hit = std::memchr(bytes + from, '&', left);
        return hit == nullptr ? size : static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - bytes);
    }
    // The first and the last word (eight bytes, or four when fewer than eight are left), which
    // overlap: the lowest lane match_bits marks is always an '&', and no lane of the last word
    // that lies in the first is marked when the first holds none.
    if (left >= 8) {
        if (const std::uint64_t hits = match_bits(load_word(bytes + from), kAmpersands); hits != 0) {
            return from + static_cast<std::size_t>(std::countr_zero(hits)) / 8;
        }
        const std::uint64_t hits = match_bits(load_word(bytes + size - 8), kAmpersands);
        return hits == 0 ? size : size - 8 + static_cast<std::size_t>(std::countr_zero(hits)) / 8;
    }
    if (left >= 4) {
        std::uint32_t first;
        std::uint32_t last;
        std::memcpy(&first, bytes + from, 4);
        std::memcpy(&last, bytes + size - 4, 4);
        // Lanes 0 to 3 hold raw[from, from + 4), lanes 4 to 7 raw[size - 4, size).
        const std::uint64_t hits = match_bits(first | std::uint64_t{last} << 32, kAmpersands);
        if (hits == 0) return size;
        const std::size_t lane = static_cast<std::size_t>(std::countr_zero(hits)) / 8;
        return lane < 4 ? from + lane : size - 8 + lane;
    }
    for (std::size_t at = from; at < size; ++at) {
        if (bytes[at] == '&') return at;
    }
    return size;
}

// first_to_decode of an attribute value.
std::size_t first_in_attribute_value(std::string_view raw) noexcept;

// Offset in `raw` of the first byte that decoding must replace, or raw.size() when the raw
// bytes are already the decoded text. Inline: every run of character data is looked at.
[[gnu::always_inline]] inline std::size_t first_to_decode(std::string_view raw, TextMode mode) noexcept
{
    return mode == TextMode::CharacterData ? next_ampersand(raw, 0) : first_in_attribute_value(raw);
}

// Appends the decoded form of `raw` to `out` (a std::string or an element's TextBuffer), starting
// the replacements at `first` (from first_to_decode; everything before it is copied as it is).
// `base` is the document offset of raw[0], for the offsets of errors. At the first bad reference
// fills `error` and returns false (`out` then holds part of the text). Allocation failure throws
// std::bad_alloc.
template <class Text>
[[nodiscard]] bool append_decoded(Text& out, std::string_view raw, std::uint64_t base, TextMode mode, std::size_t first,
                                  ReadError& error);

extern template bool append_decoded(std::string&, std::string_view, std::uint64_t, TextMode, std::size_t, ReadError&);
extern template bool append_decoded(TextBuffer&, std::string_view, std::uint64_t, TextMode, std::size_t, ReadError&);

}  // namespace brindle::reader
