#pragma once
// The tag scan both builders share: find each '<' with the kernels' search, read the
// tag that follows it, and resume after the tag's end, so a '<' inside a recorded tag never
// starts another. Quotes count only where markup quotes: inside start tags (a '>' in an
// attribute value does not end the tag) and inside a document type declaration; an
// apostrophe in character data, a comment or an instruction is just text.
//
// The builders differ only in how they answer malformed markup; a ScanDialect
// (build_direct.cpp, build_quote_dense.cpp) says which. Every search that could be repeated
// from many '<' bytes is remembered, so no input takes more than linear time.
// Internal to the index.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>

#include "index/structural/doctype.hpp"
#include "index/structural/markup_blocks.hpp"
#include "index/structural/markup_bytes.hpp"
#include "index/structural/recorder.hpp"
#include "index/structural/structural_index.hpp"

namespace brindle::index::detail {

// How a builder answers malformed markup.
struct ScanDialect {
    // A '<' as the document's last byte is a tag that never closes (else it ends the index).
    bool last_less_than_is_unclosed;
    // A comment, CDATA section or instruction name running to the end fails the build (else it
    // is recorded with an end the walk's termination checks reject).
    bool unterminated_fails;
    // Every tag needs a '>' somewhere after its '<', or it is unclosed (else only where the
    // tag's own scan looks for one).
    bool needs_greater_after_every_tag;
    // A declaration other than a DOCTYPE is skipped to its first '>' (else it records nothing
    // and the character data after it starts at its '<').
    bool declarations_skipped;
    // A quote that never closes inside a start tag leaves the tag unclosed (else it hides only
    // itself and the byte after it).
    bool unmatched_quote_is_unclosed;
};

template <ScanDialect Dialect>
class TagScanner {
public:
    TagScanner(std::string_view document, StructuralIndex& out) noexcept
        : document_(document),
          data_(reinterpret_cast<const unsigned char*>(document.data())),
          size_(document.size()),
          blocks_(document),
          recorder_(out)
    {}

    // The whole document at once. Throws std::bad_alloc when an array cannot grow.
    BuildResult run()
    {
        recorder_.start(document_);
        return run_until(SIZE_MAX);
    }

    void start_windows() noexcept { recorder_.start_windows(document_); }

    // The document is a buffer of a stream whose later bytes are still to come: wherever a
    // verdict would depend on bytes past the end, the scan stops with NeedMore instead, at the
    // character data before the tag it could not finish (see IndexWindows).
    void expect_more() noexcept { more_may_follow_ = true; }

    // The next `tags` tags at most. Throws std::bad_alloc when an array cannot grow.
    BuildResult next_window(std::size_t tags)
    {
        tag_start_ = scan_;
        recorder_.start_window(tags);
        return run_until(tags);
    }

    bool finished() const noexcept { return finished_; }
    std::uint64_t tag_start() const noexcept { return tag_start_; }

private:
    // Where the character data after a tag starts: where the scan resumes, one byte past
    // that, or at the tag's own '<' (the tag then belongs to the character data).
    enum class TextStart : std::uint8_t { AtResume, PastResume, AtTag };

    // What reading one tag gave: where the scan for the next '<' resumes and where the
    // character data after the tag starts; or a failure. Sixteen bytes, so it comes back in
    // registers.
    struct TagOutcome {
        std::uint64_t resume;
        BuildStatus status;
        TextStart text = TextStart::AtResume;
    };

    static constexpr TagOutcome ended_at(std::uint64_t end) noexcept { return {end + 1, BuildStatus::Ok}; }
    static constexpr TagOutcome failed(BuildStatus status) noexcept { return {0, status}; }

    // A tag that no '>' ends before the end of the buffer: unclosed, unless more may follow.
    TagOutcome unclosed() const noexcept
    {
        return failed(more_may_follow_ ? BuildStatus::NeedMore : BuildStatus::UnclosedTag);
    }

    // The tag at `p` waits for more bytes: the character data recorded before it is taken back,
    // so that the next buffer, starting where that data starts, records it again whole.
    [[gnu::cold]] BuildResult need_more_at(std::size_t p) noexcept
    {
        if (text_start_ < p) recorder_.drop_last_text();
        return {BuildStatus::NeedMore, text_start_};
    }

    // Reads tags until the current window holds `tag_limit` of them or the document ends; the
    // arrays then hold what was recorded.
    BuildResult run_until(std::size_t tag_limit)
    {
        const BuildResult result = scan_until(tag_limit);
        recorder_.settle();
        return result;
    }

