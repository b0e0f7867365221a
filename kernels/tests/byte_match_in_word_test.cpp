// Finding a byte in a word: match_bits reports a word with the byte (its lowest bit is a
// true match), equal_lanes marks exactly the equal lanes, for every byte value in every lane.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>

#include "kernels/scalar/byte_match_in_word.hpp"

namespace brindle::kernels {
namespace {

unsigned char lane(std::uint64_t word, unsigned i) { return static_cast<unsigned char>(word >> (8 * i)); }

std::uint64_t naive_equal_lanes(std::uint64_t word, unsigned char value)
{
    std::uint64_t bits = 0;
    for (unsigned i = 0; i < 8; ++i) {
        bits |= static_cast<std::uint64_t>(lane(word, i) == value) << i;
    }
    return bits;
}

// Words whose lanes are the value, its neighbours, 0x00, 0x80, 0xFF and random bytes.
std::uint64_t tricky_word(std::mt19937_64& random, unsigned char value)
{
    const unsigned char near[] = {value,
                                  static_cast<unsigned char>(value + 1),
                                  static_cast<unsigned char>(value - 1),
                                  static_cast<unsigned char>(value ^ 0x80),
                                  0x00,
                                  0x80,
                                  0xFF,
                                  0x01};
    std::uint64_t word = 0;
    for (unsigned i = 0; i < 8; ++i) {
        const unsigned char byte = random() % 2 ? near[random() % 8] : static_cast<unsigned char>(random());
        word |= static_cast<std::uint64_t>(byte) << (8 * i);
    }
    return word;
}

TEST(ByteMatchInWord, EqualLanesAndMatchBitsForEveryValue)
{
    std::mt19937_64 random(5);
    for (unsigned value = 0; value < 256; ++value) {
        const auto v = static_cast<unsigned char>(value);
        const std::uint64_t pattern = swar::repeat_byte(v);
        for (int round = 0; round < 2000; ++round) {
            const std::uint64_t word = tricky_word(random, v);
            const std::uint64_t expected = naive_equal_lanes(word, v);
            ASSERT_EQ(swar::equal_lanes(word, pattern), expected) << std::hex << word << " value " << value;
            const std::uint64_t hits = swar::match_bits(word, pattern);
            ASSERT_EQ(hits != 0, expected != 0) << std::hex << word << " value " << value;
            if (expected != 0) {
                // the lowest reported lane is the first equal lane
                ASSERT_EQ(std::countr_zero(hits) / 8, std::countr_zero(expected)) << std::hex << word;
            }
        }
    }
}

}  // namespace
}  // namespace brindle::kernels
