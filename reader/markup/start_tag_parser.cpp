#include "reader/markup/start_tag_parser.hpp"

#include <array>
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

// Whether none of the eight bytes at `bytes` is '<', '&' or a control character (which covers
// tab, line feed and carriage return): a value's bytes that need no look one by one. A word
// with such a byte, or a false alarm, is looked at byte by byte.
inline bool is_plain_word(const char* bytes) noexcept
{
    using namespace kernels::swar;
    const std::uint64_t word = load_word(reinterpret_cast<const unsigned char*>(bytes));
    const std::uint64_t below_space = (word - repeat_byte(0x20)) & ~word & kHighBits;
    return (below_space | match_bits(word, repeat_byte('<')) | match_bits(word, repeat_byte('&'))) == 0;
}

}  // namespace

bool StartTagParser::parse(const index::StructuralIndex& index, std::size_t k, AttrMap& attributes, ReadError& error)
{
    StartTagParts parts;
    if (!tag_name(index, k, parts, error)) return false;
    scanned_.clear();
    const bool well_formed = scan_attributes(parts.region, parts.region_offset, error);
    if (!scanned_.empty()) {
        std::size_t text_bytes = 0;  // decoding only shortens a value
        for (const RawAttribute& attribute : scanned_) text_bytes += attribute.name.size() + attribute.value.size();
        attributes.reserve(scanned_.size(), text_bytes);
        for (const RawAttribute& attribute : scanned_) {
            if (!add_attribute(attributes, attribute, error)) return false;
        }
    }
    return well_formed;
}

// Scans attribute after attribute until the region ends or a fault is met.
bool StartTagParser::scan_attributes(std::string_view region, std::uint64_t region_offset, ReadError& error)
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
        // Filled in place: an attribute built on the stack and copied in stalls on the copy.
        RawAttribute& attribute = scanned_.emplace_back();
        attribute.name = region.substr(name_start, t - name_start);
        attribute.name_offset = region_offset + name_start;
        if (!scan_value(region, region_offset, t, attribute, error)) {
            scanned_.pop_back();
            return false;
        }
    }
}

// From just after the attribute's name: white space, '=', white space, a quoted value.
// Leaves t just past the closing quote.
bool StartTagParser::scan_value(std::string_view region, std::uint64_t region_offset, std::size_t& t,
                                RawAttribute& attribute, ReadError& error) noexcept
{
    t = skip_tag_space(region, t);
    if (t == region.size() || region[t] != '=') {
        return fail_malformed(error, attribute.name_offset, MalformedMessage::AttributeWithoutValue, attribute.name);
    }
    t = skip_tag_space(region, t + 1);
    if (t == region.size() || (region[t] != '"' && region[t] != '\'')) {
        return fail_malformed(error, region_offset + t, MalformedMessage::UnquotedValue, attribute.name);
    }
    const std::size_t value_start = t + 1;
    const void* close = std::memchr(region.data() + value_start, region[t], region.size() - value_start);
    if (close == nullptr) {
        return fail_malformed(error, region_offset + value_start, MalformedMessage::UnterminatedValue);
    }
    const std::size_t value_end = static_cast<std::size_t>(static_cast<const char*>(close) - region.data());
    bool needs_decoding = false;
    for (std::size_t at = value_start; at < value_end; ++at) {
        if (value_end - at >= 8 && is_plain_word(region.data() + at)) {
            at += 7;
            continue;
        }
        const std::uint8_t classes = kClasses[static_cast<unsigned char>(region[at])];
        if (classes & kLessThan) return fail_malformed(error, region_offset + at, MalformedMessage::LessThanInValue);
        needs_decoding |= (classes & kNeedsDecode) != 0;
    }
    attribute.value = region.substr(value_start, value_end - value_start);
    attribute.value_offset = region_offset + value_start;
    attribute.needs_decoding = needs_decoding;
    t = value_end + 1;
    return true;
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
    if (attributes.insert(attribute.name, value)) return true;
    return fail_malformed(error, attribute.name_offset, MalformedMessage::DuplicateAttribute, attribute.name);
}

}  // namespace brindle::reader
