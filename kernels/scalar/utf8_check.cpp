// UTF-8 validation and the ASCII prefix, as the reader accepts text (read_file checks the
// file's bytes): no overlong forms, no surrogates, nothing beyond U+10FFFF, no truncated
// sequences. Sixteen ASCII bytes are skipped at a time as two words.

#include "kernels/scalar/scalar_kernels.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brindle::kernels::scalar {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// Skips ASCII sixteen bytes at a time; returns the offset of the first byte that may not be.
std::size_t skip_ascii(const unsigned char* bytes, std::size_t at, std::size_t size) noexcept
{
    while (size - at >= 16) {
        std::uint64_t first;
        std::uint64_t second;
        std::memcpy(&first, bytes + at, 8);
        std::memcpy(&second, bytes + at + 8, 8);
        if (((first | second) & kHighBits) != 0) break;
        at += 16;
    }
    while (at < size && bytes[at] < 0x80) ++at;
    return at;
}

constexpr bool is_continuation(unsigned char byte) noexcept { return (byte & 0xC0) == 0x80; }

}  // namespace

// The allowed ranges of the second byte rule out overlong forms, surrogates and values past
// U+10FFFF.
std::size_t utf8_sequence_length(const unsigned char* bytes, std::size_t at, std::size_t size) noexcept
{
    const unsigned char lead = bytes[at];
    std::size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (size - at < length) return 0;
    if (bytes[at + 1] < low || bytes[at + 1] > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!is_continuation(bytes[at + i])) return 0;
    }
    return length;
}

std::size_t ascii_prefix(const unsigned char* bytes, std::size_t size) noexcept { return skip_ascii(bytes, 0, size); }

bool is_valid_utf8(const unsigned char* bytes, std::size_t size) noexcept
{
    std::size_t at = skip_ascii(bytes, 0, size);
    while (at < size) {
        const std::size_t length = utf8_sequence_length(bytes, at, size);
        if (length == 0) return false;
        at = skip_ascii(bytes, at + length, size);
    }
    return true;
}

}  // namespace brindle::kernels::scalar
