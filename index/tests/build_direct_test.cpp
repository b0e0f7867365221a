// What only the direct builder does: quotes count only inside start tags, declarations move
// the start of the next text run past them, parents are kept for 32 open elements, and an
// unterminated comment, CDATA section or instruction name is a failure of its own.

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


class DirectIndex : public ::testing::TestWithParam<IndexCase> {};

TEST_P(DirectIndex, RecordsEveryField) {
    StructuralIndex index;
    testing::expect_indexed(build_direct, GetParam(), index);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, DirectIndex,
    ::testing::Values(
        // an apostrophe in character data is only text
        //  <p>it's</p><q>x</q>
        //  0  3   7   11 14 15
        IndexCase{"ApostropheInText", "<p>it's</p><q>x</q>",
                   {{0, 2, Open, "p", 1, 0, -1}, {7, 10, Close, "p", 9, 0, -1},
                    {11, 13, Open, "q", 12, 0, -1}, {15, 18, Close, "q", 17, 0, -1}},
                   {{3, 7, 0}, {14, 15, 2}}},
        // <!DOCTYPE d> gets no entry and the next text run starts after its '>'
        IndexCase{"DoctypeSkipped", "<!DOCTYPE d>\n<r>t</r>",
                   {{13, 15, Open, "r", 14, 0, -1}, {17, 20, Close, "r", 19, 0, -1}},
                   {{12, 13, -1}, {16, 17, 0}}},
        // DOCTYPE is matched case-sensitively: this is another declaration, ending at its first '>'
        IndexCase{"LowerCaseDoctype", R"(<!doctype r "a>b"><r/>)", {{18, 21, SelfClosing, "r", 19, 0, -1}},
                  {{15, 18, -1}}},
        // a declaration skips to the first '>', even one that looks like part of a tag
        IndexCase{"DeclarationSwallowsTag", "<!x<a>b<c/>", {{7, 10, SelfClosing, "c", 8, 0, -1}}, {{6, 7, -1}}},
        // "<!-" is no comment, "<![CDATA" no CDATA section: both are declarations
        IndexCase{"NearlyAComment", "<!-x>y<a/>", {{6, 9, SelfClosing, "a", 7, 0, -1}}, {{5, 6, -1}}},
        IndexCase{"NearlyCData", "<![CDATA>y<a/>", {{10, 13, SelfClosing, "a", 11, 0, -1}}, {{9, 10, -1}}},
        // a declaration without '>' skips only its '<'
        IndexCase{"DeclarationWithoutEnd", "<a/><!x", {{0, 3, SelfClosing, "a", 1, 0, -1}}, {}},
        // a quote without a closing partner: scanning resumes two bytes after it, so the
        // '>' right after the quote is passed over
        //  <a '/>x   the '/' is passed over: the '>' ends an Open tag
        //  0  3 5
        IndexCase{"UnmatchedApostropheHidesSlash", "<a '/>x", {{0, 5, Open, "a", 1, 0, -1}}, {}},
        //  <a b='>x>
        //  0    5 7 8
        IndexCase{"UnmatchedQuoteResumesTwoBytesOn", "<a b='>x>", {{0, 8, Open, "a", 1, 0, -1}}, {}},
        // an end tag ends at its first '>', quotes or not
        //  <a></a x='>'><b/>
        //  0  3      10 13
        IndexCase{"EndTagIgnoresQuotes", "<a></a x='>'><b/>",
                   {{0, 2, Open, "a", 1, 0, -1}, {3, 10, Close, "a", 5, 0, -1},
                    {13, 16, SelfClosing, "b", 14, 0, -1}},
                   {{11, 13, -1}}},
        // the first '<' inside an unquoted attribute value is part of the start tag
        IndexCase{"LessThanInsideStartTag", "<a b=<c>", {{0, 7, Open, "a", 1, 0, -1}}, {}}),
    [](const ::testing::TestParamInfo<IndexCase>& info) { return info.param.name; });

struct DirectFailure {
    const char* name;
    std::string document;
    BuildStatus status;
    std::uint64_t offset;
};

class DirectFails : public ::testing::TestWithParam<DirectFailure> {};

