// Documents that both builders must index identically: every recorded field of every tag,
// every text run, and the result. Each case is run through each builder.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "index/structural/structural_index.hpp"
#include "index_test_support.hpp"

namespace brindle::index {
namespace {

using testing::Builder;
using namespace testing::kinds;
using testing::IndexCase;
using testing::Tag;
using testing::Text;

struct NamedBuilder {
    const char* name;
    Builder build;
};

const NamedBuilder kBuilders[] = {{"Direct", &build_direct}, {"QuoteDense", &build_quote_dense}};

// Offsets in the comments count from 0.
const IndexCase kCases[] = {
    // <a b=">">x</a>: the '>' in the value does not end the start tag
    //  0123456789...
    {"GreaterThanInAttributeValue", R"(<a b=">">x</a>)", {{0, 8, Open, "a", 1}, {10, 13, Close, "a", 12}}, {{9, 10}}},
    // <a><![CDATA[x<y]]></a>: the '<' in the section starts no tag; the content is a run
    {"CDataHidesLessThan",
     "<a><![CDATA[x<y]]></a>",
     {{0, 2, Open, "a", 1}, {3, 17, CData, "", 0}, {18, 21, Close, "a", 20}},
     {{12, 15}}},
    {"EmptyCData", "<a><![CDATA[]]></a>", {{0, 2, Open, "a", 1}, {3, 14, CData, "", 0}, {15, 18, Close, "a", 17}}, {}},
    // a "--" not followed by '>' does not end a comment
    {"DoubleHyphenInsideComment", "<!-- x -- y -->", {{0, 14, Comment, "", 0}}, {}},
    {"ShortestComment", "<!---->", {{0, 6, Comment, "", 0}}, {}},
    // "--->" ends at its second hyphen's "-->"
    {"ThreeHyphensBeforeGreaterThan", "<!-- a --->", {{0, 10, Comment, "", 0}}, {}},
    {"MarkupInsideComment",
     "<r><!-- <b> </b> --></r>",
     {{0, 2, Open, "r", 1}, {3, 19, Comment, "", 0}, {20, 23, Close, "r", 22}},
     {}},
    // <?xml version="1.0"?> is an instruction named xml ending at the '>' of "?>"
    {"XmlDeclaration", R"(<?xml version="1.0"?><r/>)", {{0, 20, Pi, "xml", 2}, {21, 24, SelfClosing, "r", 22}}, {}},
    // <?a?b?>: the name stops at the first '?', which is not followed by '>'
    {"InstructionNameStopsAtQuestionMark", "<?a?b?>", {{0, 6, Pi, "a", 2}}, {}},
    {"InstructionWithEmptyName",
     "<?"
     "?>",
     {{0, 3, Pi, "", 2}},
     {}},
    {"InstructionNameStopsAtTab", "<?pi\tx?>", {{0, 7, Pi, "pi", 2}}, {}},
    // no "?>" follows: the instruction ends at the last byte of the document
    //  <a><?pi data></a>
    //  0  3          16
    {"InstructionWithoutEnd", "<a><?pi data></a>", {{0, 2, Open, "a", 1}, {3, 16, Pi, "pi", 5}}, {}},
    {"InstructionWithoutNameOrEnd", "<?>x", {{0, 3, Pi, "", 2}}, {}},
    // the "?>" inside the quoted value is the first one, so the instruction ends there
    //  <?pi a="?>"?><b/>
    //  0      7 9  12 13
    {"InstructionEndsAtFirstQuestionGreaterThan",
     R"(<?pi a="?>"?><b/>)",
     {{0, 9, Pi, "pi", 2}, {13, 16, SelfClosing, "b", 14}},
     {{10, 13}}},
    // a DOCTYPE ends at the '>' outside its literals and internal subset; a '>' or ']' in a
    // literal, comment or instruction of the subset ends nothing
    {"DoctypeWithInternalSubset", R"(<!DOCTYPE r [<!ENTITY e "<p>x</p>">]><r/>)", {{37, 40, SelfClosing, "r", 38}}, {}},
    {"DoctypeSubsetCommentAndInstruction",
     R"(<!DOCTYPE r [<!-- ]>' --><?p ]>"?>]><r/>)",
     {{36, 39, SelfClosing, "r", 37}},
     {}},
    // a literal or subset that never closes: the DOCTYPE ends at its first '>'
    {"DoctypeLiteralNeverClosed", R"(<!DOCTYPE r "a><r/>)", {{15, 18, SelfClosing, "r", 16}}, {}},
    {"DoctypeSubsetNeverClosed", "<!DOCTYPE r [<!ELEMENT r ANY><r/>", {{29, 32, SelfClosing, "r", 30}}, {}},
    // every field of an ordinary element with attributes, text and a child
    //  <a x="1">t<b/>u</a>v
    //  0       8 10 13 15 18
    {"ElementWithChild",
     R"(<a x="1">t<b/>u</a>v)",
     {{0, 8, Open, "a", 1}, {10, 13, SelfClosing, "b", 11}, {15, 18, Close, "a", 17}},
     {{9, 10}, {14, 15}}},
    // text before the first tag starts at 0; text after the last tag is never recorded
    {"TextAroundTags", "head<a/>tail", {{4, 7, SelfClosing, "a", 5}}, {{0, 4}}},
    {"NoMarkupAtAll", "just text, no tags", {}, {}},
    {"EmptyDocument", "", {}, {}},
    // names end at each of the five white-space bytes, at '/' and at '>'
    {"NameEndsAtSpace", "<a b='1'/>", {{0, 9, SelfClosing, "a", 1}}, {}},
    {"NameEndsAtLineFeed", "<a\nb='1'/>", {{0, 9, SelfClosing, "a", 1}}, {}},
    {"NameEndsAtFormFeed", "<ab\fc='1'>", {{0, 9, Open, "ab", 1}}, {}},
    {"NameEndsAtCarriageReturn", "<a\rb='1'>", {{0, 8, Open, "a", 1}}, {}},
    {"EndTagNameEndsAtTab", "<a></a\t>", {{0, 2, Open, "a", 1}, {3, 7, Close, "a", 5}}, {}},
    // a '/' not followed by '>' leaves the tag open
    {"SlashInsideStartTag", "<a/b>", {{0, 4, Open, "a", 1}}, {}},
    {"SlashBeforeSpace", "<a/ >", {{0, 4, Open, "a", 1}}, {}},
    // an empty name is recorded as such; the walk rejects it
    {"SpaceAfterLessThan", "< a>", {{0, 3, Open, "", 1}}, {}},
    {"EmptyTag", "<>", {{0, 1, Open, "", 1}}, {}},
    // end tags with nothing open are recorded like any other
    {"EndTagsWithNothingOpen",
     "</x></y><a/>",
     {{0, 3, Close, "x", 2}, {4, 7, Close, "y", 6}, {8, 11, SelfClosing, "a", 9}},
     {}},
    {"EndTagWithSpaceBeforeGreaterThan", "<a></a >", {{0, 2, Open, "a", 1}, {3, 7, Close, "a", 5}}, {}},
    // names are not validated and end-tag names are not matched against start tags
    {"NamesAreNotChecked", "<1-\xC3\xA9></b/>", {{0, 5, Open, "1-\xC3\xA9", 1}, {6, 10, Close, "b/", 8}}, {}},
    // siblings and nesting
    //  <r><a><b/></a><c>x</c></r>
    //  0  3  6   10  14 17 18 22
    {"NestingAndSiblings",
     "<r><a><b/></a><c>x</c></r>",
     {{0, 2, Open, "r", 1},
      {3, 5, Open, "a", 4},
      {6, 9, SelfClosing, "b", 7},
      {10, 13, Close, "a", 12},
      {14, 16, Open, "c", 15},
      {18, 21, Close, "c", 20},
      {22, 25, Close, "r", 24}},
     {{17, 18}}},
};

