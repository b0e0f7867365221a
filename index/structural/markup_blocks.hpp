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
    kSpace = 64,
};

class MarkupBlocks {
public:
    explicit MarkupBlocks(std::string_view document) noexcept
        : data_(reinterpret_cast<const unsigned char*>(document.data())),
          size_(document.size()),
          kernels_(kernels::active()) {}

    // Offset of the first byte in [from, size) of one of `Classes`, or the document size.
    template <unsigned Classes>
    std::size_t find(std::size_t from) noexcept {
        while (from < size_) {
            const std::size_t offset = offset_in_block(from);  // first: it may classify a block
            const std::uint64_t hits = select<Classes>(masks_) >> offset;
            if (hits != 0) [[likely]] {
                return from + static_cast<std::size_t>(__builtin_ctzll(hits));
            }
            from = block_start_ + kernels::kMarkupBlock;
        }
        return size_;
    }

    // The next '<' at or after `from`: from the masks when it lies in from's block or the next,
    // else by the kernel's search, which crosses text faster than classifying it would.
    std::size_t find_less(std::size_t from) noexcept {
        if (from >= size_) {
            return size_;
        }
        const std::size_t offset = offset_in_block(from);  // first: it may classify a block
        if (const std::uint64_t hits = masks_.less >> offset; hits != 0) {
            return from + static_cast<std::size_t>(__builtin_ctzll(hits));
        }
        const std::size_t next = block_start_ + kernels::kMarkupBlock;
        if (next >= size_) {
            return size_;
        }
        classify(next);
        if (masks_.less != 0) {
            return next + static_cast<std::size_t>(__builtin_ctzll(masks_.less));
        }
        return kernels_.find_byte(data_, size_, next + kernels::kMarkupBlock, '<');
    }

    // The start of the block holding `at` (< size), whose masks masks() then gives.
    std::size_t block_holding(std::size_t at) noexcept {
        offset_in_block(at);
        return block_start_;
    }

    const kernels::MarkupMasks& masks() const noexcept { return masks_; }

    // The next quote equal to `quote` ('"' or '\'') at or after `from`.
    std::size_t find_quote(std::size_t from, unsigned char quote) noexcept {
        return quote == '"' ? find<kDoubleQuote>(from) : find<kApostrophe>(from);
    }

private:
    template <unsigned Classes>
    static std::uint64_t select(const kernels::MarkupMasks& masks) noexcept {
        std::uint64_t selected = 0;
        if constexpr ((Classes & kLess) != 0) selected |= masks.less;
        if constexpr ((Classes & kGreater) != 0) selected |= masks.greater;
        if constexpr ((Classes & kSlash) != 0) selected |= masks.slash;
        if constexpr ((Classes & kQuestion) != 0) selected |= masks.question;
        if constexpr ((Classes & kDoubleQuote) != 0) selected |= masks.double_quote;
        if constexpr ((Classes & kApostrophe) != 0) selected |= masks.apostrophe;
        if constexpr ((Classes & kSpace) != 0) selected |= masks.space;
        return selected;
    }

    // Where `at` (< size) lies in the block masks_ describes, after classifying the block that
    // holds it if masks_ describes another one.
    std::size_t offset_in_block(std::size_t at) noexcept {
        const std::size_t offset = at - block_start_;  // wraps around when at lies before the block
        if (offset >= kernels::kMarkupBlock) [[unlikely]] {
            classify(at / kernels::kMarkupBlock * kernels::kMarkupBlock);
            return at - block_start_;
        }
        return offset;
    }

    // The last block, shorter than 64 bytes, is classified from a copy padded with zero
    // bytes, which belong to no class: no read past the document, no hit past its end.
    [[gnu::noinline]] void classify(std::size_t start) noexcept {
        if (size_ - start >= kernels::kMarkupBlock) {
            kernels_.classify_markup(data_ + start, masks_);
        } else {
            unsigned char padded[kernels::kMarkupBlock] = {};
            std::memcpy(padded, data_ + start, size_ - start);
            kernels_.classify_markup(padded, masks_);
        }
        block_start_ = start;
    }

    const unsigned char* data_;
    std::size_t size_;
    const kernels::KernelTable& kernels_;
    // Where the block masks_ describes starts; at first none, and no offset lies within
    // 64 bytes after this start.
    std::size_t block_start_ = SIZE_MAX - (kernels::kMarkupBlock - 1);
    kernels::MarkupMasks masks_{};
};

}  // namespace brindle::index::detail
