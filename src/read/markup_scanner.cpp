#include "read/markup_scanner.hpp"

#include <algorithm>

#include "read/read_errors.hpp"
#include "read/unicode_space.hpp"

namespace brindle::read {

namespace {

using index::TagKind;

constexpr std::size_t kCDataOpening = 9;  // "<![CDATA["

std::string_view recorded_name(const index::StructuralIndex& index, std::size_t k) noexcept
{
    const index::NameRange range = index.tag_names[k];
    return index.document.substr(range.start, range.length);
}

bool ends_with_at(std::string_view document, std::uint64_t end, std::string_view tail) noexcept
{
    return end + 1 >= tail.size() && document.substr(end + 1 - tail.size(), tail.size()) == tail;
}

std::string_view termination_failure(TagKind kind) noexcept
{
    switch (kind) {
    case TagKind::Comment: return message::kUnterminatedComment;
    case TagKind::CData: return message::kUnterminatedCData;
    default: return message::kUnterminatedInstruction;
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

StartTagParts tag_name(const index::StructuralIndex& index, std::size_t k)
{
    const std::string_view name = recorded_name(index, k);
    if (name.empty()) fail_malformed(index.tag_starts[k], message::kExpectedElementName);
    const std::uint64_t name_end = index.tag_names[k].start + name.size();
    // The '/' of "/>" is not part of the attributes.
    const std::uint64_t tag_end = index.tag_ends[k] - (index.tag_kinds[k] == TagKind::SelfClosing ? 1 : 0);
    const std::uint64_t region_end = std::max(tag_end, name_end);
    return {name, index.document.substr(name_end, region_end - name_end), name_end};
}

void check_inside_document(const index::StructuralIndex& index, std::size_t k)
{
    if (index.tag_ends[k] >= index.document.size()) {
        fail_malformed(index.tag_starts[k], message::kUnterminatedMarkup);
    }
}

void check_terminated(const index::StructuralIndex& index, std::size_t k)
{
    if (!is_terminated(index, k)) fail_malformed(index.tag_starts[k], termination_failure(index.tag_kinds[k]));
}

std::string_view check_end_tag(const index::StructuralIndex& index, std::size_t k)
{
    const std::string_view name = recorded_name(index, k);
    const std::uint64_t name_end = index.tag_names[k].start + name.size();
    const std::uint64_t tag_end = std::max(index.tag_ends[k], name_end);
    if (!is_all_unicode_space(index.document.substr(name_end, tag_end - name_end))) {
        fail_malformed_end_tag(index.tag_starts[k], name);
    }
    return name;
}

std::string_view cdata_contents(const index::StructuralIndex& index, std::size_t k) noexcept
{
    const std::uint64_t first = index.tag_starts[k] + kCDataOpening;
    const std::uint64_t terminator = index.tag_ends[k] - 2;  // the "]]>"
    return first < terminator ? index.document.substr(first, terminator - first) : std::string_view();
}

}  // namespace brindle::read
