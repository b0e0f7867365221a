// classify_markup of every level: the scalar classifier against the definition of each class,
// byte value by byte value in every lane; every other level against the scalar one on random
// blocks made mostly of the bytes that matter, and on blocks against an inaccessible page.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "kernels/kernels.hpp"
#include "kernels/tests/guarded_bytes.hpp"
#include "kernels/tests/levels.hpp"

namespace brindle::kernels {

// Beside MarkupMasks, where the assertions find them.
bool operator==(const MarkupMasks& a, const MarkupMasks& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::ostream& operator<<(std::ostream& out, const MarkupMasks& m)
{
    return out << std::hex << "{< " << m.less << " > " << m.greater << " / " << m.slash << " ? " << m.question << " \" "
               << m.double_quote << " ' " << m.apostrophe << " space " << m.tag_space << "}";
}

namespace {

using testing::GuardedBytes;

// The masks of a block whose bytes are all `filler` but one.
MarkupMasks expected_for_one(unsigned char byte, unsigned lane)
{
    MarkupMasks masks{};
    const std::uint64_t bit = std::uint64_t{1} << lane;
    switch (byte) {
    case '<': masks.less = bit; break;
    case '>': masks.greater = bit; break;
    case '/': masks.slash = bit; break;
    case '?': masks.question = bit; break;
    case '"': masks.double_quote = bit; break;
    case '\'': masks.apostrophe = bit; break;
    case ' ':
    case '\t':
    case '\n':
    case '\f':
    case '\r': masks.tag_space = bit; break;
    default: break;
    }
    return masks;
}

class ClassifyMarkup : public ::testing::TestWithParam<Level> {
protected:
    MarkupMasks classify(const unsigned char* block) const
    {
        MarkupMasks masks;
        std::memset(&masks, 0xA5, sizeof masks);  // every field must be written
        table_for(GetParam()).classify_markup(block, masks);
        return masks;
    }
};

TEST_P(ClassifyMarkup, EveryByteValueInEveryLane)
{
    unsigned char block[kMarkupBlock];
    for (unsigned value = 0; value < 256; ++value) {
        for (unsigned lane = 0; lane < kMarkupBlock; ++lane) {
            std::memset(block, 'a', sizeof block);
            block[lane] = static_cast<unsigned char>(value);
            ASSERT_EQ(classify(block), expected_for_one(static_cast<unsigned char>(value), lane))
                << "byte " << value << " in lane " << lane;
        }
    }
}

TEST_P(ClassifyMarkup, RandomBlocksEqualTheScalarClassifier)
{
    static constexpr unsigned char kMarkup[] = {'<',  '>',  '/',  '?',  '"',  '\'', ' ', '\t', '\n', '\f', '\r',
                                                '\v', 0x00, 0x80, 0xA0, 0xBC, 0xFF, 'a', '=',  '!',  0x2C, 0x3D};
    std::mt19937_64 random(77);
    GuardedBytes guarded;
    const KernelTable& scalar = table_for(Level::Scalar);
    std::string bytes(kMarkupBlock, '\0');
    for (int round = 0; round < 20000; ++round) {
        for (char& byte : bytes) {
            byte = static_cast<char>(random() % 4 == 0 ? random() : kMarkup[random() % sizeof kMarkup]);
        }
        const auto against = round % 2 == 0 ? GuardedBytes::Against::End : GuardedBytes::Against::Start;
        const unsigned char* block = guarded.place(bytes, against);
        MarkupMasks expected;
        scalar.classify_markup(block, expected);
        ASSERT_EQ(classify(block), expected) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, ClassifyMarkup, ::testing::ValuesIn(testing::supported_levels()),
                         testing::level_test_name);

}  // namespace
}  // namespace brindle::kernels
