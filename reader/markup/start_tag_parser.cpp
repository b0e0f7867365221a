#include "reader/markup/start_tag_parser.hpp"

#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <utility>

#include "kernels/kernels.hpp"
#include "kernels/scalar/byte_match_in_word.hpp"
#include "reader/markup/tag_checks.hpp"
#include "reader/text/references.hpp"

namespace brindle::reader {

namespace {

enum ByteClass : std::uint8_t {
    kTagSpace = 1,     // tag white space (kernels::is_tag_space)
    kNameEnd = 2,      // tag white space, '=', '"' or '\'': ends an attribute name
    kLessThan = 4,     // '<', forbidden in values
    kNeedsDecode = 8,  // '&', tab, line feed, carriage return: values holding them are decoded
    kValueStop = 16,   // '<', '&' or a control character: a value's bytes that are looked at
};

constexpr std::array<std::uint8_t, 256> kClasses = [] {
    std::array<std::uint8_t, 256> classes{};
    for (std::size_t byte = 0; byte < classes.size(); ++byte) {
        if (kernels::is_tag_space(static_cast<unsigned char>(byte))) classes[byte] = kTagSpace | kNameEnd;
    }
    classes['='] = kNameEnd;
    classes['"'] = kNameEnd;
    classes['\''] = kNameEnd;
    classes['<'] = kLessThan;
    classes['&'] = kNeedsDecode;
    classes['\t'] |= kNeedsDecode;
    classes['\n'] |= kNeedsDecode;
    classes['\r'] |= kNeedsDecode;
    for (std::size_t byte = 0; byte < 0x20; ++byte) classes[byte] |= kValueStop;
    classes['<'] |= kValueStop;
    classes['&'] |= kValueStop;
    return classes;
}();

inline bool has_class(char byte, std::uint8_t mask) noexcept
{
    return (kClasses[static_cast<unsigned char>(byte)] & mask) != 0;
}

inline std::size_t skip_tag_space(std::string_view region, std::size_t t) noexcept
{
    while (t < region.size() && has_class(region[t], kTagSpace)) ++t;
    return t;
}

// Whether region[t] opens a quoted value.
inline bool at_quote(std::string_view region, std::size_t t) noexcept
{
    return t < region.size() && (region[t] == '"' || region[t] == '\'');
}

// region[start, end), which lies inside it.
inline std::string_view part(std::string_view region, std::size_t start, std::size_t end) noexcept
{
    return {region.data() + start, end - start};
}

// The lanes of the eight bytes at `bytes` that may end a run of plain value bytes: the
// quote, '<', '&' or a control character (which covers tab, line feed and carriage return).
// The lowest set lane is always a true one; lanes above it may be false alarms.
inline std::uint64_t value_stops(const char* bytes, std::uint64_t quote_pattern) noexcept
{
    using namespace kernels::swar;
    const std::uint64_t word = load_word(reinterpret_cast<const unsigned char*>(bytes));
    const std::uint64_t below_space = (word - repeat_byte(0x20)) & ~word & kHighBits;
    return below_space | match_bits(word, quote_pattern) | match_bits(word, repeat_byte('<')) |
           match_bits(word, repeat_byte('&'));
}

// From `at`, the first byte that is the quote, '<', '&' or a control character, or the
// region's end: eight bytes at a time while eight remain.
inline std::size_t next_value_stop(std::string_view region, std::size_t at, char quote) noexcept
{
    const std::uint64_t quote_pattern = kernels::swar::repeat_byte(static_cast<unsigned char>(quote));
    for (; region.size() - at >= 8; at += 8) {
        const std::uint64_t stops = value_stops(region.data() + at, quote_pattern);
        if (stops != 0) return at + static_cast<std::size_t>(std::countr_zero(stops)) / 8;
    }
    while (at < region.size() && !has_class(region[at], kValueStop) && region[at] != quote) ++at;
    return at;
}

}  // namespace

// Attribute after attribute until the region ends or a fault is met, each whole (scanned,
// decoded, checked against the names before it) before the next is looked at: the faults come
// out in document order.
bool StartTagParser::parse_attributes(std::string_view region, std::uint64_t region_offset, AttrMap& attributes,
                                      ReadError& error)
{
    std::size_t t = 0;
    while (true) {
        const std::size_t before_space = t;
        t = skip_tag_space(region, t);
        if (t == region.size()) return true;
        if (t == before_space) return fail_malformed(error, region_offset + t, MalformedMessage::ExpectedWhitespace);
        const std::size_t name_start = t;
        while (t < region.size() && !has_class(region[t], kNameEnd)) ++t;
        if (t == name_start) return fail_malformed(error, region_offset + t, MalformedMessage::ExpectedAttributeName);
        RawAttribute attribute;
        attribute.name = part(region, name_start, t);
        attribute.name_offset = region_offset + name_start;
        if (!scan_value(region, region_offset, t, attribute, error)) return false;
        if (!add_attribute(attributes, attribute, error)) return false;
    }
}

// From just after the attribute's name: white space, '=', white space, a quoted value.
// Leaves t just past the closing quote.
bool StartTagParser::scan_value(std::string_view region, std::uint64_t region_offset, std::size_t& t,
                                RawAttribute& attribute, ReadError& error) noexcept
{
    // The '=' and the quote mostly follow without space: looked for before any is skipped.
    if (t == region.size() || region[t] != '=') t = skip_tag_space(region, t);
    if (t == region.size() || region[t] != '=') {
        return fail_malformed(error, attribute.name_offset, MalformedMessage::AttributeWithoutValue, attribute.name);
    }
    ++t;
    if (!at_quote(region, t)) t = skip_tag_space(region, t);
    if (!at_quote(region, t)) {
        return fail_malformed(error, region_offset + t, MalformedMessage::UnquotedValue, attribute.name);
    }
    const char quote = region[t];
    const std::size_t value_start = t + 1;
    bool needs_decoding = false;
    std::size_t at = next_value_stop(region, value_start, quote);
    for (; at < region.size() && region[at] != quote; at = next_value_stop(region, at + 1, quote)) {
        const std::uint8_t classes = kClasses[static_cast<unsigned char>(region[at])];
        if (classes & kLessThan) {
            // A value with no closing quote is reported as such, whatever it holds.
            if (std::memchr(region.data() + at, quote, region.size() - at) == nullptr) break;
            return fail_malformed(error, region_offset + at, MalformedMessage::LessThanInValue);
        }
        needs_decoding |= (classes & kNeedsDecode) != 0;
    }
    if (at >= region.size() || region[at] != quote) {
        return fail_malformed(error, region_offset + value_start, MalformedMessage::UnterminatedValue);
    }
    const std::size_t value_end = at;
    attribute.value = part(region, value_start, value_end);
    attribute.value_offset = region_offset + value_start;
    attribute.needs_decoding = needs_decoding;
    t = value_end + 1;
    return true;
}

// Whether the name is one of the tag's earlier attributes': compared with their names while
// they are few, through the map's hash index past that, so that a tag with thousands of
// attributes costs no quadratic work.
bool StartTagParser::repeats_earlier_name(const AttrMap& attributes, std::string_view name) const noexcept
{
    if (names_.size() > kNamesComparedInPlace) return attributes.contains(name);
    for (const std::string_view earlier : names_) {
        // Names mostly differ in length or first byte: no call to compare the rest.
        if (earlier.size() == name.size() && earlier.front() == name.front() && earlier == name) return true;
    }
    return false;
}

bool StartTagParser::add_attribute(AttrMap& attributes, const RawAttribute& attribute, ReadError& error)
{
    std::string_view value = attribute.value;
    if (attribute.needs_decoding) {
        decoded_.clear();
        if (!append_decoded(decoded_, attribute.value, attribute.value_offset, TextMode::AttributeValue,
                            first_to_decode(attribute.value, TextMode::AttributeValue), error)) {
            return false;
        }
        value = decoded_;
    }
    if (repeats_earlier_name(attributes, attribute.name)) {
        return fail_malformed(error, attribute.name_offset, MalformedMessage::DuplicateAttribute, attribute.name);
    }
    attributes.add_absent(attribute.name, value);
    if (names_.size() <= kNamesComparedInPlace) names_.push_back(attribute.name);
    return true;
}

}  // namespace brindle::reader
