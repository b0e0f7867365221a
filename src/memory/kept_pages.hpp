// Memory kept for reuse between calls. Fresh memory costs the system a page fault per 4 KiB
// on first touch, which for a large document took as long as a third of reading it; a block of
// pages that a call gives back is kept for the next call, so that its writes land in memory
// that is already mapped.
//
// The store is one per process, whatever the number of threads that ever called. It keeps at
// most kMostKeptBytes (arena chunks, output, encode and stream buffers together) for each call
// running at the moment (running_call.hpp), and kMostKeptBytes while none runs: two threads
// reading at once each need their own blocks, and with one bound between them the second
// read's blocks pushed out the first's, so one of them wrote fresh pages in every round. A
// block given back pushes out the oldest kept ones as far as the bound needs (the next call
// most likely repeats the last), and what does not stay goes back to the system at once; when
// a call ends, the store trims to the bound of the calls still running. A block that no call
// has taken for a second is marked free to the kernel (MADV_FREE), which reclaims it under
// memory pressure instead of swapping it; a block taken again is simply written over (its bytes
// are whatever they were, or zero once reclaimed). Blocks in steady use are not marked: marking
// costs about as much as fresh pages when the next call writes them again. The look for unused
// blocks is made whenever a block is taken or kept: no thread, no timer.
//
// A short lock guards the store only while a block is taken or returned: no system call is
// made under it, and a fork waits for it, so a child never inherits it held. The count of
// running calls is an atomic counter beside it, which the store reads after it grows and a
// call's end reads the store's size after: whichever comes second trims.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brindle::memory {

inline constexpr std::size_t kMostKeptBytes = std::size_t{64} << 20;
inline constexpr std::size_t kPageBytes = 4096;
// From this size on, the blocks of arena chunks, lists of made nodes and stream buffers are
// pages taken from and given back to the store: below it, the C allocator serves.
inline constexpr std::size_t kPagedFrom = std::size_t{128} << 10;

// A run of whole pages mapped from the system, or none (null, 0).
struct Pages {
    char* data = nullptr;
    std::size_t size = 0;
};

// `bytes` rounded up to whole pages; throws std::bad_alloc for a size no mapping can have.
std::size_t whole_pages(std::size_t bytes);

// At least `size` bytes of pages: the smallest kept block of `size` to `most` bytes when the
// store holds one, else its largest smaller block grown by remapping (the pages added are
// fresh), else fresh from the system. Throws std::bad_alloc.
Pages take_pages(std::size_t size, std::size_t most = SIZE_MAX);
// The same, or none when the store holds no such block.
Pages take_kept_pages(std::size_t size, std::size_t most = SIZE_MAX) noexcept;

// At least `size` bytes of fresh pages from the system, never a kept block: for a reservation
// that is mostly left untouched, which would waste the written pages of a kept one. Throws
// std::bad_alloc.
Pages map_pages(std::size_t size);

// Gives the pages of `pages` past its first `size` bytes back to the system, in place; keeps
// them where that fails.
void shrink_pages(Pages& pages, std::size_t size) noexcept;

// Makes `pages` (possibly none) at least `size` bytes, moving them if need be; their bytes go
// with them. Throws std::bad_alloc, leaving `pages` as they were.
void grow_pages(Pages& pages, std::size_t size);

// Keeps `pages` (possibly none) for a later call, returning the store's oldest blocks (or only
// the end of the oldest) to the system as far as the bound needs; a block larger than
// kMostKeptBytes goes back itself. The store counts what it is given: give back only the pages written
// (shrink_pages first), so that the bound counts written memory.
void give_back_pages(Pages pages) noexcept;

// The bytes the store keeps now (for tests and benchmarks).
std::size_t kept_bytes() noexcept;

// A call that takes or keeps pages starts and ends (running_call.hpp holds the pair): while it
// runs the store may keep kMostKeptBytes more; when it ends, the store trims to the bound of the
// calls left, returning the oldest blocks to the system.
void call_started() noexcept;
void call_ended() noexcept;

// The calls running now (for tests and benchmarks).
std::size_t calls_running() noexcept;

}  // namespace brindle::memory
