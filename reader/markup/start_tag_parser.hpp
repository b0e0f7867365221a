// Parsing a start tag into a detached element: its name and its attributes, with every
// attribute checked and its value decoded, in the order the errors must be reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "index/structural/structural_index.hpp"
#include "reader/markup/tag_checks.hpp"
#include "reader/read_error.hpp"
#include "reader/tree/attr_map.hpp"

namespace brindle::reader {

class StartTagParser {
public:
    // Checks start tag k (its name, as recorded in the index, must not be empty) and puts its
    // attributes into `attributes` (which must be empty, and stays so for a tag without
    // attributes). At the first fault in the tag fills `error` and returns false. Allocation
    // failure throws std::bad_alloc.
    [[nodiscard]] bool parse(const index::StructuralIndex& index, std::size_t k, AttrMap& attributes, ReadError& error)
    {
        StartTagParts parts;
        if (!tag_name(index, k, parts, error)) return false;
        if (parts.region.empty()) return true;  // most tags: no attributes, no space
        names_.clear();
        return parse_attributes(parts.region, parts.region_offset, attributes, error);
    }

private:
    // One attribute whose syntax is correct, before decoding.
    struct RawAttribute {
        std::string_view name;
        std::string_view value;
        std::uint64_t name_offset;
        std::uint64_t value_offset;
        bool needs_decoding;
    };

    [[nodiscard]] bool parse_attributes(std::string_view region, std::uint64_t region_offset, AttrMap& attributes,
                                        ReadError& error);
    // The value scan runs once per attribute, inside parse_attributes' loop: GCC inlines it there
    // on its own, clang (the release wheels' compiler) did not, which cost 3% of a read of an
    // attribute-heavy document.
    [[nodiscard, gnu::always_inline]] static bool scan_value(std::string_view region, std::uint64_t region_offset,
                                                             std::size_t& t, RawAttribute& attribute,
                                                             ReadError& error) noexcept;
    [[nodiscard]] bool add_attribute(AttrMap& attributes, const RawAttribute& attribute, ReadError& error);
    bool repeats_earlier_name(const AttrMap& attributes, std::string_view name) const noexcept;

    static constexpr std::size_t kNamesComparedInPlace = 8;

    std::vector<std::string_view> names_;  // the tag's attribute names so far, while few; reused
    std::string decoded_;                  // a value with references, decoded; reused likewise
};

}  // namespace brindle::reader
