// The direct builder: the shared tag scan, answering malformed markup the way a scan that
// never looks back must.

#include <cstddef>
#include <new>
#include <string_view>

#include "index/structural/structural_index.hpp"
#include "index/structural/tag_scanner.hpp"

namespace brindle::index {
namespace detail {

struct DirectDialect {
    // A '<' as the last byte is a tag that never closes.
    static constexpr bool kLastLessThanIsUnclosed = true;
    // A comment, CDATA section or instruction name running to the end fails the build.
    static constexpr bool kUnterminatedFails = true;
    // A tag needs a '>' after it only where the tag's own scan looks for one.
    static constexpr bool kNeedsGreaterAfterEveryTag = false;
    // A declaration other than a DOCTYPE is skipped to its first '>'.
    static constexpr bool kDeclarationsSkipped = true;
    // A quote that never closes inside a start tag hides only itself and the byte after it.
    static constexpr bool kUnmatchedQuoteIsUnclosed = false;
};

class DirectBuilder : public TagScanner<DirectDialect> {
public:
    using TagScanner::TagScanner;
};

}  // namespace detail

BuildResult build_direct(std::string_view document, StructuralIndex& out) noexcept {
    detail::DirectBuilder builder(document, out);
    try {
        return builder.run();
    } catch (const std::bad_alloc&) {
        return {BuildStatus::OutOfMemory, builder.tag_start()};
    }
}

DirectWindows::DirectWindows(std::string_view document, StructuralIndex& out, std::size_t tags_per_window) noexcept
    : builder_(new (std::nothrow) detail::DirectBuilder(document, out)),
      tags_per_window_(tags_per_window == 0 ? 1 : tags_per_window) {
    if (builder_) {
        builder_->start_windows();
    }
}

DirectWindows::~DirectWindows() = default;

BuildResult DirectWindows::next() noexcept {
    if (!builder_) {
        done_ = true;
        return {BuildStatus::OutOfMemory, 0};
    }
    try {
        const BuildResult result = builder_->next_window(tags_per_window_);
        done_ = builder_->finished();
        return result;
    } catch (const std::bad_alloc&) {
        done_ = true;
        return {BuildStatus::OutOfMemory, builder_->tag_start()};
    }
}

}  // namespace brindle::index
