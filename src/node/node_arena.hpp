// The memory of one read's nodes: every node of a read tree, with its attribute table and its
// longer name and text, is carved from a few large chunks that belong to the read, not from the
// C allocator one block at a time. Making a node is a pointer bump; a node's death frees
// nothing but a count; the last node of the tree to die gives every chunk back at once: small
// chunks to the C allocator, chunks of whole pages to the per-process store of kept pages
// (memory/kept_pages.hpp), which keeps them for the next call within its bound and returns the
// rest to the system. A node that outlives the rest of its tree keeps all of the tree's memory.
//
// The arena is filled by one thread, without the interpreter lock, before any of its nodes is
// shown to Python; from then on its count changes only with the lock held.
#pragma once

#include <cstddef>

#include "memory/kept_pages.hpp"

namespace brindle::node {

class NodeArena {
public:
    // A new arena holding one reference, its maker's. Throws std::bad_alloc. `first_chunk`: the
    // size of its first chunk (0 for the default), for a maker that knows roughly what it needs.
    static NodeArena* create(std::size_t first_chunk = 0);

    // The bytes carved so far (with the unused ends of chunks before the newest).
    std::size_t bytes_used() const noexcept { return reserved_ - static_cast<std::size_t>(end_ - next_); }

    // `size` bytes aligned for any node field, valid until the arena is freed.
    // Throws std::bad_alloc.
    void* allocate(std::size_t size)
    {
        size = (size + 7) & ~std::size_t{7};
        if (size > static_cast<std::size_t>(end_ - next_)) [[unlikely]]
            add_chunk(size);
        char* memory = next_;
        next_ += size;
        return memory;
    }

    // Once the maker has carved all it will: gives back the pages of the newest chunk that no
    // node uses.
    void finish_filling() noexcept;

    // Takes over a block of pages that a node of the arena lives in (the collected element,
    // made in the block that gathered its children): it goes back with the arena's chunks.
    // At most one per arena.
    void adopt(memory::Pages pages) noexcept { adopted_ = pages; }

    // One reference per node carved from the arena, plus the maker's until it lets go.
    void add_reference() noexcept { ++references_; }
    // Drops `count` references (one by default); the last frees the arena and all its chunks.
    static void release(NodeArena* arena, std::size_t count = 1) noexcept;

private:
    struct Chunk;

    NodeArena() = default;
    ~NodeArena();
    void add_chunk(std::size_t at_least);

    Chunk* chunks_ = nullptr;  // the newest first
    char* next_ = nullptr;
    char* end_ = nullptr;  // of the newest chunk
    std::size_t next_chunk_size_;
    std::size_t references_ = 1;
    std::size_t reserved_ = 0;  // the chunks' sizes, added up
    memory::Pages adopted_;
};

}  // namespace brindle::node
