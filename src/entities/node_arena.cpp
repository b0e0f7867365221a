#include "entities/node_arena.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
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

// Chunks of 2 MiB and more start on a 2 MiB boundary, span whole 2 MiB pages and ask for
// transparent huge pages where the system grants them on request. A read fills its chunks
// front to back at once, so one fault per 2 MiB instead of 512 takes most of the time a
// node-dense read spent in the kernel; the last chunk's untouched pages stay unbacked.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t rounded_up(std::size_t size, std::size_t unit) { return (size + unit - 1) / unit * unit; }

void* map_huge_chunk(std::size_t size)
{
    const std::size_t padded = size + kHugePage;
    void* memory = mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t aligned = rounded_up(start, kHugePage);
    if (aligned > start) munmap(memory, aligned - start);
    if (const std::size_t tail = start + padded - (aligned + size); tail > 0) {
        munmap(reinterpret_cast<void*>(aligned + size), tail);
    }
#ifdef MADV_HUGEPAGE
    madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);  // advice only: failure is harmless
#endif
    return reinterpret_cast<void*>(aligned);
}

// A chunk of `size` bytes at least; sets `size` to what it holds.
void* allocate_chunk(std::size_t& size)
{
    if (size >= kHugePage) {
        size = rounded_up(size, kHugePage);
        return map_huge_chunk(size);
    }
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
    std::size_t size = std::max(next_chunk_size_, at_least + sizeof(Chunk));
    void* memory = allocate_chunk(size);
    chunks_ = new (memory) Chunk{chunks_, size};
    next_ = static_cast<char*>(memory) + sizeof(Chunk);
    end_ = static_cast<char*>(memory) + size;
    next_chunk_size_ = std::min(next_chunk_size_ * 2, kLargestDoubling);
}

}  // namespace brindle