    BuildResult scan_until(std::size_t tag_limit)
    {
        while (recorder_.window_tags() < tag_limit) {
            const std::size_t p = blocks_.find_less(scan_);
            if (p == size_) {
                finished_ = true;
                if (more_may_follow_) return {BuildStatus::NeedMore, text_start_};
                return {BuildStatus::Ok, 0};
            }
            tag_start_ = p;
            if (p + 1 == size_ && more_may_follow_) {
                finished_ = true;
                return {BuildStatus::NeedMore, text_start_};
            }
            recorder_.add_text(text_start_, p);
            if (p + 1 == size_) {
                finished_ = true;
                return {Dialect.last_less_than_is_unclosed ? BuildStatus::UnclosedTag : BuildStatus::Ok, p};
            }
            const TagOutcome outcome = read_tag(p);
            if (outcome.status != BuildStatus::Ok) {
                finished_ = true;
                if (outcome.status == BuildStatus::NeedMore) return need_more_at(p);
                return {outcome.status, outcome.status == BuildStatus::UnexpectedEnd ? size_ : p};
            }
            text_start_ = outcome.text == TextStart::AtTag
                              ? p
                              : outcome.resume + (outcome.text == TextStart::PastResume ? 1 : 0);
            scan_ = outcome.resume;
        }
        return {BuildStatus::Ok, 0};
    }

    // Start and end tags are read inline in the scan's loop; the rarer kinds out of line.
    [[gnu::always_inline]] TagOutcome read_tag(std::size_t p)
    {
        const unsigned char next = data_[p + 1];
        if (next == '/') {
            return read_end_tag(p);
        }
        if (next == '!') [[unlikely]] {
            return read_exclamation(p);
        }
        if (next == '?') [[unlikely]] {
            return read_instruction(p);
        }
        return read_start_tag(p);
    }

    [[gnu::noinline]] TagOutcome read_exclamation(std::size_t p)
    {
        if (more_may_follow_ && size_ - p < sizeof("<![CDATA[") - 1) {  // too short to tell the kind yet
            return failed(BuildStatus::NeedMore);
        }
        if (starts_with_at(document_, p + 2, "--")) {
            return read_section(p, TagKind::Comment, 4, "-->");
        }
        if (starts_with_at(document_, p + 2, "[CDATA[")) {
            return read_section(p, TagKind::CData, 9, "]]>");
        }
        if (starts_with_at(document_, p + 2, "DOCTYPE")) {
            return skip_doctype(p);
        }
        return skip_declaration(p);
    }

    // A comment or CDATA section: its contents (from `opening` bytes after the '<') end at
    // the first `terminator`; a CDATA section's contents are character data.
    TagOutcome read_section(std::size_t p, TagKind kind, std::size_t opening, std::string_view terminator)
    {
        const std::size_t close = find_sequence(document_, p + opening, terminator);
        if (close == size_) {
            return unterminated(p, kind, NameRange{}, p + opening);
        }
        const std::size_t end = close + 2;
        recorder_.add_tag(p, end, kind, NameRange{});
        if (kind == TagKind::CData) {
            recorder_.add_text(p + opening, close);
        }
        return ended_at(end);
    }

    // Ends at the first "?>" whose '?' lies at or after the end of the name, else at the last
    // byte of the document.
    [[gnu::noinline]] TagOutcome read_instruction(std::size_t p)
    {
        const std::size_t name_end = blocks_.find<kInstructionNameEnd>(p + 2);
        const NameRange name = name_between(p + 2, name_end);
        if (name_end == size_) {
            return unterminated(p, TagKind::ProcessingInstruction, name, size_);
        }
        const std::size_t close = find_sequence(document_, name_end, "?>");
        if (close == size_ && more_may_follow_) {
            return failed(BuildStatus::NeedMore);
        }
        if (close == size_ && Dialect.needs_greater_after_every_tag && no_greater_after(p)) {
            return failed(BuildStatus::UnclosedTag);
        }
        const std::size_t end = close == size_ ? size_ - 1 : close + 1;
        recorder_.add_tag(p, end, TagKind::ProcessingInstruction, name);
        return ended_at(end);
    }

    // A section or instruction that runs to the end of the document. The direct builder fails;
    // the quote-dense one records it with an end that the walk's termination checks reject
    // (two bytes before the document's end, never before `content`: the document's end for an
    // instruction whose name runs there), and goes on scanning from that end.
    TagOutcome unterminated(std::size_t p, TagKind kind, NameRange name, std::size_t content)
    {
        if (more_may_follow_) {
            return failed(BuildStatus::NeedMore);
        }
        if constexpr (Dialect.unterminated_fails) {
            recorder_.add_tag(p, size_, kind, name);
            return failed(BuildStatus::UnexpectedEnd);
        } else {
            if (no_greater_after(p)) {
                return failed(BuildStatus::UnclosedTag);
            }
            const std::size_t end = std::max(size_ - 2, content);
            recorder_.add_tag(p, end, kind, name);
            return {end, BuildStatus::Ok, TextStart::PastResume};
        }
    }

