// The writer's escaping of text and attribute values, into a string sink: decoding the
// output with a small decoder of our own gives the input back; the output holds no raw byte
// that the mode replaces (& < > " ' CR, and in attribute values also tab and line feed); a
// string holding a character XML forbids is refused at its first such character, having
// written nothing but the escaped text before it.
//
// Escaping reports a refusal through refuse_string, which the module defines to raise
// ValueError; this harness defines it to throw a value of its own, so it links no Python.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "common/expect.hpp"
#include "common/utf8.hpp"
#include "write/escape.hpp"

namespace brindle {

using namespace write;

namespace fuzz {
struct Refusal {
    StringFault fault;
    StringPlace place;
    std::string_view string;
};
}  // namespace fuzz

void write::refuse_string(StringFault fault, StringPlace place, std::string_view string)
{
    throw fuzz::Refusal{fault, place, string};
}

namespace fuzz {
namespace {

struct StringSink {
    std::string out;
    void append(const char* bytes, std::size_t count) { out.append(bytes, count); }
    void append(std::string_view bytes) { out.append(bytes); }
};

// A node's strings are valid UTF-8 without surrogates: the input with every byte that does not
// begin such a character replaced by U+FFFD.
std::string as_node_string(std::string_view bytes)
{
    std::string out;
    for (std::size_t at = 0; at < bytes.size();) {
        const Decoded decoded = decode_utf8(bytes, at);
        if (decoded.length == 0) {
            append_utf8(out, 0xFFFD);
            ++at;
        } else {
            out.append(bytes.substr(at, decoded.length));
            at += decoded.length;
        }
    }
    return out;
}

bool is_allowed(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           c >= 0x10000;
}

// The first character XML forbids: its offset and value, or the string's size.
Decoded first_forbidden(std::string_view text, std::size_t& offset)
{
    for (offset = 0; offset < text.size();) {
        const Decoded decoded = decode_utf8(text, offset);
        if (!is_allowed(decoded.value)) return decoded;
        offset += decoded.length;
    }
    return {0, 0};
}

// The five named references and decimal or hexadecimal character references; anything else
// after '&' fails the run.
std::string decode_references(std::string_view escaped)
{
    std::string out;
    for (std::size_t at = 0; at < escaped.size();) {
        if (escaped[at] != '&') {
            out += escaped[at++];
            continue;
        }
        const std::size_t semicolon = escaped.find(';', at);
        EXPECT(semicolon != std::string_view::npos, "every '&' in the output begins a reference");
        const std::string_view name = escaped.substr(at + 1, semicolon - at - 1);
        at = semicolon + 1;
        if (name == "amp") out += '&';
        else if (name == "lt") out += '<';
        else if (name == "gt") out += '>';
        else if (name == "quot") out += '"';
        else if (name == "apos") out += '\'';
        else {
            EXPECT(name.size() >= 2 && name[0] == '#', "a reference the writer uses is named or numeric");
            const bool hex = name[1] == 'x';
            const std::string digits(name.substr(hex ? 2 : 1));
            EXPECT(!digits.empty() && digits.size() <= 6 &&
                       digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") == std::string::npos,
                   "a character reference holds digits only");
            append_utf8(out, static_cast<char32_t>(std::stoul(digits, nullptr, hex ? 16 : 10)));
        }
    }
    return out;
}

template <EscapeMode mode>
void expect_escaped(std::string_view value)
{
    StringSink sink;
    std::size_t forbidden_at = 0;
    const Decoded forbidden = first_forbidden(value, forbidden_at);
    constexpr StringPlace place = mode == EscapeMode::CharacterData ? StringPlace::Text : StringPlace::AttributeValue;
    try {
        write_escaped<mode>(sink, value);
        EXPECT(forbidden.length == 0, "a string with a forbidden character is refused");
    } catch (const Refusal& refusal) {
        EXPECT(forbidden.length != 0, "only a string with a forbidden character is refused");
        EXPECT(refusal.fault.kind == StringFault::Kind::ForbiddenChar && refusal.fault.code_point == forbidden.value,
               "the refusal names the first forbidden character");
        EXPECT(refusal.place == place, "the refusal names where the string goes");
        EXPECT(refusal.string.data() == value.data() && refusal.string.size() == value.size(),
               "the refusal quotes the whole string");
        const std::string written = decode_references(sink.out);
        EXPECT(value.substr(0, forbidden_at).starts_with(written),
               "only text before the refused character was written");
        return;
    }
    // A raw '&' would begin a reference: the decoder below requires one at every '&', and the
    // decoded output must equal the input.
    constexpr std::string_view always = "<>\"'\r";
    constexpr std::string_view in_attributes = "\t\n";
    for (const char byte : sink.out) {
        EXPECT(always.find(byte) == std::string_view::npos, "no raw < > \" ' or CR in escaped output");
        EXPECT(mode == EscapeMode::CharacterData || in_attributes.find(byte) == std::string_view::npos,
               "no raw tab or line feed in an escaped attribute value");
    }
    EXPECT(decode_references(sink.out) == value, "the escaped string decodes to the input");
}

}  // namespace
}  // namespace fuzz
}  // namespace brindle

// The first byte chooses the mode; the rest, made valid UTF-8, is the string.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brindle;
    if (size == 0) return 0;
    const std::string value = fuzz::as_node_string({reinterpret_cast<const char*>(data) + 1, size - 1});
    // An exact-size copy, so a read past the string's end is a sanitizer report.
    const std::unique_ptr<char[]> exact(new char[value.size()]);
    std::memcpy(exact.get(), value.data(), value.size());
    const std::string_view view(exact.get(), value.size());
    if (data[0] & 1) {
        fuzz::expect_escaped<EscapeMode::AttributeValue>(view);
    } else {
        fuzz::expect_escaped<EscapeMode::CharacterData>(view);
    }
    return 0;
}
