#include "entities/node_string.hpp"

#include <cstdlib>
#include <new>

namespace brindle {

NodeString::NodeString(std::string_view text)
{
    if (text.size() <= kInlineCapacity) {
        std::memcpy(bytes_, text.data(), text.size());
        set_inline_size(text.size());
        return;
    }
    char* heap = static_cast<char*>(std::malloc(text.size()));
    if (heap == nullptr) throw std::bad_alloc();
    std::memcpy(heap, text.data(), text.size());
    const std::uint64_t size = text.size();
    std::memcpy(bytes_, &heap, sizeof heap);
    std::memcpy(bytes_ + 8, &size, sizeof size);  // top byte 0: the heap form
}

void NodeString::release() noexcept
{
    if (is_heap()) std::free(const_cast<char*>(heap_pointer()));
}

}  // namespace brindle
