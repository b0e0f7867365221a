// The block-wise searches of the tag scan against byte-by-byte searches, on random markup of
// every length to 300, from every offset in document order and in random order (so the
// blocks are classified again after a jump back). The suite runs once per kernel level.

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "index/structural/markup_blocks.hpp"

namespace brindle::index::detail {
namespace {

bool in_classes(unsigned classes, unsigned char byte)
{
    switch (byte) {
    case '<': return (classes & kLess) != 0;
    case '>': return (classes & kGreater) != 0;
    case '/': return (classes & kSlash) != 0;
    case '?': return (classes & kQuestion) != 0;
    case '"': return (classes & kDoubleQuote) != 0;
    case '\'': return (classes & kApostrophe) != 0;
    case ' ':
    case '\t':
    case '\n':
    case '\f':
    case '\r': return (classes & kTagSpace) != 0;
    default: return false;
    }
}

std::size_t naive_find(std::string_view document, std::size_t from, unsigned classes)
{
    for (std::size_t i = from; i < document.size(); ++i) {
        if (in_classes(classes, static_cast<unsigned char>(document[i]))) {
            return i;
        }
    }
    return document.size();
}

std::string random_markup(std::mt19937_64& random, std::size_t length)
{
    static constexpr char kBytes[] = "<>/?\"' \t\n\f\r\vab=!\x80\xff";
    std::string text(length, 'x');
    const unsigned density = 1 + static_cast<unsigned>(random() % 20);  // sparse to dense markup
    for (char& byte : text) {
        if (random() % density == 0) {
            byte = kBytes[random() % (sizeof kBytes - 1)];
        }
    }
    return text;
}

// Each search the scan makes, answered by the blocks and by the naive search.
void expect_searches_agree(MarkupBlocks& blocks, std::string_view document, std::size_t from)
{
    ASSERT_EQ(blocks.find_less(from), naive_find(document, from, kLess)) << "from " << from;
    ASSERT_EQ(blocks.find<kStartTagNameEnd>(from), naive_find(document, from, kStartTagNameEnd)) << "from " << from;
    ASSERT_EQ(blocks.find<kInstructionNameEnd>(from), naive_find(document, from, kInstructionNameEnd))
        << "from " << from;
    constexpr unsigned kQuotesAndTagEnds = kDoubleQuote | kApostrophe | kSlash | kGreater;
    ASSERT_EQ(blocks.find<kQuotesAndTagEnds>(from), naive_find(document, from, kQuotesAndTagEnds)) << "from " << from;
    ASSERT_EQ(blocks.find<kGreater>(from), naive_find(document, from, kGreater)) << "from " << from;
    ASSERT_EQ(blocks.find_quote(from, '"'), naive_find(document, from, kDoubleQuote)) << "from " << from;
    ASSERT_EQ(blocks.find_quote(from, '\''), naive_find(document, from, kApostrophe)) << "from " << from;
}

TEST(MarkupBlocks, SearchesFromEveryOffsetEqualByteSearches)
{
    std::mt19937_64 random(41);
    for (std::size_t length = 0; length <= 300; ++length) {
        const std::string document = random_markup(random, length);
        MarkupBlocks forward(document);
        for (std::size_t from = 0; from <= length + 1; ++from) {
            expect_searches_agree(forward, document, from);
        }
        MarkupBlocks jumping(document);
        for (int jump = 0; jump < 40; ++jump) {
            expect_searches_agree(jumping, document, random() % (length + 2));
        }
    }
}

// Long stretches without markup between markup bytes, so searches cross many blocks.
TEST(MarkupBlocks, SearchesAcrossLongTextEqualByteSearches)
{
    std::mt19937_64 random(43);
    for (int round = 0; round < 50; ++round) {
        std::string document(2000 + random() % 500, 'y');
        for (int mark = 0; mark < 4; ++mark) {
            document[random() % document.size()] = "<>\"' /?"[random() % 7];
        }
        MarkupBlocks blocks(document);
        for (std::size_t from = 0; from <= document.size(); from += 1 + random() % 97) {
            expect_searches_agree(blocks, document, from);
        }
    }
}

}  // namespace
}  // namespace brindle::index::detail
