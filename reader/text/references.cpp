#include "reader/text/references.hpp"

#include <cstdint>
#include <cstring>
#include <optional>

namespace brindle::reader {

namespace {

constexpr bool is_attribute_break(unsigned char byte) noexcept { return byte == '\t' || byte == '\n' || byte == '\r'; }

std::size_t first_in_attribute(std::string_view raw, std::size_t from) noexcept
{
    for (std::size_t at = from; at < raw.size(); ++at) {
        const auto byte = static_cast<unsigned char>(raw[at]);
        if (byte == '&' || is_attribute_break(byte)) return at;
    }
    return raw.size();
}

std::size_t next_to_decode(std::string_view raw, std::size_t from, TextMode mode) noexcept
{
    if (mode == TextMode::AttributeValue) return first_in_attribute(raw, from);
    if (from >= raw.size()) return raw.size();
    return next_ampersand(raw, from);
}

int digit_value(char c, unsigned radix) noexcept
{
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (radix == 16 && c >= 'a' && c <= 'f') value = c - 'a' + 10;
    else if (radix == 16 && c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value;
}

// An unsigned 32-bit number: an optional single '+', then at least one digit.
std::optional<std::uint32_t> parse_u32(std::string_view digits, unsigned radix) noexcept
{
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        const int digit = digit_value(c, radix);
        if (digit < 0) return std::nullopt;
        value = value * radix + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

template <class Text>
void append_utf8(Text& out, std::uint32_t code)
{
    char bytes[4];
    std::size_t length;
    if (code < 0x80) {
        bytes[0] = static_cast<char>(code);
        length = 1;
    } else if (code < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | (code >> 6));
        bytes[1] = static_cast<char>(0x80 | (code & 0x3F));
        length = 2;
    } else if (code < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | (code >> 12));
        bytes[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (code & 0x3F));
        length = 3;
    } else {
        bytes[0] = static_cast<char>(0xF0 | (code >> 18));
        bytes[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        bytes[3] = static_cast<char>(0x80 | (code & 0x3F));
        length = 4;
    }
    out.append(bytes, length);
}

// "#65", "#+65", "#x41": the character, when the number is a Unicode scalar value.
std::optional<std::uint32_t> character_reference(std::string_view name) noexcept
{
    const bool hex = name.size() >= 2 && name[1] == 'x';
    const auto code = parse_u32(name.substr(hex ? 2 : 1), hex ? 16 : 10);
    if (!code || *code > 0x10FFFF || (*code >= 0xD800 && *code <= 0xDFFF)) return std::nullopt;
    return code;
}

// The character a predefined entity stands for, or 0 for any other name: told apart by length
// and bytes in place (a comparison with each name would be a call each).
char predefined_entity(std::string_view name) noexcept
{
    switch (name.size()) {
    case 2:
        if (name[1] != 't') return 0;
        return name[0] == 'l' ? '<' : name[0] == 'g' ? '>' : 0;
    case 3: return name[0] == 'a' && name[1] == 'm' && name[2] == 'p' ? '&' : 0;
    case 4:
        if (name[0] == 'q' && name[1] == 'u' && name[2] == 'o' && name[3] == 't') return '"';
        if (name[0] == 'a' && name[1] == 'p' && name[2] == 'o' && name[3] == 's') return '\'';
        return 0;
    default: return 0;
    }
}

// The offset of the first ';' in raw[from, size), or `size`: references are short, so the first
// bytes are looked at in place before the C library's search takes the rest.
std::size_t next_semicolon(std::string_view raw, std::size_t from) noexcept
{
    constexpr std::size_t kInPlace = 16;
    const std::size_t near_end = raw.size() - from > kInPlace ? from + kInPlace : raw.size();
    for (std::size_t at = from; at < near_end; ++at) {
        if (raw[at] == ';') return at;
    }
    if (near_end == raw.size()) return raw.size();
    const void* found = std::memchr(raw.data() + near_end, ';', raw.size() - near_end);
    return found == nullptr ? raw.size() : static_cast<std::size_t>(static_cast<const char*>(found) - raw.data());
}

// Decodes the reference whose '&' is raw[amp] and sets `next` to the offset just past its ';'.
template <class Text>
bool append_reference(Text& out, std::string_view raw, std::size_t amp, std::uint64_t base, std::size_t& next,
                      ReadError& error)
{
    const std::size_t semicolon = next_semicolon(raw, amp + 1);
    if (semicolon == raw.size()) return fail_malformed(error, base + amp, MalformedMessage::UnterminatedEntity);
    const std::string_view name(raw.data() + amp + 1, semicolon - amp - 1);
    if (const char entity = predefined_entity(name)) {
        out.push_back(entity);
    } else if (!name.empty() && name.front() == '#') {
        const auto code = character_reference(name);
        if (!code) return fail_malformed(error, base + amp, MalformedMessage::InvalidCharReference, name);
        append_utf8(out, *code);
    } else {
        return fail_read(error, ReadErrorKind::UnknownEntity, base + amp, name);
    }
    next = semicolon + 1;
    return true;
}

}  // namespace

std::size_t first_in_attribute_value(std::string_view raw) noexcept { return first_in_attribute(raw, 0); }

template <class Text>
bool append_decoded(Text& out, std::string_view raw, std::uint64_t base, TextMode mode, std::size_t first,
                    ReadError& error)
{
    // Enough for the whole value: no replacement is longer than its reference.
    out.reserve(out.size() + raw.size());
    std::size_t copied = 0;
    for (std::size_t at = first; at < raw.size(); at = next_to_decode(raw, copied, mode)) {
        out.append(raw.data() + copied, at - copied);
        const char byte = raw[at];
        if (byte == '&') {
            if (!append_reference(out, raw, at, base, copied, error)) return false;
            continue;
        }
        out.push_back(' ');  // a tab or line break in an attribute value
        copied = at + 1;
        if (byte == '\r' && copied < raw.size() && raw[copied] == '\n') ++copied;
    }
    out.append(raw.data() + copied, raw.size() - copied);
    return true;
}

template bool append_decoded(std::string&, std::string_view, std::uint64_t, TextMode, std::size_t, ReadError&);
template bool append_decoded(TextBuffer&, std::string_view, std::uint64_t, TextMode, std::size_t, ReadError&);

}  // namespace brindle::reader
