// find_byte of every level against a byte-by-byte search: one match (or none) at every
// position of documents of every length up to 300 and every start address modulo 64, so the
// first vector, the aligned steps of four vectors and the overlapping last vector all meet
// it; documents against an inaccessible page, so a read past either end crashes; two close
// matches, where the word-at-a-time test reports false lanes after the first; random text.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "kernels/kernels.hpp"
#include "kernels/tests/guarded_bytes.hpp"
#include "kernels/tests/levels.hpp"

namespace brindle::kernels {
namespace {

using testing::GuardedBytes;

std::size_t naive_find(const unsigned char* data, std::size_t size, std::size_t from, unsigned char value)
{
    for (std::size_t i = from; i < size; ++i) {
        if (data[i] == value) {
            return i;
        }
    }
    return size;
}

// Memory aligned to 64 bytes, so `data(offset)` starts at every address modulo 64.
class AlignedBytes {
public:
    explicit AlignedBytes(std::size_t size)
        : storage_(static_cast<unsigned char*>(std::aligned_alloc(64, (size + 63) / 64 * 64)))
    {}
    unsigned char* data(std::size_t offset) { return storage_.get() + offset; }

private:
    struct Free {
        void operator()(unsigned char* p) const { std::free(p); }
    };
    std::unique_ptr<unsigned char, Free> storage_;
};

class FindByte : public ::testing::TestWithParam<Level> {
protected:
    std::size_t find(const unsigned char* data, std::size_t size, std::size_t from, unsigned char value) const
    {
        return table_for(GetParam()).find_byte(data, size, from, value);
    }
};

constexpr std::size_t kLongest = 300;

// The searched value is '<'; the filler differs from it in one bit, so the word-at-a-time
// test's borrows meet it too.
TEST_P(FindByte, OneMatchAtEveryPositionAndAlignment)
{
    AlignedBytes memory(64 + kLongest + 64);
    for (const std::size_t offset : {0, 1, 7, 8, 15, 16, 17, 31, 32, 33, 63}) {
        unsigned char* const data = memory.data(offset);
        for (std::size_t length = 0; length <= kLongest; ++length) {
            std::memset(data, '<' ^ 1, length);
            for (std::size_t match = 0; match <= length; ++match) {  // match == length: absent
                if (match < length) {
                    data[match] = '<';
                }
                for (const std::size_t from : {std::size_t{0}, match / 2, match, match + 1, length}) {
                    ASSERT_EQ(find(data, length, from, '<'), naive_find(data, length, from, '<'))
                        << "offset " << offset << " length " << length << " match " << match << " from " << from;
                }
                if (match < length) {
                    data[match] = '<' ^ 1;
                }
            }
        }
    }
}

TEST_P(FindByte, ReadsNothingPastEitherEnd)
{
    GuardedBytes guarded;
    for (const auto against : {GuardedBytes::Against::End, GuardedBytes::Against::Start}) {
        for (std::size_t length = 0; length <= kLongest; ++length) {
            for (std::size_t match = 0; match <= length; ++match) {
                std::string bytes(length, 'a');
                if (match < length) {
                    bytes[match] = '>';
                }
                const unsigned char* data = guarded.place(bytes, against);
                for (const std::size_t from : {std::size_t{0}, match, match + 1, length - length / 3, length}) {
                    ASSERT_EQ(find(data, length, from, '>'), naive_find(data, length, from, '>'))
                        << "length " << length << " match " << match << " from " << from;
                }
            }
        }
    }
}

// Two matches: the first must win even when a false lane or a second hit follows it in the
// same word or vector.
TEST_P(FindByte, FirstOfTwoMatchesWins)
{
    AlignedBytes memory(64 + 200);
    for (const std::size_t offset : {0, 3, 31}) {
        unsigned char* const data = memory.data(offset);
        const std::size_t length = 200;
        for (const auto& [value, filler] :
             {std::pair<unsigned char, unsigned char>{0x00, 0x01}, {0x80, 0x00}, {0xFF, 0xFE}, {'"', '\''}}) {
            for (std::size_t first = 0; first < length; ++first) {
                for (std::size_t second = first + 1; second < length && second <= first + 40; ++second) {
                    std::memset(data, filler, length);
                    data[first] = value;
                    data[second] = value;
                    for (const std::size_t from : {std::size_t{0}, first, first + 1}) {
                        ASSERT_EQ(find(data, length, from, value), naive_find(data, length, from, value))
                            << "first " << first << " second " << second << " from " << from;
                    }
                }
            }
        }
    }
}

TEST_P(FindByte, StartAtOrPastTheEndGivesTheSize)
{
    const std::string bytes(100, '<');
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (const std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{40}, std::size_t{100}}) {
        for (const std::size_t from : {size, size + 1, std::size_t{1} << 40}) {
            EXPECT_EQ(find(data, size, from, '<'), size) << "size " << size << " from " << from;
        }
    }
}

// Random documents over a small alphabet, so matches are dense, sparse or absent.
TEST_P(FindByte, RandomDocumentsEqualTheScalarSearch)
{
    std::mt19937_64 random(20240601);
    const KernelTable& scalar = table_for(Level::Scalar);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t length = random() % 700;
        const std::size_t alphabet = 1 + random() % 60;
        std::string bytes(length, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(0x3A + random() % alphabet);
        }
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        const auto value = static_cast<unsigned char>(0x3A + random() % alphabet);
        for (std::size_t from = 0; from <= length; from += 1 + random() % 9) {
            ASSERT_EQ(find(data, length, from, value), scalar.find_byte(data, length, from, value));
            ASSERT_EQ(find(data, length, from, value), naive_find(data, length, from, value));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, FindByte, ::testing::ValuesIn(testing::supported_levels()), testing::level_test_name);

}  // namespace
}  // namespace brindle::kernels
