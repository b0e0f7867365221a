// The character data of the open collected elements, in one buffer used as a stack.
//
// A child's text is always complete (and taken out) before its parent's text continues, so
// every open element's pieces form one contiguous run at the end of the buffer, above its
// parent's. An element whose text is a single undecoded run (the common case) never copies
// it into the buffer: the run is kept as a view of the document until the element ends.
#pragma once

#include <cstddef>
#include <string_view>

#include "reader/text/text_buffer.hpp"

namespace brindle::reader {

class TextAccumulator {
public:
    // Where one element's text begins; held by the walk for each open element.
    struct Mark {
        std::size_t begin;
        std::string_view pending;  // the element's only piece so far, not yet in the buffer
    };

    Mark open() const noexcept { return {buffer_.size(), {}}; }
    // The mark below every element's: releasing it empties the accumulator.
    static Mark open_at_bottom() noexcept { return {0, {}}; }

    // Whether the element has no text yet.
    bool holds_nothing(const Mark& mark) const noexcept { return mark.pending.empty() && buffer_.size() == mark.begin; }

    // Appends a piece that stays valid while the walk runs (a run of the document). Inline: the
    // walk appends every run of its elements' text.
    [[gnu::always_inline]] void append_lasting(Mark& mark, std::string_view piece)
    {
        if (piece.empty()) return;
        if (holds_nothing(mark)) {
            mark.pending = piece;
            return;
        }
        buffer_for(mark).append(piece);
    }

    // The buffer to append decoded text to, once the element's earlier pieces are in it.
    TextBuffer& buffer_for(Mark& mark)
    {
        if (!mark.pending.empty()) {
            buffer_.append(mark.pending);
            mark.pending = {};
        }
        return buffer_;
    }

    // The element's text so far, untrimmed: valid until the next change to the accumulator.
    std::string_view text_of(const Mark& mark) const noexcept
    {
        return mark.pending.empty() ? buffer_.view(mark.begin) : mark.pending;
    }

    // The element's text, trimmed of Unicode white space (empty when nothing remains): a
    // view of the document when `mark` still holds its only piece, else of the buffer, valid
    // until the next change to the accumulator.
    std::string_view trimmed(const Mark& mark) const noexcept;

    // The element has ended: its pieces leave the buffer.
    void release(const Mark& mark) noexcept { buffer_.truncate(mark.begin); }

private:
    TextBuffer buffer_;
};

}  // namespace brindle::reader
