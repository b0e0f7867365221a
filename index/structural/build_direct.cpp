// The direct builder: the shared tag scan, answering malformed markup the way a scan that
// never looks back must.

#include <cstddef>
#include <new>
#include <string_view>

#include "index/structural/dialects.hpp"
#include "index/structural/structural_index.hpp"
#include "index/structural/tag_scanner.hpp"

namespace brindle::index {
namespace detail {

class DirectBuilder : public TagScanner<kDirectDialect> {
public:
    using TagScanner::TagScanner;
};

}  // namespace detail

BuildResult build_direct(std::string_view document, StructuralIndex& out) noexcept
{
    return detail::build_whole<detail::kDirectDialect>(document, out);
}

DirectWindows::DirectWindows(std::string_view document, StructuralIndex& out, std::size_t tags_per_window) noexcept
    : builder_(new (std::nothrow) detail::DirectBuilder(document, out)),
      tags_per_window_(tags_per_window == 0 ? 1 : tags_per_window)
{
    if (builder_) {
        builder_->start_windows();
    }
}

DirectWindows::~DirectWindows() = default;

BuildResult DirectWindows::next() noexcept
{
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
