// set_bit_positions and next_set_bit against bit lists built from known offsets.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "index/simd/scalar/bit_positions.hpp"

namespace brindle::index {
namespace {

std::vector<std::uint64_t> words_from(const std::vector<std::uint64_t>& offsets, std::size_t words) {
    std::vector<std::uint64_t> bits(words);
    for (const std::uint64_t offset : offsets) {
        bits[offset / 64] |= std::uint64_t{1} << (offset % 64);
    }
    return bits;
}

// Random sorted, distinct offsets below 64 * words, with density from empty to full.
std::vector<std::uint64_t> random_offsets(std::mt19937_64& random, std::size_t words) {
    std::vector<std::uint64_t> offsets;
    const unsigned density = random() % 101;  // percent
    for (std::uint64_t i = 0; i < words * 64; ++i) {
        if (random() % 100 < density) {
            offsets.push_back(i);
        }
    }
    return offsets;
}

TEST(SetBitPositions, RoundTripsRandomOffsets) {
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> out{999, 998};  // replaced, not appended to
    for (int round = 0; round < 500; ++round) {
        const std::size_t words = random() % 9;
        const std::vector<std::uint64_t> offsets = random_offsets(random, words);
        set_bit_positions(words_from(offsets, words), out);
        ASSERT_EQ(out, offsets);
    }
}

TEST(SetBitPositions, ExtremeBitsOfEachWord) {
    const std::vector<std::uint64_t> offsets{0, 63, 64, 127, 128, 191};
    std::vector<std::uint64_t> out;
    set_bit_positions(words_from(offsets, 3), out);
    EXPECT_EQ(out, offsets);
    set_bit_positions(std::vector<std::uint64_t>{~std::uint64_t{0}}, out);
    ASSERT_EQ(out.size(), 64U);
    for (std::uint64_t i = 0; i < 64; ++i) {
        EXPECT_EQ(out[i], i);
    }
    set_bit_positions({}, out);
    EXPECT_TRUE(out.empty());
}

TEST(ForEachSetBit, VisitsInAscendingOrder) {
    std::mt19937_64 random(3);
    for (int round = 0; round < 200; ++round) {
        const std::size_t words = 1 + random() % 5;
        const std::vector<std::uint64_t> offsets = random_offsets(random, words);
        std::vector<std::uint64_t> seen;
        for_each_set_bit(words_from(offsets, words), [&](std::uint64_t offset) { seen.push_back(offset); });
        ASSERT_EQ(seen, offsets);
    }
}

TEST(NextSetBit, EqualsTheFirstOffsetAtOrAfterEveryStart) {
    std::mt19937_64 random(11);
    for (int round = 0; round < 300; ++round) {
        const std::size_t words = random() % 5;
        const std::vector<std::uint64_t> offsets = random_offsets(random, words);
        const std::vector<std::uint64_t> bits = words_from(offsets, words);
        for (std::uint64_t from = 0; from <= words * 64 + 2; ++from) {
            const auto it = std::lower_bound(offsets.begin(), offsets.end(), from);
            const std::uint64_t expected = it == offsets.end() ? words * 64 : *it;
            ASSERT_EQ(next_set_bit(bits, from), expected) << "from " << from;
        }
    }
}

}  // namespace
}  // namespace brindle::index