class BothBuilders : public ::testing::TestWithParam<std::tuple<NamedBuilder, IndexCase>> {};

TEST_P(BothBuilders, RecordEveryField)
{
    const auto& [builder, c] = GetParam();
    StructuralIndex index;
    testing::expect_indexed(builder.build, c, index);
    EXPECT_EQ(index.document.data(), c.document.data());
    EXPECT_EQ(index.document.size(), c.document.size());
    // the parallel arrays stay parallel
    EXPECT_EQ(index.tag_ends.size(), index.tag_count());
    EXPECT_EQ(index.tag_kinds.size(), index.tag_count());
    EXPECT_EQ(index.tag_names.size(), index.tag_count());
}

INSTANTIATE_TEST_SUITE_P(Documents, BothBuilders,
                         ::testing::Combine(::testing::ValuesIn(kBuilders), ::testing::ValuesIn(kCases)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

struct FailureCase {
    const char* name;
    std::string document;
    std::uint64_t offset;  // of the '<' that never closes
};

// Start and end tags that run into the end of the document fail in both builders.
const FailureCase kUnclosed[] = {
    {"StartTagNameToTheEnd", "<a", 0},
    {"StartTagWithoutGreaterThan", "<r><a b", 3},
    {"UnmatchedQuoteToTheEnd", "<a b=\"x", 0},
    // the closing quote is the last byte: no '>' follows it
    {"QuotedGreaterThanOnly", "<a b=\"x>\"", 0},
    {"EndTagNameToTheEnd", "<a></a", 3},
    {"EndTagWithoutGreaterThan", "<a></a b", 3},
    {"EndTagWithoutName", "x</", 1},
    {"AfterCompleteElement", "<a>x</a><b", 8},
};

class BothBuildersFail : public ::testing::TestWithParam<std::tuple<NamedBuilder, FailureCase>> {};

TEST_P(BothBuildersFail, UnclosedTagAtItsLessThan)
{
    const auto& [builder, c] = GetParam();
    StructuralIndex index;
    const BuildResult result = builder.build(c.document, index);
    EXPECT_EQ(result.status, BuildStatus::UnclosedTag);
    EXPECT_EQ(result.offset, c.offset);
}

INSTANTIATE_TEST_SUITE_P(Documents, BothBuildersFail,
                         ::testing::Combine(::testing::ValuesIn(kBuilders), ::testing::ValuesIn(kUnclosed)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

class EachBuilder : public ::testing::TestWithParam<NamedBuilder> {};

// Names longer than 65535 bytes keep their full length.
TEST_P(EachBuilder, LongNamesKeepTheirFullLength)
{
    for (const std::size_t length : {65535U, 65536U, 70000U}) {
        const std::string name(length, 'n');
        const std::string document = "<" + name + " k='v'>x</" + name + ">";
        StructuralIndex index;
        ASSERT_EQ(GetParam().build(document, index).status, BuildStatus::Ok);
        ASSERT_EQ(index.tag_count(), 2U);
        EXPECT_EQ(index.tag_names[0].start, 1U);
        EXPECT_EQ(index.tag_names[0].length, length);
        EXPECT_EQ(index.tag_names[1].start, length + 11);
        EXPECT_EQ(index.tag_names[1].length, length);
    }
}

// Tags placed so that their bytes fall on each side of the 64-byte word boundary and of
// the eight-byte search steps.
TEST_P(EachBuilder, TagsAroundWordBoundaries)
{
    for (std::size_t pad = 50; pad <= 70; ++pad) {
        const std::string document = "<r>" + std::string(pad, 'x') + "<b/>" + std::string(pad % 9, 'y') + "</r>";
        const std::uint64_t b = 3 + pad;
        const std::uint64_t close = b + 4 + pad % 9;
        StructuralIndex index;
        ASSERT_EQ(GetParam().build(document, index).status, BuildStatus::Ok);
        const std::vector<Tag> expected{
            {0, 2, Open, "r", 1}, {b, b + 3, SelfClosing, "b", b + 1}, {close, close + 3, Close, "r", close + 2}};
        EXPECT_EQ(testing::tags_of(index), expected) << "pad " << pad;
        std::vector<Text> texts{{3, b}};
        if (pad % 9 != 0) {
            texts.push_back({b + 4, close});
        }
        EXPECT_EQ(testing::texts_of(index), texts) << "pad " << pad;
    }
}

// Documents of 63 to 66 bytes whose last tag ends on the last byte.
TEST_P(EachBuilder, DocumentsOfSixtyFourAndSixtyFiveBytes)
{
    for (std::size_t length = 63; length <= 66; ++length) {
        const std::string document = "<a>" + std::string(length - 7, 'x') + "</a>";
        ASSERT_EQ(document.size(), length);
        StructuralIndex index;
        ASSERT_EQ(GetParam().build(document, index).status, BuildStatus::Ok);
        const std::vector<Tag> expected{{0, 2, Open, "a", 1}, {length - 4, length - 1, Close, "a", length - 2}};
        EXPECT_EQ(testing::tags_of(index), expected) << "length " << length;
        EXPECT_EQ(testing::texts_of(index), (std::vector<Text>{{3, length - 4}}));
    }
}

// Per-tag arrays start with room for length / 128 entries from 128 bytes on, text runs with
// room for length / 256 above 255 bytes. Documents without '<' record nothing, so the
// capacities are the initial ones (libstdc++ reserves exactly what is asked).
TEST_P(EachBuilder, InitialCapacities)
{
    for (const std::size_t length : {0U, 1U, 127U, 128U, 255U, 256U, 1000U, 100000U}) {
        const std::string document(length, 'x');
        StructuralIndex index;
        ASSERT_EQ(GetParam().build(document, index).status, BuildStatus::Ok);
        const std::size_t tags = length >= 128 ? length / 128 : 0;
        const std::size_t texts = length > 255 ? length / 256 : 0;
        EXPECT_EQ(index.tag_starts.capacity(), tags) << "length " << length;
        EXPECT_EQ(index.tag_ends.capacity(), tags) << "length " << length;
        EXPECT_EQ(index.tag_kinds.capacity(), tags) << "length " << length;
        EXPECT_EQ(index.tag_names.capacity(), tags) << "length " << length;
        EXPECT_EQ(index.text_ranges.capacity(), texts) << "length " << length;
    }
}

// A used index is emptied before the build: nothing of the previous document remains.
// Nesting far beyond any stack costs a builder nothing: 100000 levels, closed again, then a
// sibling at top level.
TEST_P(EachBuilder, HundredThousandLevels)
{
    constexpr std::size_t kDepth = 100000;
    std::string document;
    for (std::size_t i = 0; i < kDepth; ++i) {
        document += "<e>";
    }
    for (std::size_t i = 0; i < kDepth; ++i) {
        document += "</e>";
    }
    document += "<s/>";
    StructuralIndex index;
    ASSERT_EQ(GetParam().build(document, index).status, BuildStatus::Ok);
    ASSERT_EQ(index.tag_count(), 2 * kDepth + 1);
    EXPECT_EQ(index.tag_kinds[kDepth - 1], Open);
    EXPECT_EQ(index.tag_kinds[kDepth], Close);
    EXPECT_EQ(index.tag_starts[kDepth], 3 * kDepth);
    EXPECT_EQ(index.tag_kinds.back(), SelfClosing);
}

TEST_P(EachBuilder, ReplacesThePreviousContents)
{
    StructuralIndex index;
    ASSERT_EQ(GetParam().build("<a><b>x</b><c/></a>", index).status, BuildStatus::Ok);
    ASSERT_EQ(index.tag_count(), 5U);
    const std::string second = "y<z/>";
    ASSERT_EQ(GetParam().build(second, index).status, BuildStatus::Ok);
    EXPECT_EQ(testing::tags_of(index), (std::vector<Tag>{{1, 4, SelfClosing, "z", 2}}));
    EXPECT_EQ(testing::texts_of(index), (std::vector<Text>{{0, 1}}));
    EXPECT_EQ(index.document.data(), second.data());
}

INSTANTIATE_TEST_SUITE_P(Builders, EachBuilder, ::testing::ValuesIn(kBuilders),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brindle::index
