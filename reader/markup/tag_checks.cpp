#include "reader/markup/tag_checks.hpp"

#include <algorithm>

#include "reader/text/unicode_space.hpp"

namespace brindle::reader {

namespace {

using index::TagKind;

constexpr std::size_t kCDataOpening = 9;  // "<![CDATA["

// The bytes of the document from `start`, `length` long: a range the index recorded, which lies
// inside the document, so no bounds are checked on this hot path.
std::string_view document_bytes(const index::StructuralIndex& index, std::uint64_t start, std::uint64_t length) noexcept
{
    return {index.document.data() + start, static_cast<std::size_t>(length)};
}

std::string_view recorded_name(const index::StructuralIndex& index, std::size_t k) noexcept
{
    const index::NameRange range = index.tag_names[k];
    return document_bytes(index, range.start, range.length);
}

bool ends_with_at(std::string_view document, std::uint64_t end, std::string_view tail) noexcept
{
    return end + 1 >= tail.size() && document.substr(end + 1 - tail.size(), tail.size()) == tail;
}

MalformedMessage termination_failure(TagKind kind) noexcept
{
    switch (kind) {
    case TagKind::Comment: return MalformedMessage::UnterminatedComment;
    case TagKind::CData: return MalformedMessage::UnterminatedCData;
    default: return MalformedMessage::UnterminatedInstruction;
    }
}

bool is_terminated(const index::StructuralIndex& index, std::size_t k) noexcept
{
    const std::uint64_t start = index.tag_starts[k];
    const std::uint64_t end = index.tag_ends[k];
    switch (index.tag_kinds[k]) {
    case TagKind::Comment: return end >= start + 6 && ends_with_at(index.document, end, "-->");
    case TagKind::CData: return ends_with_at(index.document, end, "]]>");
    default: return end != 0 && ends_with_at(index.document, end, "?>");
    }
}

}  // namespace

bool tag_name(const index::StructuralIndex& index, std::size_t k, StartTagParts& parts, ReadError& error) noexcept
{
    const std::string_view name = recorded_name(index, k);
    if (name.empty()) return fail_malformed(error, index.tag_starts[k], MalformedMessage::ExpectedElementName);
    const std::uint64_t name_end = index.tag_names[k].start + name.size();
    // The '/' of "/>" is not part of the attributes.
    const std::uint64_t tag_end = index.tag_ends[k] - (index.tag_kinds[k] == TagKind::SelfClosing ? 1 : 0);
    const std::uint64_t region_end = std::max(tag_end, name_end);
    parts = {name, document_bytes(index, name_end, region_end - name_end), name_end};
    return true;
}

bool check_terminated(const index::StructuralIndex& index, std::size_t k, ReadError& error) noexcept
{
    if (is_terminated(index, k)) return true;
    return fail_malformed(error, index.tag_starts[k], termination_failure(index.tag_kinds[k]));
}

bool check_end_tag(const index::StructuralIndex& index, std::size_t k, std::string_view& name,
                   ReadError& error) noexcept
{
    name = recorded_name(index, k);
    const std::uint64_t name_end = index.tag_names[k].start + name.size();
    const std::uint64_t tag_end = std::max(index.tag_ends[k], name_end);
    if (is_all_unicode_space(document_bytes(index, name_end, tag_end - name_end))) return true;
    return fail_malformed(error, index.tag_starts[k], MalformedMessage::MalformedEndTag, name);
}

std::string_view cdata_contents(const index::StructuralIndex& index, std::size_t k) noexcept
{
    const std::uint64_t first = index.tag_starts[k] + kCDataOpening;
    const std::uint64_t terminator = index.tag_ends[k] - 2;  // the "]]>"
    return first < terminator ? index.document.substr(first, terminator - first) : std::string_view();
}

}  // namespace brindle::reader
