#include "node/node_arena.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "memory/kept_pages.hpp"

namespace brindle::node {

namespace {

// Chunks double from 16 KiB (a small document costs one small block) up to 32 MiB. Chunks from
// 256 KiB up are whole pages, kept for the next read within the process's bound or returned to
// the system when the tree dies, whatever else the C allocator holds.
constexpr std::size_t kFirstChunk = std::size_t{16} << 10;
constexpr std::size_t kLargestDoubling = std::size_t{32} << 20;

// A chunk of at least `size` bytes; returns its memory and sets `size` to what it holds. A kept
// block up to twice the size serves: a larger one would leave most of its pages idle.
void* allocate_chunk(std::size_t& size)
{
    if (size >= memory::kPagedFrom) {
        const memory::Pages pages = memory::take_pages(size, 2 * size);
        size = pages.size;
        return pages.data;
    }
    void* memory = std::malloc(size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

}  // namespace

struct NodeArena::Chunk {
    Chunk* older;
    std::size_t size;  // of the whole chunk, this header included
    bool paged;        // pages of the store, else a block of the C allocator
};

NodeArena* NodeArena::create(std::size_t first_chunk)
{
    auto* arena = new NodeArena();
    arena->next_chunk_size_ = first_chunk == 0 ? kFirstChunk : first_chunk;
    return arena;
}

NodeArena::~NodeArena()
{
    while (chunks_ != nullptr) {
        Chunk* older = chunks_->older;
        if (chunks_->paged) {
            memory::give_back_pages({reinterpret_cast<char*>(chunks_), chunks_->size});
        } else {
            std::free(chunks_);
        }
        chunks_ = older;
    }
    memory::give_back_pages(adopted_);
}

void NodeArena::release(NodeArena* arena, std::size_t count) noexcept
{
    arena->references_ -= count;
    if (arena->references_ == 0) delete arena;
}

void NodeArena::add_chunk(std::size_t at_least)
{
    std::size_t size = std::max(next_chunk_size_, at_least + sizeof(Chunk));
    void* memory = allocate_chunk(size);
    chunks_ = new (memory) Chunk{chunks_, size, size >= memory::kPagedFrom};
    reserved_ += size;
    next_ = static_cast<char*>(memory) + sizeof(Chunk);
    end_ = static_cast<char*>(memory) + size;
    next_chunk_size_ = std::min(next_chunk_size_ * 2, kLargestDoubling);
}

void NodeArena::finish_filling() noexcept
{
    if (chunks_ == nullptr || !chunks_->paged) return;
    // The unused pages at the end of the newest chunk go back to the system: a tree that lives
    // on holds only the pages it uses, and the store, once the tree dies, keeps and counts only
    // pages that were written (those past the end of a kept chunk were written by an earlier
    // read, but this one has no use for them).
    memory::Pages pages{reinterpret_cast<char*>(chunks_), chunks_->size};
    memory::shrink_pages(pages, static_cast<std::size_t>(next_ - pages.data));
    reserved_ -= chunks_->size - pages.size;
    chunks_->size = pages.size;
    end_ = pages.data + pages.size;
}

}  // namespace brindle::node
