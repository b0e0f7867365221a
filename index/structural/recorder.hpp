#pragma once
// Appends entries to a StructuralIndex; shared by both builders. Internal to the index.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "index/structural/structural_index.hpp"

namespace brindle::index::detail {

class IndexRecorder {
public:
    explicit IndexRecorder(StructuralIndex& out) noexcept : out_(out) {}

    // Empties the index (its arrays keep the memory they hold), borrows the document and
    // sizes the arrays from its length: per-tag arrays get room for length / 128 entries from
    // 128 bytes on, text_ranges for length / 256 above 255 bytes. Throws std::bad_alloc.
    void start(std::string_view document)
    {
        start_windows(document);
        if (length_ >= 128) {
            reserve_tags(length_ / 128);
        }
        if (length_ > 255) {
            out_.text_ranges.reserve(length_ / 256);
        }
    }

    // Empties the index and borrows the document, sizing no array: building a window at a
    // time, the arrays are sized by each window.
    void start_windows(std::string_view document) noexcept
    {
        clear_all();
        out_.document = document;
        length_ = document.size();
    }

    // Empties the arrays for the next window of at most `tags` tags (each with up to two runs
    // of character data: the one before it and a CDATA section's contents). Throws
    // std::bad_alloc.
    void start_window(std::size_t tags)
    {
        clear_all();
        reserve_tags(tags);
        out_.text_ranges.reserve(tags + 1);
    }

    std::size_t window_tags() const noexcept { return tags_; }

    // Records one tag: written in place, the arrays' sizes set by settle().
    [[gnu::always_inline]] void add_tag(std::uint64_t start, std::uint64_t end, TagKind kind, NameRange name)
    {
        if (tags_ == tag_room_) [[unlikely]] {
            grow_tags(start);
        }
        out_.tag_starts.data()[tags_] = start;
        out_.tag_ends.data()[tags_] = end;
        out_.tag_kinds.data()[tags_] = kind;
        out_.tag_names.data()[tags_] = name;
        ++tags_;
    }

    // Records the character data [start, end) when it is not empty.
    [[gnu::always_inline]] void add_text(std::uint64_t start, std::uint64_t end)
    {
        if (start < end) {
            if (texts_ == out_.text_ranges.capacity()) [[unlikely]] {
                grow_texts(start);
            }
            out_.text_ranges.data()[texts_] = TextRange{start, end};
            ++texts_;
        }
    }

    // Takes back the run of character data recorded last.
    void drop_last_text() noexcept { --texts_; }

    // Gives the arrays the sizes of the entries recorded: done whenever a scan stops, and
    // before an array grows (which keeps only the entries within its size).
    void settle() noexcept
    {
        out_.tag_starts.fill_to(tags_);
        out_.tag_ends.fill_to(tags_);
        out_.tag_kinds.fill_to(tags_);
        out_.tag_names.fill_to(tags_);
        out_.text_ranges.fill_to(texts_);
    }

private:
    [[gnu::noinline]] void grow_tags(std::uint64_t offset)
    {
        settle();
        reserve_tags(grown_capacity(tags_, offset));
    }

    [[gnu::noinline]] void grow_texts(std::uint64_t offset)
    {
        settle();
        out_.text_ranges.reserve(grown_capacity(texts_, offset));
    }

    // Room for the entries of the whole document, judged from how many `count` entries the
    // bytes before `offset` needed, so a tag-dense document grows once or twice instead of
    // doubling from the small initial size: at least double, at most sixteen times the count,
    // and never more than one entry per byte (tags start at distinct bytes).
    std::size_t grown_capacity(std::size_t count, std::uint64_t offset) const noexcept
    {
        const std::size_t at_least = count < 8 ? 16 : 2 * count;
        const double per_byte = static_cast<double>(count) / static_cast<double>(offset + 1);
        const double estimate = std::min(per_byte * static_cast<double>(length_) * 1.125,
                                         static_cast<double>(length_) + 1);
        const std::size_t wanted = std::clamp(static_cast<std::size_t>(estimate), at_least, 8 * at_least);
        return std::max(std::min(wanted, length_ + 1), count + 1);
    }

    void clear_all() noexcept
    {
        out_.tag_starts.clear();
        out_.tag_ends.clear();
        out_.tag_kinds.clear();
        out_.tag_names.clear();
        out_.text_ranges.clear();
        tags_ = 0;
        texts_ = 0;
        tag_room_ = room_of_tag_arrays();
    }

    void reserve_tags(std::size_t count)
    {
        out_.tag_starts.reserve(count);
        out_.tag_ends.reserve(count);
        out_.tag_kinds.reserve(count);
        out_.tag_names.reserve(count);
        tag_room_ = room_of_tag_arrays();
    }

    // The tags all four arrays have room for (an index given to the builder may hold arrays of
    // different capacities).
    std::size_t room_of_tag_arrays() const noexcept
    {
        return std::min({out_.tag_starts.capacity(), out_.tag_ends.capacity(), out_.tag_kinds.capacity(),
                         out_.tag_names.capacity()});
    }

    StructuralIndex& out_;
    std::size_t length_ = 0;
    std::size_t tags_ = 0;  // recorded in the arrays, which settle() makes their size
    std::size_t texts_ = 0;
    std::size_t tag_room_ = 0;  // the tags the arrays have room for
};

// The name [start, end) as a NameRange, with its full length.
inline NameRange name_between(std::uint64_t start, std::uint64_t end) noexcept { return NameRange{start, end - start}; }

}  // namespace brindle::index::detail
