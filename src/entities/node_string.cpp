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
    set_pointer({heap, text.size()}, 0);
}

void NodeString::release() noexcept
{
    if (owns_block()) std::free(const_cast<char*>(pointer()));
}

}  // namespace brindle
