// Checks of single tags of the structural index: element names, the termination of comments,
// CDATA sections and processing instructions, and the form of end tags. A check that fails
// fills `error` with the read error for the offending tag (its offset in the document) and
// returns false.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "index/structural/structural_index.hpp"
#include "reader/read_error.hpp"
#include "reader/text/unicode_space.hpp"

namespace brindle::reader {

// A start tag's name and the bytes after it up to (not including) its '>', or the "/>" of a
// self-closing tag; `region_offset` is the document offset of region[0].
struct StartTagParts {
    std::string_view name;
    std::string_view region;
    std::uint64_t region_offset;
};

// The bytes of the document from `start`, `length` long: a range the index recorded, which lies
// inside the document, so no bounds are checked on this hot path.
inline std::string_view document_bytes(const index::StructuralIndex& index, std::uint64_t start,
                                       std::uint64_t length) noexcept
{
    return {index.document.data() + start, static_cast<std::size_t>(length)};
}

inline std::string_view recorded_name(const index::StructuralIndex& index, std::size_t k) noexcept
{
    const index::NameRange range = index.tag_names[k];
    return document_bytes(index, range.start, range.length);
}

// Fails with "expected element name after '<'" when the tag has no name. Inline, with the next
// check, because every element passes both.
[[nodiscard]] inline bool tag_name(const index::StructuralIndex& index, std::size_t k, StartTagParts& parts,
                                   ReadError& error) noexcept
{
    const std::string_view name = recorded_name(index, k);
    if (name.empty()) return fail_malformed(error, index.tag_starts[k], MalformedMessage::ExpectedElementName);
    const std::uint64_t name_end = index.tag_names[k].start + name.size();
    // The '/' of "/>" is not part of the attributes.
    const std::uint64_t tag_end = index.tag_ends[k] - (index.tag_kinds[k] == index::TagKind::SelfClosing ? 1 : 0);
    const std::uint64_t region_end = std::max(tag_end, name_end);
    parts = {name, document_bytes(index, name_end, region_end - name_end), name_end};
    return true;
}

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
[[nodiscard]] inline bool check_end_tag(const index::StructuralIndex& index, std::size_t k, std::string_view& name,
                                        ReadError& error) noexcept
{
    name = recorded_name(index, k);
    const std::uint64_t name_end = index.tag_names[k].start + name.size();
    const std::uint64_t tag_end = std::max(index.tag_ends[k], name_end);
    if (is_all_unicode_space(document_bytes(index, name_end, tag_end - name_end))) return true;
    return fail_malformed(error, index.tag_starts[k], MalformedMessage::MalformedEndTag, name);
}

// The contents of a CDATA section that passed check_terminated.
std::string_view cdata_contents(const index::StructuralIndex& index, std::size_t k) noexcept;

}  // namespace brindle::reader