    // <!DOCTYPE ...> ends at the '>' outside its literals and internal subset; one whose
    // literal or subset never closes ends at the first '>', like any other declaration.
    // Nothing is recorded, and the character data after it starts past its end.
    TagOutcome skip_doctype(std::size_t p)
    {
        if (!doctype_scan_failed_) {
            const std::size_t end = doctype_end(document_, p);
            if (end != size_) {
                return ended_at(end);
            }
            if (more_may_follow_) {
                return failed(BuildStatus::NeedMore);
            }
            // A later DOCTYPE would scan to the end again: the fallback serves them all.
            doctype_scan_failed_ = true;
        }
        const std::size_t close = next_greater_.find(document_, p);
        if (close == size_) {
            return no_declaration_end(p);
        }
        return ended_at(close);
    }

    // Any other declaration: the direct builder skips it to its first '>'; the quote-dense
    // builder records nothing, starts the next run of character data at its '<' (the run
    // before it was recorded when that '<' was met, so no byte lands in two runs) and looks
    // for the next '<' inside it.
    TagOutcome skip_declaration(std::size_t p)
    {
        const std::size_t close = next_greater_.find(document_, p);
        if (close == size_) {
            return no_declaration_end(p);
        }
        if constexpr (Dialect.declarations_skipped) {
            return ended_at(close);
        } else {
            return {p + 1, BuildStatus::Ok, TextStart::AtTag};
        }
    }

    // A declaration with no '>' after it: the direct builder skips only its '<'.
    TagOutcome no_declaration_end(std::size_t p) const noexcept
    {
        if (more_may_follow_) {
            return failed(BuildStatus::NeedMore);
        }
        if constexpr (Dialect.needs_greater_after_every_tag) {
            return failed(BuildStatus::UnclosedTag);
        } else {
            return ended_at(p);
        }
    }

    [[gnu::always_inline]] TagOutcome read_end_tag(std::size_t p)
    {
        const std::size_t name_end = blocks_.find<kEndTagNameEnd>(p + 2);
        if (name_end == size_) {
            return unclosed();
        }
        // Most end tags close right after the name.
        const std::size_t end = data_[name_end] == '>' ? name_end : blocks_.find<kGreater>(name_end);
        if (end == size_) {
            return unclosed();
        }
        recorder_.add_tag(p, end, TagKind::Close, name_between(p + 2, name_end));
        return ended_at(end);
    }

    [[gnu::always_inline]] TagOutcome read_start_tag(std::size_t p)
    {
        const std::size_t name_end = blocks_.find<kStartTagNameEnd>(p + 1);
        if (name_end == size_) {
            return unclosed();
        }
        const StartTagEnd found = find_start_tag_end(name_end);
        if (found.end == size_) {
            return unclosed();
        }
        recorder_.add_tag(p, found.end, found.kind, name_between(p + 1, name_end));
        return ended_at(found.end);
    }

    struct StartTagEnd {
        std::size_t end;  // the document size when the tag never ends
        TagKind kind;
    };

    // The '>' that ends a start tag, from the end of its name: a quote hides everything up to
    // the next byte equal to it; "/>" ends a self-closing tag and a lone '>' an open one. A
    // quote that never closes: the direct builder resumes two bytes after it, the quote-dense
    // builder finds the tag unclosed.
    StartTagEnd find_start_tag_end(std::size_t at) noexcept
    {
        if (data_[at] == '>') {  // most often right after the name
            return {at, TagKind::Open};
        }
        while (at < size_) {
            const BlockStep step = start_tag_end_in_block(at);
            if (step.found) {
                return step.end;
            }
            at = step.next;
        }
        return {size_, TagKind::Open};
    }

    // What one block tells of a start tag's end: the end, or where the search goes on.
    struct BlockStep {
        bool found;
        StartTagEnd end;
        std::size_t next;
    };

