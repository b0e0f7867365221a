// The direct builder: finds each '<' with the word-at-a-time search and reads the tag that
// follows it. Quotes count only inside start tags, so a '>' in an attribute value does not
// end the tag, while an apostrophe in character data is just text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>

#include "index/simd/scalar/byte_search_impl.hpp"
#include "index/structural/markup_bytes.hpp"
#include "index/structural/recorder.hpp"
#include "index/structural/structural_index.hpp"

namespace brindle::index {
namespace {

using detail::find_flagged;
using detail::find_sequence;
using detail::name_between;
using detail::starts_with_at;

// Parents are remembered for this many open elements; deeper tags get parent -1.
constexpr std::size_t kStackDepth = 32;

// What reading one tag gave: where the next scan starts (one past `end`), or a failure.
struct TagOutcome {
    BuildStatus status;
    std::uint64_t end;  // the tag's last byte (a skipped declaration's '>' or its '<')
};

constexpr TagOutcome ended_at(std::uint64_t end) noexcept { return {BuildStatus::Ok, end}; }

}  // namespace

namespace detail {

class DirectBuilder {
public:
    DirectBuilder(std::string_view document, StructuralIndex& out)
        : document_(document),
          data_(reinterpret_cast<const unsigned char*>(document.data())),
          size_(document.size()),
          recorder_(out) {}

    // The whole document at once. Throws std::bad_alloc when an array cannot grow.
    BuildResult run() {
        recorder_.start(document_);
        return run_until(SIZE_MAX);
    }

    void start_windows() noexcept { recorder_.start_windows(document_); }

    // The next `tags` tags at most. Throws std::bad_alloc when an array cannot grow.
    BuildResult next_window(std::size_t tags) {
        tag_start_ = scan_;
        recorder_.start_window(tags);
        return run_until(tags);
    }

    bool finished() const noexcept { return finished_; }
    std::uint64_t tag_start() const noexcept { return tag_start_; }
    std::size_t first_tag_of_window() const noexcept { return recorder_.earlier_tags(); }

private:
    // Reads tags until the current window holds `tag_limit` of them or the document ends.
    BuildResult run_until(std::size_t tag_limit) {
        while (recorder_.window_tags() < tag_limit) {
            const std::size_t p = detail::find_byte(document_, scan_, '<');
            if (p == size_) {
                finished_ = true;
                return {BuildStatus::Ok, 0};
            }
            tag_start_ = p;
            const std::int32_t parent = current_parent();
            recorder_.add_text(text_start_, p, parent);
            if (p + 1 == size_) {
                finished_ = true;
                return {BuildStatus::UnclosedTag, p};
            }
            const TagOutcome outcome = read_tag(p, parent);
            if (outcome.status != BuildStatus::Ok) {
                finished_ = true;
                return {outcome.status, outcome.status == BuildStatus::UnclosedTag ? p : size_};
            }
            text_start_ = outcome.end + 1;
            scan_ = outcome.end + 1;
        }
        return {BuildStatus::Ok, 0};
    }

    // The innermost open start tag, when it is among the first 32 open elements.
    std::int32_t current_parent() const noexcept {
        return open_ >= 1 && open_ <= kStackDepth ? stack_[open_ - 1] : -1;
    }

    TagOutcome read_tag(std::size_t p, std::int32_t parent) {
        switch (data_[p + 1]) {
        case '!':
            if (starts_with_at(document_, p + 2, "--")) {
                return read_comment(p, parent);
            }
            if (starts_with_at(document_, p + 2, "[CDATA[")) {
                return read_cdata(p, parent);
            }
            return skip_declaration(p);
        case '?':
            return read_instruction(p, parent);
        case '/':
            return read_end_tag(p);
        default:
            return read_start_tag(p, parent);
        }
    }

    TagOutcome read_comment(std::size_t p, std::int32_t parent) {
        const std::size_t close = find_sequence(document_, p + 4, "-->");
        const std::size_t end = close == size_ ? size_ : close + 2;
        recorder_.add_tag(p, end, TagKind::Comment, NameRange{}, open_, parent);
        return close == size_ ? TagOutcome{BuildStatus::UnexpectedEnd, end} : ended_at(end);
    }

    TagOutcome read_cdata(std::size_t p, std::int32_t parent) {
        const std::size_t close = find_sequence(document_, p + 9, "]]>");
        const std::size_t end = close == size_ ? size_ : close + 2;
        recorder_.add_tag(p, end, TagKind::CData, NameRange{}, open_, parent);
        if (close == size_) {
            return {BuildStatus::UnexpectedEnd, end};
        }
        recorder_.add_text(p + 9, close, parent);
        return ended_at(end);
    }

