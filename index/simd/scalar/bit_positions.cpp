#include "index/simd/scalar/bit_positions.hpp"

namespace brindle::index {

void set_bit_positions(const std::vector<std::uint64_t>& words, std::vector<std::uint64_t>& out) {
    out.clear();
    for_each_set_bit(words, [&out](std::uint64_t offset) { out.push_back(offset); });
}

std::uint64_t next_set_bit(const std::vector<std::uint64_t>& words, std::uint64_t from) noexcept {
    const std::uint64_t end = static_cast<std::uint64_t>(words.size()) * 64;
    if (from >= end) {
        return end;
    }
    std::size_t w = static_cast<std::size_t>(from / 64);
    // Drop the bits below `from` in its own word, then walk whole words.
    std::uint64_t word = words[w] & (~std::uint64_t{0} << (from % 64));
    while (word == 0) {
        if (++w == words.size()) {
            return end;
        }
        word = words[w];
    }
    return static_cast<std::uint64_t>(w) * 64 + static_cast<unsigned>(std::countr_zero(word));
}

}  // namespace brindle::index
