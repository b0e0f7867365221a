#include "reader/text/unicode_space.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels/scalar/byte_match_in_word.hpp"

namespace brindle::reader {

namespace {

// U+0009..U+000D and U+0020: the ASCII characters with the White_Space property (the vertical
// tab among them, unlike tag white space).
constexpr bool is_ascii_white_space(unsigned char byte) noexcept
{
    return byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
}

// Whether all eight lanes of `word` are ASCII white space, exactly: with no byte from 0x80 up,
// adding to a lane never carries into the next.
bool word_is_ascii_white_space(std::uint64_t word) noexcept
{
    using namespace kernels::swar;
    if ((word & kHighBits) != 0) return false;
    const std::uint64_t from_tab = word + repeat_byte(0x80 - 0x09);     // high bit: lane >= 0x09
    const std::uint64_t past_return = word + repeat_byte(0x80 - 0x0E);  // high bit: lane >= 0x0E
    const std::uint64_t not_space = word ^ repeat_byte(' ');
    const std::uint64_t nonzero = ((not_space & ~kHighBits) + ~kHighBits) | not_space;  // high bit: lane != ' '
    return (((from_tab & ~past_return) | ~nonzero) & kHighBits) == kHighBits;
}

// Whether a run of four to sixteen bytes is all ASCII white space: two words (of four or eight
// bytes) that overlap where the run is shorter than twice their size.
bool short_run_is_ascii_white_space(const char* bytes, std::size_t size) noexcept
{
    std::uint64_t first, last;
    if (size >= 8) {
        std::memcpy(&first, bytes, 8);
        std::memcpy(&last, bytes + size - 8, 8);
        return word_is_ascii_white_space(first) && word_is_ascii_white_space(last);
    }
    std::uint32_t low, high;
    std::memcpy(&low, bytes, 4);
    std::memcpy(&high, bytes + size - 4, 4);
    return word_is_ascii_white_space(low | std::uint64_t{high} << 32);
}

// The multi-byte white-space characters: U+0085 and U+00A0 (two bytes); U+1680, U+2000..U+200A,
// U+2028, U+2029, U+202F, U+205F and U+3000 (three bytes).
bool is_two_byte_space(unsigned char lead, unsigned char tail) noexcept
{
    return lead == 0xC2 && (tail == 0x85 || tail == 0xA0);
}

bool is_three_byte_space(unsigned char b0, unsigned char b1, unsigned char b2) noexcept
{
    switch (b0) {
    case 0xE1: return b1 == 0x9A && b2 == 0x80;
    case 0xE2:
        if (b1 == 0x80) return b2 <= 0x8A || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF;
        return b1 == 0x81 && b2 == 0x9F;
    case 0xE3: return b1 == 0x80 && b2 == 0x80;
    default: return false;
    }
}

// Length of the white-space character that starts at text[at], or 0.
std::size_t space_starting_at(std::string_view text, std::size_t at) noexcept
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t left = text.size() - at;
    if (is_ascii_white_space(bytes[at])) return 1;
    if (left >= 2 && is_two_byte_space(bytes[at], bytes[at + 1])) return 2;
    if (left >= 3 && is_three_byte_space(bytes[at], bytes[at + 1], bytes[at + 2])) return 3;
    return 0;
}

// Length of the white-space character that ends just before text[end], or 0. In valid UTF-8
// a lead byte is never a continuation byte, so matching the last two or three bytes is enough.
std::size_t space_ending_at(std::string_view text, std::size_t end) noexcept
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    if (is_ascii_white_space(bytes[end - 1])) return 1;
    if (end >= 2 && is_two_byte_space(bytes[end - 2], bytes[end - 1])) return 2;
    if (end >= 3 && is_three_byte_space(bytes[end - 3], bytes[end - 2], bytes[end - 1])) return 3;
    return 0;
}

}  // namespace

std::string_view trim_unicode_space_ends(std::string_view text) noexcept
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end) {
        const std::size_t length = space_starting_at(text, begin);
        if (length == 0) break;
        begin += length;
    }
    while (end > begin) {
        const std::size_t length = space_ending_at(text, end);
        if (length == 0) break;
        end -= length;
    }
    return text.substr(begin, end - begin);
}

bool is_unicode_space_run(std::string_view text) noexcept
{
    // Mostly line breaks and indentation: a short one in a word or two, else a byte at a time.
    if (text.size() >= 4 && text.size() <= 16 && short_run_is_ascii_white_space(text.data(), text.size())) {
        return true;
    }
    std::size_t at = 0;
    while (at < text.size() && is_ascii_white_space(static_cast<unsigned char>(text[at]))) ++at;
    while (at < text.size()) {
        const std::size_t length = space_starting_at(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

}  // namespace brindle::reader
