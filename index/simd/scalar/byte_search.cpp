#include "index/simd/scalar/byte_search.hpp"

#include "index/simd/scalar/byte_search_impl.hpp"

namespace brindle::index {

std::size_t find_byte(std::string_view document, std::size_t from, unsigned char value) noexcept {
    return detail::find_byte(document, from, value);
}

}  // namespace brindle::index
