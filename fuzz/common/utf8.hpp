// UTF-8 as the harnesses check it, written apart from the code under test: decoding one
// character (only shortest forms of scalar values count), encoding one, and the characters
// with the Unicode White_Space property.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brindle::fuzz {

// A character decoded at some offset: its value and its length in bytes, 0 when the bytes
// there are not the shortest UTF-8 of a scalar value.
struct Decoded {
    char32_t value;
    std::size_t length;
};

inline Decoded decode_utf8(std::string_view bytes, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {lead, 1};
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || bytes.size() - at < length) return {0, 0};
    char32_t value = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {0, 0};
        value = value << 6 | (byte(i) & 0x3F);
    }
    constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kShortest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return {0, 0};
    return {value, length};
}

inline bool is_valid_utf8(std::string_view bytes)
{
    for (std::size_t at = 0; at < bytes.size();) {
        const Decoded decoded = decode_utf8(bytes, at);
        if (decoded.length == 0) return false;
        at += decoded.length;
    }
    return true;
}

inline void append_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

inline bool is_white_space(char32_t c)
{
    switch (c) {
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000: return true;
    default: return c >= 0x2000 && c <= 0x200A;
    }
}

// `text` without the white space at either end (a byte that begins no character counts as
// one character that is not white space).
inline std::string_view trim_white_space(std::string_view text)
{
    std::size_t begin = text.size();  // the first character that is not white space
    std::size_t end = 0;              // just past the last one
    for (std::size_t at = 0; at < text.size();) {
        const Decoded decoded = decode_utf8(text, at);
        const std::size_t length = decoded.length == 0 ? 1 : decoded.length;
        if (decoded.length == 0 || !is_white_space(decoded.value)) {
            begin = begin < at ? begin : at;
            end = at + length;
        }
        at += length;
    }
    return begin < end ? text.substr(begin, end - begin) : std::string_view();
}

}  // namespace brindle::fuzz
