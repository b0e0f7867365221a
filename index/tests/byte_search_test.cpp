// find_byte against a byte-by-byte search, at every start offset and length around the
// eight- and sixteen-byte steps, with every misalignment of the document's first byte.
// Each document is its own allocation ending at its last byte, so a read past the end
// shows up under AddressSanitizer.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <random>
#include <string_view>
#include <vector>

#include "index/simd/scalar/byte_search.hpp"

namespace brindle::index {
namespace {

std::size_t naive_find(std::string_view document, std::size_t from, unsigned char value) {
    for (std::size_t i = from; i < document.size(); ++i) {
        if (static_cast<unsigned char>(document[i]) == value) {
            return i;
        }
    }
    return document.size();
}

// `length` bytes starting `misalignment` bytes past an aligned allocation, which ends right
// after the last byte.
class Buffer {
public:
    Buffer(std::size_t misalignment, std::size_t length)
        : storage_(new unsigned char[misalignment + length]),
          data_(storage_.get() + misalignment),
          length_(length) {}
    unsigned char* data() { return data_; }
    std::string_view view() const { return {reinterpret_cast<const char*>(data_), length_}; }

private:
    std::unique_ptr<unsigned char[]> storage_;
    unsigned char* data_;
    std::size_t length_;
};

struct SearchCase {
    unsigned char value;
    unsigned char filler;  // bytes chosen to provoke false lanes next to a match
};

class FindByteBoundaries : public ::testing::TestWithParam<SearchCase> {};

// One match placed at every position (and none at all), searched from every start offset.
TEST_P(FindByteBoundaries, SingleMatchEqualsNaiveSearch) {
    const SearchCase c = GetParam();
    for (std::size_t misalignment = 0; misalignment < 8; ++misalignment) {
        for (std::size_t length = 0; length <= 70; ++length) {
            for (std::size_t match = 0; match <= length; ++match) {  // match == length: absent
                Buffer buffer(misalignment, length);
                std::memset(buffer.data(), c.filler, length);
                if (match < length) {
                    buffer.data()[match] = c.value;
                }
                for (std::size_t from = 0; from <= length + 1; ++from) {
                    ASSERT_EQ(find_byte(buffer.view(), from, c.value),
                              naive_find(buffer.view(), from, c.value))
                        << "misalignment " << misalignment << " length " << length << " match "
                        << match << " from " << from;
                }
            }
        }
    }
}

// Two matches: the first one must win even when a false lane follows it in the same word.
TEST_P(FindByteBoundaries, FirstOfTwoMatchesWins) {
    const SearchCase c = GetParam();
    for (std::size_t misalignment = 0; misalignment < 8; misalignment += 3) {
        const std::size_t length = 70;
        for (std::size_t first = 0; first < length; ++first) {
            for (std::size_t second = first + 1; second < length && second <= first + 17; ++second) {
                Buffer buffer(misalignment, length);
                std::memset(buffer.data(), c.filler, length);
                buffer.data()[first] = c.value;
                buffer.data()[second] = c.value;
                for (std::size_t from = 0; from <= first + 1; ++from) {
                    ASSERT_EQ(find_byte(buffer.view(), from, c.value),
                              naive_find(buffer.view(), from, c.value))
                        << "first " << first << " second " << second << " from " << from;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    ValuesAndFillers, FindByteBoundaries,
    ::testing::Values(SearchCase{'<', 'a'}, SearchCase{'<', '<' + 1}, SearchCase{0x00, 0x01},
                      SearchCase{0x01, 0x00}, SearchCase{0x80, 0x00}, SearchCase{0xFF, 0xFE},
                      SearchCase{0x7F, 0xFF}, SearchCase{'"', '\''}));

TEST(FindByte, SeventeenByteRangeWithOnlyTheLastByteMatching) {
    for (std::size_t misalignment = 0; misalignment < 8; ++misalignment) {
        Buffer buffer(misalignment, 17);
        std::memset(buffer.data(), 'x', 17);
        buffer.data()[16] = '>';
        EXPECT_EQ(find_byte(buffer.view(), 0, '>'), 16U) << "misalignment " << misalignment;
    }
}

TEST(FindByte, StartAtOrPastTheEndGivesTheSize) {
    const std::string_view document = "abc<def";
    for (const std::size_t from : {document.size(), document.size() + 1, std::size_t{1} << 40}) {
        EXPECT_EQ(find_byte(document, from, '<'), document.size()) << "from " << from;
    }
    EXPECT_EQ(find_byte(std::string_view{}, 0, 'a'), 0U);
}

// Random documents over a small alphabet, so matches are dense, sparse or absent.
TEST(FindByte, RandomDocumentsEqualNaiveSearch) {
    std::mt19937_64 random(20240601);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t length = random() % 300;
        const std::size_t alphabet = 1 + random() % 40;
        Buffer buffer(random() % 8, length);
        for (std::size_t i = 0; i < length; ++i) {
            buffer.data()[i] = static_cast<unsigned char>(0x3A + random() % alphabet);
        }
        const auto value = static_cast<unsigned char>(0x3A + random() % alphabet);
        for (std::size_t from = 0; from <= length; from += 1 + random() % 5) {
            ASSERT_EQ(find_byte(buffer.view(), from, value), naive_find(buffer.view(), from, value));
        }
    }
}

}  // namespace
}  // namespace brindle::index
