#include "reader/markup/tag_checks.hpp"

namespace brindle::reader {

namespace {

using index::TagKind;

constexpr std::size_t kCDataOpening = 9;  // "<![CDATA["

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

bool check_terminated(const index::StructuralIndex& index, std::size_t k, ReadError& error) noexcept
{
    if (is_terminated(index, k)) return true;
    return fail_malformed(error, index.tag_starts[k], termination_failure(index.tag_kinds[k]));
}

std::string_view cdata_contents(const index::StructuralIndex& index, std::size_t k) noexcept
{
    const std::uint64_t first = index.tag_starts[k] + kCDataOpening;
    const std::uint64_t terminator = index.tag_ends[k] - 2;  // the "]]>"
    return first < terminator ? index.document.substr(first, terminator - first) : std::string_view();
}

}  // namespace brindle::reader
