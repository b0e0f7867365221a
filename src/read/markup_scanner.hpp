// Checks of single tags of the structural index: element names, the termination of comments,
// CDATA sections and processing instructions, and the form of end tags. Every failure is the
// read error for the offending tag, with its offset in the document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "index/structural/structural_index.hpp"

namespace brindle::read {

// A start tag's name and the bytes after it up to (not including) its '>', or the "/>" of a
// self-closing tag; `region_offset` is the document offset of region[0].
struct StartTagParts {
    std::string_view name;
    std::string_view region;
    std::uint64_t region_offset;
};

// Fails with "expected element name after '<'" when the tag has no name.
StartTagParts tag_name(const index::StructuralIndex& index, std::size_t k);

// The tag must end inside the document ("unterminated markup" otherwise); checked for every
// tag before anything else.
void check_inside_document(const index::StructuralIndex& index, std::size_t k);

// A comment must end in "-->" (and be at least "<!---->"), a CDATA section in "]]>", a
// processing instruction in "?>".
void check_terminated(const index::StructuralIndex& index, std::size_t k);

// The end tag's name; only white space may follow it before the '>'.
std::string_view check_end_tag(const index::StructuralIndex& index, std::size_t k);

// The contents of a CDATA section that passed check_terminated.
std::string_view cdata_contents(const index::StructuralIndex& index, std::size_t k) noexcept;

}  // namespace brindle::read
