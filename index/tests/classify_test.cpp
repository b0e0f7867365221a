// classify: which '<' and '>' bytes lie outside quote runs, and the shape of the bit lists.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "index/simd/scalar/classify.hpp"

namespace brindle::index {
namespace {

// Offsets whose bit is set, read back one bit at a time (independent of set_bit_positions).
std::vector<std::uint64_t> marked(const std::vector<std::uint64_t>& words) {
    std::vector<std::uint64_t> offsets;
    for (std::uint64_t i = 0; i < words.size() * 64; ++i) {
        if ((words[i / 64] >> (i % 64)) & 1U) {
            offsets.push_back(i);
        }
    }
    return offsets;
}

// The same rule written as a plain state machine over the text.
void model(std::string_view document, std::vector<std::uint64_t>& lt, std::vector<std::uint64_t>& gt) {
    char quote = 0;
    for (std::uint64_t i = 0; i < document.size(); ++i) {
        const char c = document[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            }
        } else if (c == '<') {
            lt.push_back(i);
        } else if (c == '>') {
            gt.push_back(i);
        } else if (c == '"' || c == '\'') {
            quote = c;
        }
    }
}

struct ClassifyCase {
    const char* name;
    std::string document;
    std::vector<std::uint64_t> lt;  // offsets of the marked bytes
    std::vector<std::uint64_t> gt;
};

class ClassifyEdges : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(ClassifyEdges, MarksOnlyDelimitersOutsideQuotes) {
    const ClassifyCase& c = GetParam();
    const ByteClasses classes = classify(c.document);
    EXPECT_EQ(marked(classes.lt_bits), c.lt);
    EXPECT_EQ(marked(classes.gt_bits), c.gt);
    EXPECT_EQ(classes.length, c.document.size());
}

INSTANTIATE_TEST_SUITE_P(
    Documents, ClassifyEdges,
    ::testing::Values(
        // the first '<' lies in the double-quote run
        ClassifyCase{"QuotedLessThan", R"(a="<"<b>)", {5}, {7}},
        // the apostrophe of "it's" opens a run that hides <b> up to the next apostrophe
        ClassifyCase{"ApostropheInText", "it's <b> x'<c>", {11}, {13}},
        // a run left open hides everything after its quote
        ClassifyCase{"UnclosedRun", "<a>\"<b><c>", {0}, {2}},
        // a quote inside a run of the other kind does not end it
        ClassifyCase{"OtherQuoteInsideRun", "'\"<'<", {4}, {}},
        // a closing quote opens nothing: the next '"' starts a new run
        ClassifyCase{"RunsBackToBack", "\"a\"\"<\"<>", {6}, {7}},
        ClassifyCase{"NoQuotes", "<<>>", {0, 1}, {2, 3}},
        ClassifyCase{"Empty", "", {}, {}}),
    [](const ::testing::TestParamInfo<ClassifyCase>& info) { return info.param.name; });

TEST(Classify, WordCountIsTheLengthRoundedUpToSixtyFour) {
    for (const std::size_t length : {0, 1, 63, 64, 65, 127, 128, 129, 1000}) {
        const ByteClasses classes = classify(std::string(length, '<'));
        const std::size_t words = (length + 63) / 64;
        EXPECT_EQ(classes.lt_bits.size(), words) << "length " << length;
        EXPECT_EQ(classes.gt_bits.size(), words) << "length " << length;
        EXPECT_EQ(classes.length, length);
        // every byte is a '<', so every bit below the length is set and none above
        std::vector<std::uint64_t> all(length);
        for (std::size_t i = 0; i < length; ++i) {
            all[i] = i;
        }
        EXPECT_EQ(marked(classes.lt_bits), all) << "length " << length;
        EXPECT_TRUE(marked(classes.gt_bits).empty());
    }
}

TEST(Classify, BitsAcrossTheSixtyFourByteBoundary) {
    // a '>' at 63 and a '<' at 64; then a quote at 63 that hides the '<' at 64
    std::string document(70, 'x');
    document[63] = '>';
    document[64] = '<';
    ByteClasses classes = classify(document);
    EXPECT_EQ(marked(classes.gt_bits), std::vector<std::uint64_t>{63});
    EXPECT_EQ(marked(classes.lt_bits), std::vector<std::uint64_t>{64});
    document[63] = '\'';
    classes = classify(document);
    EXPECT_TRUE(marked(classes.lt_bits).empty());
    EXPECT_TRUE(marked(classes.gt_bits).empty());
}

TEST(Classify, RandomDocumentsMatchTheStateMachine) {
    std::mt19937_64 random(7);
    const std::string alphabet = "<>\"'ab <<>>";
    for (int round = 0; round < 2000; ++round) {
        std::string document(random() % 400, ' ');
        for (char& c : document) {
            c = alphabet[random() % alphabet.size()];
        }
        std::vector<std::uint64_t> lt;
        std::vector<std::uint64_t> gt;
        model(document, lt, gt);
        const ByteClasses classes = classify(document);
        ASSERT_EQ(marked(classes.lt_bits), lt) << document;
        ASSERT_EQ(marked(classes.gt_bits), gt) << document;
    }
}

// Every byte value, so bytes one away from a delimiter (';' '=' '!' '#' '&' '(') and bytes
// with the high bit set sit next to the delimiters in the same word.
TEST(Classify, RandomBytesOfEveryValueMatchTheStateMachine) {
    std::mt19937_64 random(8);
    for (int round = 0; round < 2000; ++round) {
        std::string document(random() % 300, ' ');
        for (char& c : document) {
            c = random() % 3 == 0 ? "<>\"'"[random() % 4] : static_cast<char>(random() % 256);
        }
        std::vector<std::uint64_t> lt;
        std::vector<std::uint64_t> gt;
        model(document, lt, gt);
        const ByteClasses classes = classify(document);
        ASSERT_EQ(marked(classes.lt_bits), lt);
        ASSERT_EQ(marked(classes.gt_bits), gt);
    }
}

}  // namespace
}  // namespace brindle::index
