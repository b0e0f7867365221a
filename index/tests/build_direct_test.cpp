// What only the direct builder does: quotes count only inside start tags, declarations move
// the start of the next text run past them, and an unterminated comment, CDATA section or instruction name is a failure
// of its own.

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

TEST_P(DirectIndex, RecordsEveryField)
{
    StructuralIndex index;
    testing::expect_indexed(build_direct, GetParam(), index);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, DirectIndex,
    ::testing::Values(
        // an apostrophe in character data is only text
        //  <p>it's</p><q>x</q>
        //  0  3   7   11 14 15
        IndexCase{"ApostropheInText",
                  "<p>it's</p><q>x</q>",
                  {{0, 2, Open, "p", 1}, {7, 10, Close, "p", 9}, {11, 13, Open, "q", 12}, {15, 18, Close, "q", 17}},
                  {{3, 7}, {14, 15}}},
        // <!DOCTYPE d> gets no entry and the next text run starts after its '>'
        IndexCase{"DoctypeSkipped",
                  "<!DOCTYPE d>\n<r>t</r>",
                  {{13, 15, Open, "r", 14}, {17, 20, Close, "r", 19}},
                  {{12, 13}, {16, 17}}},
        // DOCTYPE is matched case-sensitively: this is another declaration, ending at its first '>'
        IndexCase{"LowerCaseDoctype", R"(<!doctype r "a>b"><r/>)", {{18, 21, SelfClosing, "r", 19}}, {{15, 18}}},
        // a declaration skips to the first '>', even one that looks like part of a tag
        IndexCase{"DeclarationSwallowsTag", "<!x<a>b<c/>", {{7, 10, SelfClosing, "c", 8}}, {{6, 7}}},
        // "<!-" is no comment, "<![CDATA" no CDATA section: both are declarations
        IndexCase{"NearlyAComment", "<!-x>y<a/>", {{6, 9, SelfClosing, "a", 7}}, {{5, 6}}},
        IndexCase{"NearlyCData", "<![CDATA>y<a/>", {{10, 13, SelfClosing, "a", 11}}, {{9, 10}}},
        // a declaration without '>' skips only its '<'
        IndexCase{"DeclarationWithoutEnd", "<a/><!x", {{0, 3, SelfClosing, "a", 1}}, {}},
        // a quote without a closing partner: scanning resumes two bytes after it, so the
        // '>' right after the quote is passed over
        //  <a '/>x   the '/' is passed over: the '>' ends an Open tag
        //  0  3 5
        IndexCase{"UnmatchedApostropheHidesSlash", "<a '/>x", {{0, 5, Open, "a", 1}}, {}},
        //  <a b='>x>
        //  0    5 7 8
        IndexCase{"UnmatchedQuoteResumesTwoBytesOn", "<a b='>x>", {{0, 8, Open, "a", 1}}, {}},
        // an end tag ends at its first '>', quotes or not
        //  <a></a x='>'><b/>
        //  0  3      10 13
        IndexCase{"EndTagIgnoresQuotes",
                  "<a></a x='>'><b/>",
                  {{0, 2, Open, "a", 1}, {3, 10, Close, "a", 5}, {13, 16, SelfClosing, "b", 14}},
                  {{11, 13}}},
        // the first '<' inside an unquoted attribute value is part of the start tag
        IndexCase{"LessThanInsideStartTag", "<a b=<c>", {{0, 7, Open, "a", 1}}, {}}),
    [](const ::testing::TestParamInfo<IndexCase>& info) { return info.param.name; });

struct DirectFailure {
    const char* name;
    std::string document;
    BuildStatus status;
    std::uint64_t offset;
};

class DirectFails : public ::testing::TestWithParam<DirectFailure> {};

TEST_P(DirectFails, WithStatusAndOffset)
{
    const DirectFailure& c = GetParam();
    StructuralIndex index;
    const BuildResult result = build_direct(c.document, index);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.offset, c.offset);
}

INSTANTIATE_TEST_SUITE_P(Documents, DirectFails,
                         ::testing::Values(
                             // a '<' as the last byte
                             DirectFailure{"LessThanLast", "<a>x<", BuildStatus::UnclosedTag, 4},
                             DirectFailure{"OnlyLessThan", "<", BuildStatus::UnclosedTag, 0},
                             // unterminated comment, CDATA section and instruction name: the document length
                             DirectFailure{"UnterminatedComment", "<a><!-- x", BuildStatus::UnexpectedEnd, 9},
                             DirectFailure{"CommentOpeningOnly", "<!--", BuildStatus::UnexpectedEnd, 4},
                             DirectFailure{"CommentWithTwoHyphensAndGreaterThan", "<!-->", BuildStatus::UnexpectedEnd,
                                           5},
                             DirectFailure{"CommentEndingInDoubleHyphen", "<!-- x --", BuildStatus::UnexpectedEnd, 9},
                             DirectFailure{"UnterminatedCData", "<a><![CDATA[x]]", BuildStatus::UnexpectedEnd, 15},
                             DirectFailure{"CDataOpeningOnly", "<![CDATA[", BuildStatus::UnexpectedEnd, 9},
                             DirectFailure{"InstructionNameToTheEnd", "<a><?pi", BuildStatus::UnexpectedEnd, 7},
                             DirectFailure{"InstructionWithoutName", "<a><?", BuildStatus::UnexpectedEnd, 5},
                             // the quote skips the '>' inside it and nothing closes the tag afterwards
                             DirectFailure{"UnmatchedQuoteBeforeGreaterThan", "<a b='>", BuildStatus::UnclosedTag, 0}),
                         [](const ::testing::TestParamInfo<DirectFailure>& info) { return info.param.name; });

}  // namespace
}  // namespace brindle::index
