#include "node/node_string.hpp"

#include <cstdlib>
#include <new>

namespace brindle::node {

void NodeString::copy_to_block(std::string_view text)
{
    char* heap = static_cast<char*>(std::malloc(text.size()));
    if (heap == nullptr) throw std::bad_alloc();
    std::memcpy(heap, text.data(), text.size());
    set_pointer({heap, text.size()}, 0);
}

void NodeString::free_block() noexcept { std::free(const_cast<char*>(pointer())); }

}  // namespace brindle::node
