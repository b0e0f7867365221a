// Where a stream's buffer lives: blocks taken whole and given back whole. The parser's default
// blocks come from the C allocator; a caller that keeps large blocks for reuse between calls
// passes its own, so that a stream's buffer is bounded and given back with everything else it
// keeps, instead of resting in the C allocator's heap of whichever thread freed it.
#pragma once

#include <cstddef>

namespace brindle::reader {

class BufferBlocks {
public:
    // A block of at least `size` bytes, with `size` set to all it holds; null, with nothing
    // changed, when memory runs out. Its bytes are zero or bytes this stream wrote.
    virtual char* take(std::size_t& size) noexcept = 0;
    // A block that take() gave, with the size it set.
    virtual void give_back(char* block, std::size_t size) noexcept = 0;

protected:
    ~BufferBlocks() = default;
};

// Blocks from the C allocator, zeroed.
BufferBlocks& allocated_blocks() noexcept;

}  // namespace brindle::reader
