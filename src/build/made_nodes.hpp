// The nodes a read has made and not yet given to a parent, in document order: the children of
// the open elements, each element's after those of the elements around it.
//
// One block of the raw allocator, with room for a node's fixed fields before the first entry.
// The collected element takes every entry at its end tag, so it becomes a node in this very
// block, its children already in place: a document's widest element is usually its root, and
// copying millions of references into a new block cost a tenth of reading a node-dense one.
#pragma once

#include <cstddef>
#include <span>

#include "ffi/py_ref.hpp"
#include "memory/kept_pages.hpp"
#include "node/node.hpp"

namespace brindle::build {

class MadeNodes {
public:
    MadeNodes() = default;
    MadeNodes(const MadeNodes&) = delete;
    MadeNodes& operator=(const MadeNodes&) = delete;
    ~MadeNodes();  // with the lock held: releases the entries

    std::size_t size() const noexcept { return size_; }
    std::size_t capacity() const noexcept { return capacity_; }
    // Whether the block is pages (see take_block).
    bool holds_pages() const noexcept { return mapped_bytes_ != 0; }
    ffi::PyRef* entries() const noexcept
    {
        return block_ == nullptr ? nullptr : reinterpret_cast<ffi::PyRef*>(block_ + kNodeRoom);  // none before a block
    }
    // The entries from `first` on.
    std::span<ffi::PyRef> from(std::size_t first) const noexcept { return {entries() + first, size_ - first}; }

    // Room for `count` entries; throws std::bad_alloc. `untouched`: most of the room will stay
    // unused (a guess from a document's size), so kept pages, already written, would be wasted
    // on it.
    void reserve(std::size_t count, bool untouched = false);
    // Room for one more entry; throws std::bad_alloc, leaving the list as it was.
    void make_room_for_one()
    {
        if (size_ == capacity_) [[unlikely]]
            reserve(capacity_ == 0 ? kFirstCapacity : capacity_ * 2);
    }
    // After make_room_for_one: cannot fail, so a node made unlocked is never dropped unlocked.
    void push_back(ffi::PyRef&& node) noexcept
    {
        new (entries() + size_) ffi::PyRef(std::move(node));
        ++size_;
    }
    // Drops the entries from `size` on.
    void truncate(std::size_t size) noexcept;
    // Drops the entries from `size` on that a node has taken over: emptied, nothing to release.
    void forget_taken(std::size_t size) noexcept { size_ = size; }

    // Hands over a block with every entry: room for a node's fixed fields, then size() entries,
    // then `extra` bytes. That is the list's own block resized to fit, or for a few entries a new
    // block they are moved to. A block of pages (`mapped` then says which) goes back with
    // give_back_pages; any other, with PyMem_RawFree. The list is left empty. Throws
    // std::bad_alloc when no block can be had, leaving the list as it was.
    void* take_block(std::size_t extra, memory::Pages& mapped);

private:
    static constexpr std::size_t kNodeRoom = sizeof(node::NodeObject);
    static constexpr std::size_t kFirstCapacity = 64;

    void move_to_pages(std::size_t bytes, bool untouched);

    char* block_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t mapped_bytes_ = 0;  // of the block, when it is pages; 0 otherwise
};

}  // namespace brindle::build
