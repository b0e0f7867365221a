// Parsing a start tag into a detached element: its name and its attributes, with every
// attribute checked and its value decoded, in the order the errors must be reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "entities/attr_map.hpp"
#include "index/structural/structural_index.hpp"

namespace brindle::read {

class StartTagParser {
public:
    // Returns the name of start tag k and puts its attributes into `attributes` (which must
    // be empty, and stays so for a tag without attributes). Throws the read error of the
    // first fault in the tag.
    std::string_view parse(const index::StructuralIndex& index, std::size_t k, AttrMap& attributes);

private:
    // One attribute whose syntax is correct, before decoding.
    struct RawAttribute {
        std::string_view name;
        std::string_view value;
        std::uint64_t name_offset;
        std::uint64_t value_offset;
        bool needs_decoding;
    };

    // A syntax fault found while scanning; reported only after the attributes before it
    // were decoded and checked for duplicates, which comes first in document order.
    struct SyntaxFault {
        enum Kind : std::uint8_t {
            None,
            ExpectedWhitespace,
            ExpectedName,
            NoValue,
            NotQuoted,
            UnterminatedValue,
            LessThanInValue,
        };
        Kind kind = None;
        std::uint64_t offset = 0;
        std::string_view name;
    };

    SyntaxFault scan_attributes(std::string_view region, std::uint64_t region_offset);
    static SyntaxFault scan_value(std::string_view region, std::uint64_t region_offset, std::size_t& t,
                                  RawAttribute& attribute);
    [[noreturn]] static void fail(const SyntaxFault& fault);
    static void add_attribute(AttrMap& attributes, const RawAttribute& attribute);

    std::vector<RawAttribute> scanned_;  // reused from tag to tag
};

}  // namespace brindle::read