TEST_P(DirectFails, WithStatusAndOffset) {
    const DirectFailure& c = GetParam();
    StructuralIndex index;
    const BuildResult result = build_direct(c.document, index);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.offset, c.offset);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, DirectFails,
    ::testing::Values(
        // a '<' as the last byte
        DirectFailure{"LessThanLast", "<a>x<", BuildStatus::UnclosedTag, 4},
        DirectFailure{"OnlyLessThan", "<", BuildStatus::UnclosedTag, 0},
        // unterminated comment, CDATA section and instruction name: the document length
        DirectFailure{"UnterminatedComment", "<a><!-- x", BuildStatus::UnexpectedEnd, 9},
        DirectFailure{"CommentOpeningOnly", "<!--", BuildStatus::UnexpectedEnd, 4},
        DirectFailure{"CommentWithTwoHyphensAndGreaterThan", "<!-->", BuildStatus::UnexpectedEnd, 5},
        DirectFailure{"CommentEndingInDoubleHyphen", "<!-- x --", BuildStatus::UnexpectedEnd, 9},
        DirectFailure{"UnterminatedCData", "<a><![CDATA[x]]", BuildStatus::UnexpectedEnd, 15},
        DirectFailure{"CDataOpeningOnly", "<![CDATA[", BuildStatus::UnexpectedEnd, 9},
        DirectFailure{"InstructionNameToTheEnd", "<a><?pi", BuildStatus::UnexpectedEnd, 7},
        DirectFailure{"InstructionWithoutName", "<a><?", BuildStatus::UnexpectedEnd, 5},
        // the quote skips the '>' inside it and nothing closes the tag afterwards
        DirectFailure{"UnmatchedQuoteBeforeGreaterThan", "<a b='>", BuildStatus::UnclosedTag, 0}),
    [](const ::testing::TestParamInfo<DirectFailure>& info) { return info.param.name; });

// Forty nested elements: the parents of the elements deeper than 32 are -1, and the end
// tags closing them too; depths are kept for all.
TEST(DirectDeepNesting, ParentsOnlyForTheFirstThirtyTwoOpenElements) {
    constexpr int kDepth = 40;
    std::string document;
    for (int i = 0; i < kDepth; ++i) {
        document += "<e>";
    }
    for (int i = 0; i < kDepth; ++i) {
        document += "</e>";
    }
    StructuralIndex index;
    ASSERT_EQ(build_direct(document, index).status, BuildStatus::Ok);
    ASSERT_EQ(index.tag_count(), 2U * kDepth);
    for (int k = 0; k < kDepth; ++k) {
        // the k-th start tag meets k open elements: its parent is known while k <= 32
        const std::int32_t parent = k >= 1 && k <= 32 ? k - 1 : -1;
        EXPECT_EQ(index.depths[k], k) << "start tag " << k;
        EXPECT_EQ(index.parents[k], parent) << "start tag " << k;
        EXPECT_EQ(index.tag_kinds[k], Open);
    }
    for (int i = 0; i < kDepth; ++i) {
        // this end tag closes element j while j + 1 elements are open: its parent is the one
        // below, remembered while 2 <= j + 1 <= 33
        const int j = kDepth - 1 - i;
        const std::size_t k = kDepth + i;
        const std::int32_t parent = j + 1 >= 2 && j + 1 <= 33 ? j - 1 : -1;
        EXPECT_EQ(index.depths[k], j) << "end tag of element " << j;
        EXPECT_EQ(index.parents[k], parent) << "end tag of element " << j;
        EXPECT_EQ(index.tag_kinds[k], Close);
    }
    EXPECT_EQ(index.parents[kDepth - 1], -1) << "the 40-deep element";
    EXPECT_EQ(index.depths[kDepth - 1], 39);
}

// Text inside an element deeper than 32 has no parent.
TEST(DirectDeepNesting, TextParentsFollowTheSameLimit) {
    for (int open = 30; open <= 35; ++open) {
        std::string document;
        for (int i = 0; i < open; ++i) {
            document += "<e>";
        }
        document += "t</e>";
        StructuralIndex index;
        ASSERT_EQ(build_direct(document, index).status, BuildStatus::Ok);
        ASSERT_EQ(index.text_ranges.size(), 1U);
        EXPECT_EQ(index.text_ranges[0].parent, open <= 32 ? open - 1 : -1) << open << " open";
    }
}

}  // namespace
}  // namespace brindle::index
