// A document type declaration holds literals that may contain '>' (a system identifier such
// as "a>b") and an internal subset of markup declarations, each ending in a '>' of its own,
// so its first '>' is seldom its end.

#include "index/structural/doctype.hpp"

#include <cstddef>
#include <string_view>

#include "index/structural/markup_bytes.hpp"
#include "kernels/kernels.hpp"

namespace brindle::index::detail {
namespace {

constexpr std::size_t kDoctypeLength = 9;  // "<!DOCTYPE"

// One past the end of the construct opening at `at` (a literal, or inside the subset a
// comment or instruction), or `size` when it never closes; `at` itself when nothing opens there.
std::size_t past_construct(std::string_view document, std::size_t at, bool in_subset) noexcept
{
    const std::size_t size = document.size();
    const char byte = document[at];
    if (byte == '"' || byte == '\'') {
        const std::size_t close = kernels::find_byte(document, at + 1, static_cast<unsigned char>(byte));
        return close == size ? size : close + 1;
    }
    if (!in_subset || byte != '<') {
        return at;
    }
    if (starts_with_at(document, at, "<!--")) {
        const std::size_t close = find_sequence(document, at + 4, "-->");
        return close == size ? size : close + 3;
    }
    if (starts_with_at(document, at, "<?")) {
        const std::size_t close = find_sequence(document, at + 2, "?>");
        return close == size ? size : close + 2;
    }
    return at;
}

}  // namespace

std::size_t doctype_end(std::string_view document, std::size_t start) noexcept
{
    const std::size_t size = document.size();
    bool in_subset = false;
    std::size_t at = start + kDoctypeLength;
    while (at < size) {
        const std::size_t past = past_construct(document, at, in_subset);
        if (past != at) {
            at = past;
            continue;
        }
        const char byte = document[at];
        if (in_subset) {
            in_subset = byte != ']';
        } else if (byte == '[') {
            in_subset = true;
        } else if (byte == '>') {
            return at;
        }
        ++at;
    }
    return size;
}

}  // namespace brindle::index::detail
