// The quote-dense builder: classifies every byte first, then reads a tag at each '<' that
// lies outside quotes. A quote anywhere (character data included) hides the '<' and '>'
// bytes up to its closing quote, so a tag ends at the first '>' outside quotes after its '<'.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>

#include "index/simd/scalar/bit_positions.hpp"
#include "index/simd/scalar/classify.hpp"
#include "index/structural/markup_bytes.hpp"
#include "index/structural/recorder.hpp"
#include "index/structural/structural_index.hpp"

namespace brindle::index {
namespace {

using detail::find_flagged;
using detail::find_sequence;
using detail::name_between;
using detail::starts_with_at;

class QuoteDenseBuilder {
public:
    QuoteDenseBuilder(std::string_view document, StructuralIndex& out) noexcept
        : document_(document),
          data_(reinterpret_cast<const unsigned char*>(document.data())),
          size_(document.size()),
          recorder_(out) {}

    // Throws std::bad_alloc when an array cannot grow.
    BuildResult run() {
        recorder_.start(document_);
        classes_ = classify(document_);
        const std::vector<std::uint64_t>& lt_bits = classes_.lt_bits;
        for (std::size_t w = 0; w < lt_bits.size(); ++w) {
            for (std::uint64_t word = lt_bits[w]; word != 0; word &= word - 1) {
                const std::size_t p = w * 64 + static_cast<unsigned>(std::countr_zero(word));
                if (p < hidden_until_) {
                    continue;  // inside the last comment, CDATA section or instruction
                }
                tag_start_ = p;
                const BuildResult result = visit(p);
                if (result.status != BuildStatus::Ok || p + 1 == size_) {
                    return result;
                }
            }
        }
        return {BuildStatus::Ok, 0};
    }

    std::uint64_t tag_start() const noexcept { return tag_start_; }

private:
    BuildResult visit(std::size_t p) {
        recorder_.add_text(text_start_, p, open_tag_);
        if (p + 1 == size_) {
            return {BuildStatus::Ok, 0};  // a '<' as the last byte ends the index
        }
        const std::uint64_t gt = next_set_bit(classes_.gt_bits, p + 1);
        if (gt >= size_) {
            return {BuildStatus::UnclosedTag, p};
        }
        read_tag(p, gt);
        return {BuildStatus::Ok, 0};
    }

    void read_tag(std::size_t p, std::size_t gt) {
        switch (data_[p + 1]) {
        case '!':
            if (starts_with_at(document_, p + 2, "--")) {
                return read_comment(p);
            }
            if (starts_with_at(document_, p + 2, "[CDATA[")) {
                return read_cdata(p);
            }
            return;  // a declaration: nothing recorded, the text start stays where it was
        case '?':
            return read_instruction(p);
        case '/':
            return read_end_tag(p, gt);
        default:
            return read_start_tag(p, gt);
        }
    }

    // An unterminated section gets an end that its termination check rejects: two bytes
    // before the end of the document, but never before `content` (the first byte after the
    // section's opening).
    std::size_t unterminated_end(std::size_t content) const noexcept {
        return std::max(size_ - 2, content);
    }

    void read_comment(std::size_t p) {
        const std::size_t close = find_sequence(document_, p + 4, "-->");
        const std::size_t end = close == size_ ? unterminated_end(p + 4) : close + 2;
        recorder_.add_tag(p, end, TagKind::Comment, NameRange{}, depth_, open_tag_);
        hide_through(end);
    }

    void read_cdata(std::size_t p) {
        const std::size_t close = find_sequence(document_, p + 9, "]]>");
        const std::size_t end = close == size_ ? unterminated_end(p + 9) : close + 2;
        recorder_.add_tag(p, end, TagKind::CData, NameRange{}, depth_, open_tag_);
        if (close != size_) {
            recorder_.add_text(p + 9, close, open_tag_);
        }
        hide_through(end);
    }

    // Ends at the first "?>" whose '?' lies at or after the end of the name, else at the last
    // byte; a name that runs to the end of the document ends at the document length.
    void read_instruction(std::size_t p) {
        const std::size_t name_end =
            find_flagged(data_, p + 2, size_, detail::kSpace | detail::kGreater | detail::kQuestion);
        std::size_t end = size_;
        if (name_end != size_) {
            const std::size_t close = find_sequence(document_, name_end, "?>");
            end = close == size_ ? size_ - 1 : close + 1;
        }
        recorder_.add_tag(p, end, TagKind::ProcessingInstruction, name_between(p + 2, name_end),
                          depth_, open_tag_);
        hide_through(end);
    }

    void read_end_tag(std::size_t p, std::size_t end) {
        const std::size_t name_end = find_flagged(data_, p + 2, end, detail::kSpace);
        // The element below the one being closed (-1 when fewer than two are open).
        const std::int32_t parent = open_tag_ < 0 ? -1 : recorder_.parent_of(open_tag_);
        depth_ = depth_ == 0 ? 0 : depth_ - 1;
        recorder_.add_tag(p, end, TagKind::Close, name_between(p + 2, name_end), depth_, parent);
        open_tag_ = parent;
        text_start_ = end + 1;
    }

    void read_start_tag(std::size_t p, std::size_t end) {
        const std::size_t name_end =
            find_flagged(data_, p + 1, end, detail::kSpace | detail::kSlash | detail::kGreater);
        const TagKind kind = data_[end - 1] == '/' ? TagKind::SelfClosing : TagKind::Open;
        const std::int32_t index =
            recorder_.add_tag(p, end, kind, name_between(p + 1, name_end), depth_, open_tag_);
        if (kind == TagKind::Open) {
            open_tag_ = index;
            ++depth_;
        }
        text_start_ = end + 1;
    }

    // After a comment, CDATA section or instruction: its '<' bytes start no tag.
    void hide_through(std::size_t end) noexcept {
        hidden_until_ = end;
        text_start_ = end + 1;
    }

    std::string_view document_;
    const unsigned char* data_;
    std::size_t size_;
    detail::IndexRecorder recorder_;
    ByteClasses classes_;
    std::uint64_t text_start_ = 0;    // one past the last recorded tag's end (0 before the first)
    std::uint64_t hidden_until_ = 0;  // '<' bits before this offset lie inside a section
    std::uint64_t tag_start_ = 0;
    std::uint64_t depth_ = 0;
    // The innermost open start tag. The open elements form a chain through `parents`: the
    // element below an open start tag is the parent recorded for it, so the chain holds any
    // depth without a stack of its own.
    std::int32_t open_tag_ = -1;
};

}  // namespace

BuildResult build_quote_dense(std::string_view document, StructuralIndex& out) noexcept {
    QuoteDenseBuilder builder(document, out);
    try {
        return builder.run();
    } catch (const std::bad_alloc&) {
        return {BuildStatus::OutOfMemory, builder.tag_start()};
    }
}

}  // namespace brindle::index
