#pragma once
// The document seen as 64-byte blocks, each classified once by the active kernel into masks of
// the bytes that end names, values and tags. A search inside markup is then a mask, a shift
// and a trailing-zero count instead of a byte loop whose exit mispredicts; the tag scan keeps
// the masks of the block it is in, and tags are dense enough that most searches stay there.
// Long stretches without markup are crossed by the kernel's find_byte instead, so text is
// never classified byte by byte. Internal to the index.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "kernels/kernels.hpp"

namespace brindle::index::detail {

// Which masks a search stops at.
enum MarkupClass : unsigned {
    kLess = 1,
    kGreater = 2,
    kSlash = 4,
    kQuestion = 8,
    kDoubleQuote = 16,
    kApostrophe = 32,
    kTagSpace = 64,
};

// Where a name ends: in an instruction, in an end tag, in a start tag.
inline constexpr unsigned kInstructionNameEnd = kTagSpace | kGreater | kQuestion;
inline constexpr unsigned kEndTagNameEnd = kTagSpace | kGreater;
inline constexpr unsigned kStartTagNameEnd = kTagSpace | kSlash | kGreater;

class MarkupBlocks {
public:
    explicit MarkupBlocks(std::string_view document) noexcept
        : data_(reinterpret_cast<const unsigned char*>(document.data())),
          size_(document.size()),
          kernels_(kernels::active())
    {}
    MarkupBlocks(const MarkupBlocks&) = delete;  // current_ points into the object
    MarkupBlocks& operator=(const MarkupBlocks&) = delete;

    // Offset of the first byte in [from, size) of one of `Classes`, or the document size.
    template <unsigned Classes>
    std::size_t find(std::size_t from) noexcept
    {
        while (from < size_) {
            const std::size_t offset = offset_in_block(from);  // first: it may move to another block
            const std::uint64_t hits = select<Classes>(masks()) >> offset;
            if (hits != 0) [[likely]] {
                return from + static_cast<std::size_t>(__builtin_ctzll(hits));
            }
            from = block_start_ + kernels::kMarkupBlock;
        }
        return size_;
    }

    // The next '<' at or after `from`: from the masks when it lies in from's block or the next,
    // else by the kernel's search, which crosses text faster than classifying it would.
    std::size_t find_less(std::size_t from) noexcept
    {
        if (from >= size_) {
            return size_;
        }
        const std::size_t offset = offset_in_block(from);  // first: it may move to another block
        if (const std::uint64_t hits = masks().less >> offset; hits != 0) {
            return from + static_cast<std::size_t>(__builtin_ctzll(hits));
        }
        const std::size_t next = block_start_ + kernels::kMarkupBlock;
        if (next >= size_) {
            return size_;
        }
        if (const std::uint64_t hits = following_masks().less; hits != 0) {
            return next + static_cast<std::size_t>(__builtin_ctzll(hits));
        }
        return kernels_.find_byte(data_, size_, next + kernels::kMarkupBlock, '<');
    }

    // The start of the block holding `at` (< size), whose masks masks() then gives.
    std::size_t block_holding(std::size_t at) noexcept
    {
        offset_in_block(at);
        return block_start_;
    }

    // The masks of the current block.
    const kernels::MarkupMasks& masks() const noexcept { return *current_; }

    // The next quote equal to `quote` ('"' or '\'') at or after `from`.
    std::size_t find_quote(std::size_t from, unsigned char quote) noexcept
    {
        return quote == '"' ? find<kDoubleQuote>(from) : find<kApostrophe>(from);
    }

private:
    template <unsigned Classes>
    static std::uint64_t select(const kernels::MarkupMasks& masks) noexcept
    {
        std::uint64_t selected = 0;
        if constexpr ((Classes & kLess) != 0) selected |= masks.less;
        if constexpr ((Classes & kGreater) != 0) selected |= masks.greater;
        if constexpr ((Classes & kSlash) != 0) selected |= masks.slash;
        if constexpr ((Classes & kQuestion) != 0) selected |= masks.question;
        if constexpr ((Classes & kDoubleQuote) != 0) selected |= masks.double_quote;
        if constexpr ((Classes & kApostrophe) != 0) selected |= masks.apostrophe;
        if constexpr ((Classes & kTagSpace) != 0) selected |= masks.tag_space;
        return selected;
    }

    // Blocks alternate between two slots, so the current block and the one after it are both
    // at hand.
    static std::size_t slot_of(std::size_t block_start) noexcept { return block_start / kernels::kMarkupBlock % 2; }

    // The masks of the block after the current one, which lies inside the document.
    const kernels::MarkupMasks& following_masks() const noexcept { return slots_[1 - slot_of(block_start_)]; }

    // Where `at` (< size) lies in the current block, after moving to the block that holds it.
    std::size_t offset_in_block(std::size_t at) noexcept
    {
        const std::size_t offset = at - block_start_;  // wraps around when at lies before the block
        if (offset >= kernels::kMarkupBlock) [[unlikely]] {
            move_to(at / kernels::kMarkupBlock * kernels::kMarkupBlock);
            return at - block_start_;
        }
        return offset;
    }

    // Makes the block at `start` the current one and classifies the block after it ahead of
    // need: the scan mostly moves on to that block, whose masks are then ready, and nothing
    // waits for the classification of the one after.
    [[gnu::noinline]] void move_to(std::size_t start) noexcept
    {
        if (start != block_start_ + kernels::kMarkupBlock) {
            classify(start);
        }
        block_start_ = start;
        current_ = &slots_[slot_of(start)];
        if (size_ - start > kernels::kMarkupBlock) {
            classify(start + kernels::kMarkupBlock);
        }
    }

    // The last block, shorter than 64 bytes, is classified from a copy padded with zero
    // bytes, which belong to no class: no read past the document, no hit past its end.
    void classify(std::size_t start) noexcept
    {
        kernels::MarkupMasks& masks = slots_[slot_of(start)];
        if (size_ - start >= kernels::kMarkupBlock) {
            kernels_.classify_markup(data_ + start, masks);
        } else {
            unsigned char padded[kernels::kMarkupBlock] = {};
            std::memcpy(padded, data_ + start, size_ - start);
            kernels_.classify_markup(padded, masks);
        }
    }

    const unsigned char* data_;
    std::size_t size_;
    const kernels::KernelTable& kernels_;
    // Where the current block starts; at first none: no offset lies within 64 bytes after
    // this start, and no block starts 64 bytes after it. The block after the current one is
    // classified too when it lies in the document.
    std::size_t block_start_ = SIZE_MAX - (2 * kernels::kMarkupBlock - 1);
    kernels::MarkupMasks slots_[2]{};
    const kernels::MarkupMasks* current_ = &slots_[0];  // the current block's slot
};

}  // namespace brindle::index::detail
