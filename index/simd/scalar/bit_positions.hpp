#pragma once
// Turning bit lists into offsets: bit b of word w stands for offset 64 * w + b.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace brindle::index {

// Calls visit(offset) for every set bit, in ascending order: count the trailing zero bits
// of a word, then clear its lowest set bit, until the word is zero; then the next word.
template <typename Visit>
void for_each_set_bit(const std::vector<std::uint64_t>& words, Visit&& visit) {
    for (std::size_t w = 0; w < words.size(); ++w) {
        for (std::uint64_t word = words[w]; word != 0; word &= word - 1) {
            visit(static_cast<std::uint64_t>(w) * 64 + static_cast<unsigned>(std::countr_zero(word)));
        }
    }
}

// Replaces the contents of `out` with the offsets of all set bits, ascending.
// std::bad_alloc propagates.
void set_bit_positions(const std::vector<std::uint64_t>& words, std::vector<std::uint64_t>& out);

// Smallest offset >= `from` whose bit is set, or 64 * words.size() when there is none.
std::uint64_t next_set_bit(const std::vector<std::uint64_t>& words, std::uint64_t from) noexcept;

}  // namespace brindle::index
