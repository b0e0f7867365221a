// A block of the C allocator that a thread keeps from one call to its next, so that a large
// output or copy lands in memory that is already mapped: fresh memory costs the system a page
// fault per 4 KiB, which for a large document took about as long as filling it. Each use has
// its own thread_local KeptBlock and its own cap on what it keeps.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <utility>

namespace brindle {

struct KeptBlock {
    char* data = nullptr;
    std::size_t capacity = 0;

    KeptBlock() = default;
    KeptBlock(const KeptBlock&) = delete;
    KeptBlock& operator=(const KeptBlock&) = delete;
    ~KeptBlock() { std::free(data); }  // at the thread's exit

    // Hands the kept block over: its bytes and capacity, or null and 0 when none is kept.
    std::pair<char*, std::size_t> take() noexcept
    {
        return {std::exchange(data, nullptr), std::exchange(capacity, std::size_t{0})};
    }

    // Keeps `block` for the next call when it holds at most `largest` bytes and no other block is
    // kept; frees it otherwise.
    void keep_or_free(char* block, std::size_t block_capacity, std::size_t largest) noexcept
    {
        if (block_capacity <= largest && data == nullptr) {
            data = block;
            capacity = block_capacity;
        } else {
            std::free(block);
        }
    }
};

}  // namespace brindle
