#include "entities/node_arena.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "memory/prefault.hpp"

namespace brindle {

namespace {

// Chunks double from 16 KiB (a small document costs one small block) up to 32 MiB. Chunks from
// 256 KiB up come straight from the system, so freeing them returns them at once, whatever else
// the C allocator holds.
constexpr std::size_t kFirstChunk = std::size_t{16} << 10;
constexpr std::size_t kLargestDoubling = std::size_t{32} << 20;
constexpr std::size_t kMappedFrom = std::size_t{256} << 10;

// In a mapped chunk the prefaulter is kept up to kFaultAhead in front of the next node,
// and asked for more each time another kFaultStep is used: enough that the reader rarely
// meets a page not yet faulted in, little enough that a read that stops early has faulted in
// little it does not use.
constexpr std::size_t kFaultAhead = std::size_t{4} << 20;
constexpr std::size_t kFaultStep = std::size_t{1} << 20;
constexpr std::size_t kPage = 4096;

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

void NodeArena::make_room(std::size_t size)
{
    if (size > static_cast<std::size_t>(end_ - next_)) add_chunk(size);
    fault_ahead(size);
}

void NodeArena::add_chunk(std::size_t at_least)
{
    const std::size_t size = std::max(next_chunk_size_, at_least + sizeof(Chunk));
    void* memory = allocate_chunk(size);
    chunks_ = new (memory) Chunk{chunks_, size};
    reserved_ += size;
    next_ = static_cast<char*>(memory) + sizeof(Chunk);
    end_ = static_cast<char*>(memory) + size;
    next_chunk_size_ = std::min(next_chunk_size_ * 2, kLargestDoubling);
}

// Keeps the prefaulter ahead in a mapped chunk (the C allocator's blocks are left alone) and
// sets where to look again; the `size` bytes about to be carved lie before that point.
void NodeArena::fault_ahead(std::size_t size) noexcept
{
    char* mark = end_;
    if (prefaulter_ != nullptr && chunks_->size >= kMappedFrom) {
        mark = prefaulter_->keep_ahead(Prefaulter::kArena, next_, end_, kFaultAhead, kFaultStep);
    }
    limit_ = std::max(mark, next_ + size);
}

void NodeArena::finish_filling() noexcept
{
    prefaulter_ = nullptr;
    if (chunks_ == nullptr || chunks_->size < kMappedFrom) return;
    // The unused pages at the end of the newest chunk, faulted in ahead or not.
    const auto first_unused = (reinterpret_cast<std::uintptr_t>(next_) + kPage - 1) & ~std::uintptr_t{kPage - 1};
    const auto end = reinterpret_cast<std::uintptr_t>(end_);
    if (end > first_unused) madvise(reinterpret_cast<void*>(first_unused), end - first_unused, MADV_DONTNEED);
}

}  // namespace brindle
