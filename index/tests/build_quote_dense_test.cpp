// What only the quote-dense builder does: a tag with no '>' after it anywhere is unclosed,
// declarations other than a DOCTYPE start the next run of text at their '<', and unterminated
// sections are recorded with an end that the walk's termination checks reject. Quotes quote only inside start tags, as
// for the direct builder.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "index/structural/structural_index.hpp"
#include "index_test_support.hpp"

namespace brindle::index {
namespace {

using namespace testing::kinds;
using testing::IndexCase;
using testing::Tag;
using testing::Text;

class QuoteDenseIndex : public ::testing::TestWithParam<IndexCase> {};

TEST_P(QuoteDenseIndex, RecordsEveryField)
{
    StructuralIndex index;
    testing::expect_indexed(build_quote_dense, GetParam(), index);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, QuoteDenseIndex,
    ::testing::Values(
        // quotes in character data quote nothing
        //  <p>it's</p><q>x'</q>
        //  0  3   7   11 14 16
        IndexCase{"ApostropheInTextQuotesNothing",
                  "<p>it's</p><q>x'</q>",
                  {{0, 2, Open, "p", 1}, {7, 10, Close, "p", 9}, {11, 13, Open, "q", 12}, {16, 19, Close, "q", 18}},
                  {{3, 7}, {14, 16}}},
        // a DOCTYPE ends at the '>' after its literals, and the text after it starts past it
        //  <!DOCTYPE d "a>">\n<r>t</r>
        //  0            14 16 18   22
        IndexCase{"DoctypeSkippedWhole",
                  "<!DOCTYPE d \"a>\">\n<r>t</r>",
                  {{18, 20, Open, "r", 19}, {22, 25, Close, "r", 24}},
                  {{17, 18}, {21, 22}}},
        // any other declaration records nothing; the text after it starts at its '<'
        //  <!x<a>b<c/>   the declaration ends nowhere: the next '<' starts a tag
        IndexCase{"DeclarationSwallowsNothing",
                  "<!x<a>b<c/>",
                  {{3, 5, Open, "a", 4}, {7, 10, SelfClosing, "c", 8}},
                  {{0, 3}, {6, 7}}},
        // an end tag ends at its first '>': quotes count only in start tags
        //  <a></a x='>'><b/>
        //  0  3      10 13
        IndexCase{"EndTagEndsAtItsFirstGreaterThan",
                  "<a></a x='>'><b/>",
                  {{0, 2, Open, "a", 1}, {3, 10, Close, "a", 5}, {13, 16, SelfClosing, "b", 14}},
                  {{11, 13}}},
        // a '<' inside a recorded tag starts no tag
        IndexCase{"LessThanInsideATagStartsNone", "<a b=<c>", {{0, 7, Open, "a", 1}}, {}},
        // the text before a declaration is recorded once: the next run starts at its '<'
        //  <a>t<!x>u<b/>
        //  0  3 4   8 9
        IndexCase{"DeclarationAfterTextRecordsNoByteTwice",
                  "<a>t<!x>u<b/>",
                  {{0, 2, Open, "a", 1}, {9, 12, SelfClosing, "b", 10}},
                  {{3, 4}, {4, 9}}},
        // a '<' as the last byte ends the index without an entry
        IndexCase{"LessThanLast", "<a>x<", {{0, 2, Open, "a", 1}}, {{3, 4}}},
        // '<' bytes inside an unterminated comment start no tag
        //  <a><!-- <b>xx
        //  0  3    8  11 (document length 13)
        IndexCase{"UnterminatedCommentHidesTags", "<a><!-- <b>xx", {{0, 2, Open, "a", 1}, {3, 11, Comment, "", 0}}, {}},
        // the walk's checks, not the builder, reject an unterminated instruction
        IndexCase{
            "InstructionWithoutEndHidesTags", "<?pi <a> x", {{0, 9, TagKind::ProcessingInstruction, "pi", 2}}, {}}),
    [](const ::testing::TestParamInfo<IndexCase>& info) { return info.param.name; });

struct DenseFailure {
    const char* name;
    std::string document;
    std::uint64_t offset;
};

class QuoteDenseFails : public ::testing::TestWithParam<DenseFailure> {};

// Any '<' with no '>' after it fails, whatever kind of markup it opens; so does a start tag
// whose quote never closes.
TEST_P(QuoteDenseFails, UnclosedTagWithoutALaterGreaterThan)
{
    const DenseFailure& c = GetParam();
    StructuralIndex index;
    const BuildResult result = build_quote_dense(c.document, index);
    EXPECT_EQ(result.status, BuildStatus::UnclosedTag);
    EXPECT_EQ(result.offset, c.offset);
}

INSTANTIATE_TEST_SUITE_P(Documents, QuoteDenseFails,
                         ::testing::Values(DenseFailure{"Comment", "<a><!-- x", 3},
                                           DenseFailure{"CData", "<a><![CDATA[x", 3},
                                           DenseFailure{"Instruction", "<a><?pi", 3},
                                           DenseFailure{"Declaration", "<a><!DOCTYPE", 3},
                                           DenseFailure{"GreaterThanInQuotes", "<a b='>'", 0},
                                           DenseFailure{"ApostropheBeforeTheGreaterThan", "<a '/>", 0}),
                         [](const ::testing::TestParamInfo<DenseFailure>& info) { return info.param.name; });

// An unterminated comment or CDATA section ends two bytes before the end of the document,
// or, when its '<' is among the last six (comment) or eleven (CDATA) bytes, 4 or 9 bytes
// after its '<'. Its content is not recorded as text.
TEST(QuoteDenseUnterminated, CommentEnd)
{
    for (std::size_t filler = 0; filler <= 8; ++filler) {
        const std::string document = "<a><!--" + std::string(filler, 'x') + ">";
        const std::uint64_t p = 3;
        const std::uint64_t length = document.size();
        const std::uint64_t end = p >= length - 6 ? p + 4 : length - 2;
        StructuralIndex index;
        ASSERT_EQ(build_quote_dense(document, index).status, BuildStatus::Ok) << document;
        EXPECT_EQ(testing::tags_of(index), (std::vector<Tag>{{0, 2, Open, "a", 1}, {p, end, Comment, "", 0}}))
            << document;
        EXPECT_TRUE(index.text_ranges.empty());
    }
}

TEST(QuoteDenseUnterminated, CDataEnd)
{
    for (std::size_t filler = 0; filler <= 8; ++filler) {
        const std::string document = "<a><![CDATA[" + std::string(filler, 'x') + ">";
        const std::uint64_t p = 3;
        const std::uint64_t length = document.size();
        const std::uint64_t end = p >= length - 11 ? p + 9 : length - 2;
        StructuralIndex index;
        ASSERT_EQ(build_quote_dense(document, index).status, BuildStatus::Ok) << document;
        EXPECT_EQ(testing::tags_of(index), (std::vector<Tag>{{0, 2, Open, "a", 1}, {p, end, CData, "", 0}}))
            << document;
        EXPECT_TRUE(index.text_ranges.empty());
    }
}

}  // namespace
}  // namespace brindle::index
