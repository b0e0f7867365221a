#include "reader/stream/utf8_boundary.hpp"

#include <cstdint>

namespace brindle::reader {

namespace {

// How many bytes the character whose first byte is `lead` takes; 1 for a byte that starts no
// character (the check rejects it wherever it stands).
std::size_t sequence_length(unsigned char lead) noexcept
{
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

bool is_continuation(unsigned char byte) noexcept { return (byte & 0xC0) == 0x80; }

// The bounds of the second byte after `lead` in well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF); the later bytes are any continuation byte.
bool second_byte_fits(unsigned char lead, unsigned char second) noexcept
{
    switch (lead) {
    case 0xE0: return second >= 0xA0 && second <= 0xBF;
    case 0xED: return second >= 0x80 && second <= 0x9F;
    case 0xF0: return second >= 0x90 && second <= 0xBF;
    case 0xF4: return second >= 0x80 && second <= 0x8F;
    default: return is_continuation(second);
    }
}

}  // namespace

std::size_t whole_characters(std::string_view bytes) noexcept
{
    const std::size_t size = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(bytes[size - back]);
        if (is_continuation(byte)) continue;
        return sequence_length(byte) > back ? size - back : size;
    }
    return size;
}

std::size_t valid_utf8_prefix(std::string_view bytes) noexcept
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    std::size_t at = 0;
    while (at < size) {
        const unsigned char lead = data[at];
        if (lead < 0x80) {
            ++at;
            continue;
        }
        if (lead < 0xC2 || lead > 0xF4) return at;
        const std::size_t length = sequence_length(lead);
        if (size - at < length || !second_byte_fits(lead, data[at + 1])) return at;
        for (std::size_t i = 2; i < length; ++i) {
            if (!is_continuation(data[at + i])) return at;
        }
        at += length;
    }
    return at;
}

}  // namespace brindle::reader
