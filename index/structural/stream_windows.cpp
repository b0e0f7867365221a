// A stream's buffers scanned by the builder chosen for the stream.

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>

#include "index/structural/dialects.hpp"
#include "index/structural/structural_index.hpp"
#include "index/structural/tag_scanner.hpp"

namespace brindle::index {
namespace detail {

// Either dialect's scan, behind one interface: the choice is made once per stream, and the
// call it costs is paid once per window.
class StreamScanner {
public:
    virtual ~StreamScanner() = default;
    virtual BuildResult next_window(std::size_t tags) = 0;  // throws std::bad_alloc
    virtual bool finished() const noexcept = 0;
    virtual std::uint64_t tag_start() const noexcept = 0;
};

namespace {

template <ScanDialect Dialect>
class DialectScanner final : public StreamScanner {
public:
    DialectScanner(std::string_view buffer, bool stream_ends, StructuralIndex& out) noexcept : scan_(buffer, out)
    {
        scan_.start_windows();
        if (!stream_ends) scan_.expect_more();
    }

    BuildResult next_window(std::size_t tags) override { return scan_.next_window(tags); }
    bool finished() const noexcept override { return scan_.finished(); }
    std::uint64_t tag_start() const noexcept override { return scan_.tag_start(); }

private:
    TagScanner<Dialect> scan_;
};

StreamScanner* make_scanner(std::string_view buffer, bool quote_dense, bool stream_ends, StructuralIndex& out) noexcept
{
    if (quote_dense) return new (std::nothrow) DialectScanner<kQuoteDenseDialect>(buffer, stream_ends, out);
    return new (std::nothrow) DialectScanner<kDirectDialect>(buffer, stream_ends, out);
}

// A failing builder may have recorded the faulty tag itself, running to the buffer's end; the
// tags before it are what the walk still visits.
void drop_unfinished_tags(StructuralIndex& out) noexcept
{
    while (!out.tag_ends.empty() && out.tag_ends.back() >= out.document.size()) {
        out.tag_starts.pop_back();
        out.tag_ends.pop_back();
        out.tag_kinds.pop_back();
        out.tag_names.pop_back();
    }
}

}  // namespace
}  // namespace detail

StreamWindows::StreamWindows(std::string_view buffer, bool quote_dense, bool stream_ends, StructuralIndex& out,
                             std::size_t tags_per_window) noexcept
    : scanner_(detail::make_scanner(buffer, quote_dense, stream_ends, out)),
      out_(out),
      tags_per_window_(tags_per_window == 0 ? 1 : tags_per_window)
{}

StreamWindows::~StreamWindows() = default;

BuildResult StreamWindows::next() noexcept
{
    if (!scanner_) {
        done_ = true;
        return {BuildStatus::OutOfMemory, 0};
    }
    BuildResult result;
    try {
        result = scanner_->next_window(tags_per_window_);
        done_ = scanner_->finished();
    } catch (const std::bad_alloc&) {
        done_ = true;
        return {BuildStatus::OutOfMemory, scanner_->tag_start()};
    }
    if (result.status != BuildStatus::Ok && result.status != BuildStatus::NeedMore) detail::drop_unfinished_tags(out_);
    return result;
}

}  // namespace brindle::index