    // The search above within the block holding `at`, on copies of its masks: attribute values
    // that open and close in the block are passed over bit by bit, without a search each.
    BlockStep start_tag_end_in_block(std::size_t at) noexcept
    {
        const std::size_t block_start = blocks_.block_holding(at);
        const kernels::MarkupMasks masks = blocks_.masks();
        const std::uint64_t from_at = ~std::uint64_t{0} << (at - block_start);
        if ((masks.apostrophe & from_at) == 0) {
            return start_tag_end_between_double_quotes(block_start, masks, from_at);
        }
        std::uint64_t stops = (masks.double_quote | masks.apostrophe | masks.slash | masks.greater) & from_at;
        while (stops != 0) {
            const std::uint64_t bit = stops & (0 - stops);
            const std::size_t stop = block_start + static_cast<std::size_t>(__builtin_ctzll(stops));
            if ((masks.greater & bit) != 0) {
                return {true, {stop, TagKind::Open}, 0};
            }
            if ((masks.slash & bit) != 0) {
                if (stop + 1 < size_ && data_[stop + 1] == '>') {
                    return {true, {stop + 1, TagKind::SelfClosing}, 0};
                }
                stops &= stops - 1;
                continue;
            }
            const std::uint64_t same_quote = (masks.double_quote & bit) != 0 ? masks.double_quote : masks.apostrophe;
            const std::uint64_t above = ~((bit << 1) - 1);  // no bit when the quote is the block's last byte
            if (const std::uint64_t closing = same_quote & above; closing != 0) {
                stops &= ~(((closing & (0 - closing)) << 1) - 1);
                continue;
            }
            return past_value(stop);
        }
        return {false, {}, block_start + kernels::kMarkupBlock};
    }

    // The same where the block holds no apostrophe from `at` on, the common case: every byte
    // between a quote and the next lies in a value, so the values are the runs of odd prefix
    // parity of the quotes, and the first '/' or '>' outside them is found without a loop over
    // the quotes.
    BlockStep start_tag_end_between_double_quotes(std::size_t block_start, const kernels::MarkupMasks& masks,
                                                  std::uint64_t from_at) noexcept
    {
        const std::uint64_t quotes = masks.double_quote & from_at;
        const std::uint64_t in_value = prefix_parity(quotes);
        std::uint64_t stops = (masks.slash | masks.greater) & from_at & ~in_value;
        for (; stops != 0; stops &= stops - 1) {
            const std::size_t stop = block_start + static_cast<std::size_t>(__builtin_ctzll(stops));
            if ((masks.greater & stops & (0 - stops)) != 0) {
                return {true, {stop, TagKind::Open}, 0};
            }
            if (stop + 1 < size_ && data_[stop + 1] == '>') {
                return {true, {stop + 1, TagKind::SelfClosing}, 0};
            }
        }
        if ((in_value >> 63) == 0) {  // every value opened here closes here
            return {false, {}, block_start + kernels::kMarkupBlock};
        }
        return past_value(block_start + 63 - static_cast<std::size_t>(__builtin_clzll(quotes)));
    }

    // Bit i set when the bits 0 to i of `bits` hold an odd count.
    static std::uint64_t prefix_parity(std::uint64_t bits) noexcept
    {
        for (unsigned shift = 1; shift < 64; shift *= 2) {
            bits ^= bits << shift;
        }
        return bits;
    }

    // The search goes on after the value whose quote at `quote` closes in a later block or
    // never.
    BlockStep past_value(std::size_t quote) noexcept
    {
        const std::size_t close = blocks_.find_quote(quote + 1, data_[quote]);
        if (close == size_ && (Dialect.unmatched_quote_is_unclosed || more_may_follow_)) {
            return {true, {size_, TagKind::Open}, 0};
        }
        return {false, {}, close == size_ ? quote + 2 : close + 1};
    }

    bool no_greater_after(std::size_t p) noexcept { return next_greater_.find(document_, p + 1) == size_; }

    std::string_view document_;
    const unsigned char* data_;
    std::size_t size_;
    MarkupBlocks blocks_;
    IndexRecorder recorder_;
    std::uint64_t text_start_ = 0;  // where the character data before the next '<' starts
    std::size_t scan_ = 0;          // where the search for the next '<' starts
    std::uint64_t tag_start_ = 0;
    bool finished_ = false;  // the document ended or a tag failed
    bool doctype_scan_failed_ = false;
    bool more_may_follow_ = false;
    RememberedSearch next_greater_{'>'};
};

// The whole document at once with the scanner of `Dialect`.
template <ScanDialect Dialect>
BuildResult build_whole(std::string_view document, StructuralIndex& out) noexcept
{
    TagScanner<Dialect> builder(document, out);
    try {
        return builder.run();
    } catch (const std::bad_alloc&) {
        return {BuildStatus::OutOfMemory, builder.tag_start()};
    }
}

}  // namespace brindle::index::detail
