#include "stream/stream_buffer.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

#include "memory/kept_pages.hpp"

namespace brindle::stream {

namespace {

class KeptBlocks final : public reader::BufferBlocks {
public:
    char* take(std::size_t& size) noexcept override
    {
        if (size < memory::kPagedFrom) return static_cast<char*>(std::calloc(size, 1));
        memory::Pages pages;
        try {
            // A kept block a little larger serves; a much larger one would hold idle pages.
            pages = memory::take_pages(size, size + size / 2);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        // Another call's bytes must never show through a source that reports more than it wrote.
        std::memset(pages.data, 0, pages.size);
        size = pages.size;
        return pages.data;
    }

    void give_back(char* block, std::size_t size) noexcept override
    {
        if (size < memory::kPagedFrom) return std::free(block);
        memory::give_back_pages({block, size});
    }
};

}  // namespace

reader::BufferBlocks& stream_buffer_blocks() noexcept
{
    static KeptBlocks blocks;
    return blocks;
}

}  // namespace brindle::stream
