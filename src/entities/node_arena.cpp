#include "entities/node_arena.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <new>

namespace brindle {

namespace {

// Chunks double from 16 KiB (a small document costs one small block) up to 32 MiB. Chunks from
// 256 KiB up come straight from the system, so freeing them returns them at once, whatever else
// the C allocator holds.
constexpr std::size_t kFirstChunk = std::size_t{16} << 10;
constexpr std::size_t kLargestDoubling = std::size_t{32} << 20;
constexpr std::size_t kMappedFrom = std::size_t{256} << 10;

// A chunk of `size` bytes.
void* allocate_chunk(std::size_t size)
{
    if (size >= kMappedFrom) {
        void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) throw std::bad_alloc();
        return memory;
    }
    void* memory = std::malloc(size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

}  // namespace

struct NodeArena::Chunk {
    Chunk* older;
    std::size_t size;  // of the whole chunk, this header included
};

NodeArena* NodeArena::create()
{
    auto* arena = new NodeArena();
    arena->next_chunk_size_ = kFirstChunk;
    return arena;
}

NodeArena::~NodeArena()
{
    while (chunks_ != nullptr) {
        Chunk* older = chunks_->older;
        if (chunks_->size >= kMappedFrom) {
            munmap(chunks_, chunks_->size);
        } else {
            std::free(chunks_);
        }
        chunks_ = older;
    }
}

void NodeArena::release(NodeArena* arena) noexcept
{
    if (--arena->references_ == 0) delete arena;
}

void NodeArena::add_chunk(std::size_t at_least)
{
    const std::size_t size = std::max(next_chunk_size_, at_least + sizeof(Chunk));
    void* memory = allocate_chunk(size);
    chunks_ = new (memory) Chunk{chunks_, size};
    next_ = static_cast<char*>(memory) + sizeof(Chunk);
    end_ = static_cast<char*>(memory) + size;
    next_chunk_size_ = std::min(next_chunk_size_ * 2, kLargestDoubling);
}

}  // namespace brindle