    // <!DOCTYPE ...> and the like: nothing is recorded, but the text after it starts past it.
    TagOutcome skip_declaration(std::size_t p) const noexcept {
        const std::size_t close = detail::find_byte(document_, p, '>');
        return ended_at(close == size_ ? p : close);
    }

    // Ends at the first "?>" whose '?' lies at or after the end of the name, else at the last
    // byte of the document.
    TagOutcome read_instruction(std::size_t p, std::int32_t parent) {
        const std::size_t name_end =
            find_flagged(data_, p + 2, size_, detail::kSpace | detail::kGreater | detail::kQuestion);
        const NameRange name = name_between(p + 2, name_end);
        if (name_end == size_) {
            recorder_.add_tag(p, size_, TagKind::ProcessingInstruction, name, open_, parent);
            return {BuildStatus::UnexpectedEnd, size_};
        }
        const std::size_t close = find_sequence(document_, name_end, "?>");
        const std::size_t end = close == size_ ? size_ - 1 : close + 1;
        recorder_.add_tag(p, end, TagKind::ProcessingInstruction, name, open_, parent);
        return ended_at(end);
    }

    TagOutcome read_end_tag(std::size_t p) {
        const std::size_t name_end = find_flagged(data_, p + 2, size_, detail::kSpace | detail::kGreater);
        if (name_end == size_) {
            return {BuildStatus::UnclosedTag, p};
        }
        const std::size_t end = detail::find_byte(document_, name_end, '>');
        if (end == size_) {
            return {BuildStatus::UnclosedTag, p};
        }
        // The element below the one being closed, while it is among the first 32.
        const std::int32_t parent = open_ >= 2 && open_ <= kStackDepth + 1 ? stack_[open_ - 2] : -1;
        open_ = open_ == 0 ? 0 : open_ - 1;
        recorder_.add_tag(p, end, TagKind::Close, name_between(p + 2, name_end), open_, parent);
        return ended_at(end);
    }

    TagOutcome read_start_tag(std::size_t p, std::int32_t parent) {
        const std::size_t name_end =
            find_flagged(data_, p + 1, size_, detail::kSpace | detail::kSlash | detail::kGreater);
        if (name_end == size_) {
            return {BuildStatus::UnclosedTag, p};
        }
        const StartTagEnd found = find_start_tag_end(name_end);
        if (found.end == size_) {
            return {BuildStatus::UnclosedTag, p};
        }
        const std::int32_t index =
            recorder_.add_tag(p, found.end, found.kind, name_between(p + 1, name_end), open_, parent);
        if (found.kind == TagKind::Open) {
            if (open_ < kStackDepth) {
                stack_[open_] = index;
            }
            ++open_;
        }
        return ended_at(found.end);
    }

    struct StartTagEnd {
        std::size_t end;  // the document size when the tag never ends
        TagKind kind;
    };

    // The '>' that ends a start tag, from the end of its name: a quote hides everything up to
    // the next byte equal to it (with no such byte, scanning resumes two bytes after the
    // quote); "/>" ends a self-closing tag and a lone '>' an open one.
    StartTagEnd find_start_tag_end(std::size_t at) const noexcept {
        constexpr std::uint8_t stops = detail::kQuote | detail::kSlash | detail::kGreater;
        while ((at = find_flagged(data_, at, size_, stops)) < size_) {
            const unsigned char byte = data_[at];
            if (byte == '>') {
                return {at, TagKind::Open};
            }
            if (byte == '/') {
                if (at + 1 < size_ && data_[at + 1] == '>') {
                    return {at + 1, TagKind::SelfClosing};
                }
                ++at;
                continue;
            }
            const std::size_t close = detail::find_byte(document_, at + 1, byte);
            at = close == size_ ? at + 2 : close + 1;
        }
        return {size_, TagKind::Open};
    }

    std::string_view document_;
    const unsigned char* data_;
    std::size_t size_;
    detail::IndexRecorder recorder_;
    std::uint64_t text_start_ = 0;  // one past the last tag's end (0 before the first)
    std::size_t scan_ = 0;          // where the search for the next '<' starts
    std::uint64_t tag_start_ = 0;
    bool finished_ = false;         // the document ended or a tag failed
    // Open start tags; also the depth, since both rise with a start tag and fall (never
    // below 0) with an end tag. It keeps counting past the 32 remembered entries.
    std::size_t open_ = 0;
    std::array<std::int32_t, kStackDepth> stack_{};
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

std::size_t DirectWindows::first_tag() const noexcept {
    return builder_ ? builder_->first_tag_of_window() : 0;
}

}  // namespace brindle::index
