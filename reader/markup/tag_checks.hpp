// Checks of single tags of the structural index: element names, the termination of comments,
// CDATA sections and processing instructions, and the form of end tags. A check that fails
// fills `error` with the read error for the offending tag (its offset in the document) and
// returns false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "index/structural/structural_index.hpp"
#include "reader/read_error.hpp"

namespace brindle::reader {

// A start tag's name and the bytes after it up to (not including) its '>', or the "/>" of a
// self-closing tag; `region_offset` is the document offset of region[0].
struct StartTagParts {
    std::string_view name;
    std::string_view region;
    std::uint64_t region_offset;
};

// Fails with "expected element name after '<'" when the tag has no name.
[[nodiscard]] bool tag_name(const index::StructuralIndex& index, std::size_t k, StartTagParts& parts,
                            ReadError& error) noexcept;

// The tag must end inside the document ("unterminated markup" otherwise); checked for every
// tag before anything else.
[[nodiscard]] inline bool check_inside_document(const index::StructuralIndex& index, std::size_t k,
                                                ReadError& error) noexcept
{
    if (index.tag_ends[k] < index.document.size()) [[likely]]
        return true;
    return fail_malformed(error, index.tag_starts[k], MalformedMessage::UnterminatedMarkup);
}

// A comment must end in "-->" (and be at least "<!---->"), a CDATA section in "]]>", a
// processing instruction in "?>".
[[nodiscard]] bool check_terminated(const index::StructuralIndex& index, std::size_t k, ReadError& error) noexcept;

// Sets `name` to the end tag's name; only white space may follow it before the '>'.
[[nodiscard]] bool check_end_tag(const index::StructuralIndex& index, std::size_t k, std::string_view& name,
                                 ReadError& error) noexcept;

// The contents of a CDATA section that passed check_terminated.
std::string_view cdata_contents(const index::StructuralIndex& index, std::size_t k) noexcept;

}  // namespace brindle::reader
