// A document, or a stream's buffers, scanned a window of tags at a time by the builder chosen for
// it.

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>

#include "index/structural/dialects.hpp"
#include "index/structural/structural_index.hpp"
#include "index/structural/tag_scanner.hpp"

namespace brindle::index {
namespace detail {

// Either dialect's scan, behind one interface: the choice is made once per document or stream,
// and the call it costs is paid once per window.
class WindowScanner {
public:
    virtual ~WindowScanner() = default;
    virtual BuildResult next_window(std::size_t tags) = 0;  // throws std::bad_alloc
    virtual bool finished() const noexcept = 0;
    virtual std::uint64_t tag_start() const noexcept = 0;
};

namespace {

template <ScanDialect Dialect>
class DialectScanner final : public WindowScanner {
public:
    DialectScanner(const WindowInput& input, StructuralIndex& out) noexcept : scan_(input.bytes, out)
    {
        scan_.start_windows();
        if (input.more_follows) scan_.expect_more();
    }

    BuildResult next_window(std::size_t tags) override { return scan_.next_window(tags); }
    bool finished() const noexcept override { return scan_.finished(); }
    std::uint64_t tag_start() const noexcept override { return scan_.tag_start(); }

private:
    TagScanner<Dialect> scan_;
};

WindowScanner* make_scanner(const WindowInput& input, StructuralIndex& out) noexcept
{
    if (input.quote_dense) return new (std::nothrow) DialectScanner<kQuoteDenseDialect>(input, out);
    return new (std::nothrow) DialectScanner<kDirectDialect>(input, out);
}

}  // namespace
}  // namespace detail

IndexWindows::IndexWindows(const WindowInput& input, StructuralIndex& out, std::size_t tags_per_window) noexcept
    : scanner_(detail::make_scanner(input, out)), tags_per_window_(tags_per_window == 0 ? 1 : tags_per_window)
{}

IndexWindows::~IndexWindows() = default;

BuildResult IndexWindows::next() noexcept
{
    if (!scanner_) {
        done_ = true;
        return {BuildStatus::OutOfMemory, 0};
    }
    try {
        const BuildResult result = scanner_->next_window(tags_per_window_);
        done_ = scanner_->finished();
        return result;
    } catch (const std::bad_alloc&) {
        done_ = true;
        return {BuildStatus::OutOfMemory, scanner_->tag_start()};
    }
}

}  // namespace brindle::index
