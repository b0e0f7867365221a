// UTF-8 validation and the ASCII prefix at every level: the scalar kernels on known cases,
// every other level against the scalar one on texts built from valid and broken sequences,
// cut at every length up to 300, at every alignment and against an inaccessible page.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "kernels/kernels.hpp"
#include "kernels/tests/guarded_bytes.hpp"
#include "kernels/tests/levels.hpp"

namespace brindle::kernels {
namespace {

using namespace std::string_view_literals;
using testing::GuardedBytes;

struct KnownCase {
    std::string_view bytes;
    bool valid;
};

// The limits of each sequence length and each way a sequence can be malformed.
constexpr KnownCase kKnownCases[] = {
    {""sv, true},
    {"plain ascii"sv, true},
    {"\x7F"sv, true},
    {"\xC2\x80"sv, true},           // U+0080
    {"\xDF\xBF"sv, true},           // U+07FF
    {"\xE0\xA0\x80"sv, true},       // U+0800
    {"\xED\x9F\xBF"sv, true},       // U+D7FF
    {"\xEE\x80\x80"sv, true},       // U+E000
    {"\xEF\xBF\xBF"sv, true},       // U+FFFF
    {"\xF0\x90\x80\x80"sv, true},   // U+10000
    {"\xF4\x8F\xBF\xBF"sv, true},   // U+10FFFF
    {"\x80"sv, false},              // lone continuation
    {"\xC0\x80"sv, false},          // overlong
    {"\xC1\xBF"sv, false},          // overlong
    {"\xE0\x9F\xBF"sv, false},      // overlong
    {"\xF0\x8F\xBF\xBF"sv, false},  // overlong
    {"\xED\xA0\x80"sv, false},      // surrogate
    {"\xED\xBF\xBF"sv, false},      // surrogate
    {"\xF4\x90\x80\x80"sv, false},  // past U+10FFFF
    {"\xF5\x80\x80\x80"sv, false},  // past U+10FFFF
    {"\xFF"sv, false},
    {"\xC2"sv, false},  // truncated at the end
    {"\xE2\x82"sv, false},
    {"\xF0\x9F\x98"sv, false},
    {"\xC2\x41"sv, false},  // continuation missing
    {"\xE2\x28\xA1"sv, false},
    {"\xC2\x80\x80"sv, false},  // one continuation too many
};

// Pieces texts are built from: ASCII runs long and short, every sequence length, and broken
// sequences.
const std::vector<std::string_view>& pieces()
{
    static const std::vector<std::string_view> all = [] {
        std::vector<std::string_view> list = {"a"sv, "<tag attr=\"v\">"sv, "0123456789abcdefghijklmnopqrstuvwxyz"sv,
                                              " "sv};
        for (const KnownCase& known : kKnownCases) {
            if (!known.bytes.empty()) {
                list.push_back(known.bytes);
            }
        }
        return list;
    }();
    return all;
}

std::string random_text(std::mt19937_64& random, std::size_t length, bool mostly_valid)
{
    std::string text;
    while (text.size() < length) {
        const std::string_view piece = pieces()[random() % pieces().size()];
        const bool broken = piece.size() > 0 && [&] {
            for (const KnownCase& known : kKnownCases) {
                if (known.bytes == piece) return !known.valid;
            }
            return false;
        }();
        if (!broken || !mostly_valid || random() % 50 == 0) {
            text += piece;
        }
    }
    text.resize(length);
    return text;
}

class Utf8 : public ::testing::TestWithParam<Level> {
protected:
    const KernelTable& kernels() const { return table_for(GetParam()); }
};

TEST_P(Utf8, KnownCases)
{
    GuardedBytes guarded;
    for (const KnownCase& known : kKnownCases) {
        for (const std::string& padding : {std::string(), std::string(40, 'x'), std::string(70, 'x')}) {
            const std::string text = padding + std::string(known.bytes);
            const unsigned char* data = guarded.place(text, GuardedBytes::Against::End);
            EXPECT_EQ(kernels().is_valid_utf8(data, text.size()), known.valid)
                << "padding " << padding.size() << " bytes " << ::testing::PrintToString(known.bytes);
        }
    }
}

TEST_P(Utf8, EveryLengthAndAlignmentEqualsTheScalarCheck)
{
    std::mt19937_64 random(8);
    GuardedBytes guarded;
    const KernelTable& scalar = table_for(Level::Scalar);
    for (int round = 0; round < 40; ++round) {
        const std::string text = random_text(random, 300, round % 2 == 0);
        for (std::size_t start = 0; start < 64; start += 1 + round % 5) {
            for (std::size_t length = 0; start + length <= text.size(); ++length) {
                const std::string_view slice = std::string_view(text).substr(start, length);
                for (const auto against : {GuardedBytes::Against::End, GuardedBytes::Against::Start}) {
                    const unsigned char* data = guarded.place(slice, against);
                    ASSERT_EQ(kernels().is_valid_utf8(data, length), scalar.is_valid_utf8(data, length))
                        << "round " << round << " start " << start << " length " << length;
                    ASSERT_EQ(kernels().ascii_prefix(data, length), scalar.ascii_prefix(data, length))
                        << "round " << round << " start " << start << " length " << length;
                }
            }
        }
    }
}

// Long texts where the first broken sequence comes after many vectors of valid text.
TEST_P(Utf8, OneBrokenSequenceAnywhereInALongText)
{
    std::mt19937_64 random(9);
    const KernelTable& scalar = table_for(Level::Scalar);
    for (int round = 0; round < 300; ++round) {
        std::string text = random_text(random, 2000, true);
        // Make it valid by the scalar check's verdict prefix, then break one place.
        const std::size_t at = random() % text.size();
        text[at] = static_cast<char>(0x80 | random() % 0x80);
        const auto* data = reinterpret_cast<const unsigned char*>(text.data());
        ASSERT_EQ(kernels().is_valid_utf8(data, text.size()), scalar.is_valid_utf8(data, text.size())) << round;
        ASSERT_EQ(kernels().ascii_prefix(data, text.size()), scalar.ascii_prefix(data, text.size())) << round;
    }
}

// The counts over any bytes: continuation bytes and the largest byte, long enough for the
// per-lane counters to be summed more than once.
TEST_P(Utf8, CountsEqualTheScalarCounts)
{
    std::mt19937_64 random(10);
    GuardedBytes guarded;
    const KernelTable& scalar = table_for(Level::Scalar);
    for (int round = 0; round < 400; ++round) {
        const std::size_t length = round < 300 ? static_cast<std::size_t>(round) : 1000 + random() % 3000;
        std::string text = random_text(random, std::min<std::size_t>(length, guarded.capacity()), round % 3 != 0);
        if (round % 5 == 0 && !text.empty()) {
            text[random() % text.size()] = '\xFF';
        }
        const unsigned char* data = guarded.place(text, round % 2 == 0 ? GuardedBytes::Against::End
                                                                       : GuardedBytes::Against::Start);
        const Utf8Counts expected = scalar.count_utf8(data, text.size());
        const Utf8Counts counts = kernels().count_utf8(data, text.size());
        ASSERT_EQ(counts.continuations, expected.continuations) << "round " << round;
        ASSERT_EQ(counts.largest, expected.largest) << "round " << round;
    }
    // Past 255 vectors of continuations, where a lane's counter must have been summed.
    const std::string many(255 * 64 + 100, '\x80');
    const auto* data = reinterpret_cast<const unsigned char*>(many.data());
    EXPECT_EQ(kernels().count_utf8(data, many.size()).continuations, many.size());
}

TEST(Utf8Scalar, CountsContinuationsAndTheLargestByte)
{
    const std::string_view text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
    const Utf8Counts counts =
        table_for(Level::Scalar).count_utf8(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    EXPECT_EQ(text.size() - counts.continuations, 5U);
    EXPECT_EQ(counts.largest, 0xF0);
}

TEST(Utf8Scalar, AsciiPrefixStopsAtTheFirstHighByte)
{
    const KernelTable& scalar = table_for(Level::Scalar);
    for (std::size_t length = 0; length < 80; ++length) {
        for (std::size_t high = 0; high <= length; ++high) {
            std::string text(length, 'q');
            if (high < length) {
                text[high] = '\x80';
            }
            EXPECT_EQ(scalar.ascii_prefix(reinterpret_cast<const unsigned char*>(text.data()), length), high);
        }
    }
}

// Runs of 16-bit units with one unit at or above 0x80 at every place (or none), at every length
// and alignment, against an inaccessible page on either side: the count and the bytes copied
// equal the scalar kernel's, and nothing is written past `count` bytes.
TEST_P(Utf8, NarrowAsciiEqualsTheScalarKernel)
{
    GuardedBytes guarded;
    const KernelTable& scalar = table_for(Level::Scalar);
    for (const std::uint16_t high : {std::uint16_t{0x80}, std::uint16_t{0x100}, std::uint16_t{0xFFFF}}) {
        for (std::size_t length = 0; length <= 150; ++length) {
            for (std::size_t place = 0; place <= length; place += 1 + place / 16) {
                std::vector<std::uint16_t> units(length + 1);  // never empty: its data is never null
                for (std::size_t i = 0; i < length; ++i) units[i] = static_cast<std::uint16_t>(0x20 + (i * 7) % 0x60);
                if (place < length) units[place] = high;
                for (const auto against : {GuardedBytes::Against::End, GuardedBytes::Against::Start}) {
                    const auto* data = reinterpret_cast<const std::uint16_t*>(
                        guarded.place({reinterpret_cast<const char*>(units.data()), 2 * length}, against));
                    std::string expected(length + 1, '\xEE'), narrowed(length + 1, '\xEE');
                    const std::size_t count = scalar.narrow_ascii(data, length,
                                                                  reinterpret_cast<unsigned char*>(expected.data()));
                    ASSERT_EQ(count, place);
                    ASSERT_EQ(kernels().narrow_ascii(data, length, reinterpret_cast<unsigned char*>(narrowed.data())),
                              count)
                        << "length " << length << " place " << place;
                    ASSERT_EQ(narrowed.substr(0, count), expected.substr(0, count)) << "length " << length;
                    ASSERT_EQ(narrowed.back(), '\xEE') << "length " << length;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, Utf8, ::testing::ValuesIn(testing::supported_levels()), testing::level_test_name);

}  // namespace
}  // namespace brindle::kernels
