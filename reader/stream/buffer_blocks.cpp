#include "reader/stream/buffer_blocks.hpp"

#include <cstdlib>

namespace brindle::reader {

namespace {

class AllocatedBlocks final : public BufferBlocks {
public:
    char* take(std::size_t& size) noexcept override { return static_cast<char*>(std::calloc(size, 1)); }
    void give_back(char* block, std::size_t) noexcept override { std::free(block); }
};

}  // namespace

BufferBlocks& allocated_blocks() noexcept
{
    static AllocatedBlocks blocks;
    return blocks;
}

}  // namespace brindle::reader
