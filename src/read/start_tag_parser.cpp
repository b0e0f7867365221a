#include "read/start_tag_parser.hpp"

#include <array>
#include <cstring>
#include <string>

#include "module/errors.hpp"
#include "read/markup_scanner.hpp"
#include "read/read_errors.hpp"
#include "read/references.hpp"

namespace brindle::read {

namespace {

enum ByteClass : std::uint8_t {
    kSpace = 1,       // space, tab, line feed, form feed, carriage return
    kNameEnd = 2,     // white space, '=', '"' or '\'': ends an attribute name
    kLessThan = 4,    // '<', forbidden in values
    kNeedsDecode = 8, // '&', tab, line feed, carriage return: values holding them are decoded
};

constexpr std::array<std::uint8_t, 256> kClasses = [] {
    std::array<std::uint8_t, 256> classes{};
    for (const unsigned char space : {' ', '\t', '\n', '\f', '\r'}) classes[space] = kSpace | kNameEnd;
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

inline std::size_t skip_space(std::string_view region, std::size_t t) noexcept
{
    while (t < region.size() && has_class(region[t], kSpace)) ++t;
    return t;
}

}  // namespace

std::string_view StartTagParser::parse(const index::StructuralIndex& index, std::size_t k, AttrMap& attributes)
{
    const StartTagParts parts = tag_name(index, k);
    scanned_.clear();
    const SyntaxFault fault = scan_attributes(parts.region, parts.region_offset);
    if (!scanned_.empty()) {
        attributes.reserve(scanned_.size());
        for (const RawAttribute& attribute : scanned_) add_attribute(attributes, attribute);
    }
    if (fault.kind != SyntaxFault::None) fail(fault);
    return parts.name;
}

// Scans attribute after attribute until the region ends or a fault is met.
StartTagParser::SyntaxFault StartTagParser::scan_attributes(std::string_view region, std::uint64_t region_offset)
{
    std::size_t t = 0;
    while (true) {
        const std::size_t before_space = t;
        t = skip_space(region, t);
        if (t == region.size()) return {};
        if (t == before_space) return {SyntaxFault::ExpectedWhitespace, region_offset + t, {}};
        const std::size_t name_start = t;
        while (t < region.size() && !has_class(region[t], kNameEnd)) ++t;
        if (t == name_start) return {SyntaxFault::ExpectedName, region_offset + t, {}};
        RawAttribute attribute;
        attribute.name = region.substr(name_start, t - name_start);
        attribute.name_offset = region_offset + name_start;
        const SyntaxFault fault = scan_value(region, region_offset, t, attribute);
        if (fault.kind != SyntaxFault::None) return fault;
        scanned_.push_back(attribute);
    }
}

// From just after the attribute's name: white space, '=', white space, a quoted value.
// Leaves t just past the closing quote.
StartTagParser::SyntaxFault StartTagParser::scan_value(std::string_view region, std::uint64_t region_offset,
                                                       std::size_t& t, RawAttribute& attribute)
{
    t = skip_space(region, t);
    if (t == region.size() || region[t] != '=') {
        return {SyntaxFault::NoValue, attribute.name_offset, attribute.name};
    }
    t = skip_space(region, t + 1);
    if (t == region.size() || (region[t] != '"' && region[t] != '\'')) {
        return {SyntaxFault::NotQuoted, region_offset + t, attribute.name};
    }
    const std::size_t value_start = t + 1;
    const void* close = std::memchr(region.data() + value_start, region[t], region.size() - value_start);
    if (close == nullptr) return {SyntaxFault::UnterminatedValue, region_offset + value_start, {}};
    const std::size_t value_end = static_cast<std::size_t>(static_cast<const char*>(close) - region.data());
    bool needs_decoding = false;
    for (std::size_t at = value_start; at < value_end; ++at) {
        const std::uint8_t classes = kClasses[static_cast<unsigned char>(region[at])];
        if (classes & kLessThan) return {SyntaxFault::LessThanInValue, region_offset + at, {}};
        needs_decoding |= (classes & kNeedsDecode) != 0;
    }
    attribute.value = region.substr(value_start, value_end - value_start);
    attribute.value_offset = region_offset + value_start;
    attribute.needs_decoding = needs_decoding;
    t = value_end + 1;
    return {};
}

void StartTagParser::add_attribute(AttrMap& attributes, const RawAttribute& attribute)
{
    std::string value;
    if (attribute.needs_decoding) {
        append_decoded(value, attribute.value, attribute.value_offset, TextMode::AttributeValue,
                       first_to_decode(attribute.value, TextMode::AttributeValue));
    } else {
        value.assign(attribute.value);
    }
    if (!attributes.insert(std::string(attribute.name), std::move(value))) {
        fail_duplicate_attribute(attribute.name_offset, attribute.name);
    }
}

void StartTagParser::fail(const SyntaxFault& fault)
{
    switch (fault.kind) {
    case SyntaxFault::ExpectedWhitespace: fail_malformed(fault.offset, message::kExpectedWhitespace);
    case SyntaxFault::ExpectedName: fail_malformed(fault.offset, message::kExpectedAttributeName);
    case SyntaxFault::NoValue: fail_attribute_without_value(fault.offset, fault.name);
    case SyntaxFault::NotQuoted: fail_unquoted_value(fault.offset, fault.name);
    case SyntaxFault::UnterminatedValue: fail_malformed(fault.offset, message::kUnterminatedValue);
    case SyntaxFault::LessThanInValue: fail_malformed(fault.offset, message::kLessThanInValue);
    case SyntaxFault::None: break;
    }
    throw_internal("unknown kind of attribute fault");
}

}  // namespace brindle::read
