// Property: every way a read fails comes back as a value (never thrown) with its kind, its
// message kind, its byte offset and the names its message shows, the names being views of the
// document or of root_tag; under both index builders, and in the order the document gives.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "index/structural/structural_index.hpp"
#include "reader/tree/tree_walk.hpp"
#include "reader_test_support.hpp"

namespace brindle::reader {
namespace {

using testing::Builder;
using Kind = ReadErrorKind;
using Msg = MalformedMessage;

// What a read must end in, with offsets counted in the document before it is placed in a builder.
ReadError malformed(Msg message, std::uint64_t offset, std::string_view name = {}, std::string_view second = {})
{
    return {Kind::Malformed, message, offset, name, second};
}

// Only Malformed errors have a message; the others keep the default.
ReadError failed(Kind kind, std::uint64_t offset, std::string_view name = {})
{
    return {kind, Msg{}, offset, name, {}};
}

struct Case {
    std::string document;
    std::string root_tag;
    ReadError direct;
    ReadError quote_dense;
};

Case both(std::string document, std::string root_tag, const ReadError& expect)
{
    return {std::move(document), std::move(root_tag), expect, expect};
}

const std::vector<Case> kCases = {
    both("<a>x</a><b", "a", failed(Kind::UnclosedTag, 8)),
    both("<a><?pi data></a>", "a", malformed(Msg::UnterminatedInstruction, 3)),
    both("<a></a b>", "a", malformed(Msg::MalformedEndTag, 3, "a")),
    both("</x><a/>", "a", malformed(Msg::UnexpectedEndTag, 0, "x")),
    both("<a><b></a>", "a", malformed(Msg::MismatchedEndTag, 6, "b", "a")),
    both("<r><x></y><a/></r>", "a", malformed(Msg::MismatchedEndTag, 6, "x", "y")),
    both("<a>< b/></a>", "a", malformed(Msg::ExpectedElementName, 3)),
    both("<a x=\"1\"y=\"2\"/>", "a", malformed(Msg::ExpectedWhitespace, 8)),
    both("<a =\"1\"/>", "a", malformed(Msg::ExpectedAttributeName, 3)),
    both("<a x></a>", "a", malformed(Msg::AttributeWithoutValue, 3, "x")),
    both("<a x=1/>", "a", malformed(Msg::UnquotedValue, 5, "x")),
    both("<a x=\"a<b\"/>", "a", malformed(Msg::LessThanInValue, 7)),
    both("<a x=\"1\" x=\"2\"/>", "a", malformed(Msg::DuplicateAttribute, 9, "x")),
    both("<r><b x=\"1\" x=\"2\"/><a/></r>", "a", malformed(Msg::DuplicateAttribute, 12, "x")),
    both("<a>AT&T</a>", "a", malformed(Msg::UnterminatedEntity, 5)),
    both("<a>x&#X3C;</a>", "a", malformed(Msg::InvalidCharReference, 4, "#X3C")),
    both("<a k=\"x&#xD800;\"/>", "a", malformed(Msg::InvalidCharReference, 7, "#xD800")),
    both("<a>&nbsp;</a>", "a", failed(Kind::UnknownEntity, 3, "nbsp")),
    both("<a x=\"&e;\"/>", "a", failed(Kind::UnknownEntity, 6, "e")),
    both("<a>&;</a>", "a", failed(Kind::UnknownEntity, 3, "")),
    both("<a/>", "b", failed(Kind::RootNotFound, 0, "b")),
    both("<a><b>", "a", failed(Kind::NeverClosed, 0, "b")),
    both("<r><a><c><d/>text", "a", failed(Kind::NeverClosed, 0, "c")),
    // The first fault in document order wins, whatever its kind.
    both("<a x=\"1\" x=\"2\"y>", "a", malformed(Msg::DuplicateAttribute, 9, "x")),
    both("<a x=\"1\" y=\"<\" x=\"2\"/>", "a", malformed(Msg::LessThanInValue, 12)),
    both("<a>&#-1;<b></c>", "a", malformed(Msg::InvalidCharReference, 3, "#-1")),
    // Offsets count bytes: e-acute, a CJK character, an emoji and a byte-order mark take 12.
    both("\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBB\xBF<a><b></a>", "a",
         malformed(Msg::MismatchedEndTag, 18, "b", "a")),
    // The builders see some broken markup differently.
    {"<a><!-- x", "a", malformed(Msg::UnexpectedEnd, 9), failed(Kind::UnclosedTag, 3)},
    {"<a><!-- x > y", "a", malformed(Msg::UnexpectedEnd, 13), malformed(Msg::UnterminatedComment, 3)},
    {"<a><![CDATA[x > y", "a", malformed(Msg::UnexpectedEnd, 17), malformed(Msg::UnterminatedCData, 3)},
    {"<a x=\"1></a>", "a", malformed(Msg::UnterminatedValue, 6), failed(Kind::UnclosedTag, 0)},
    {"<a><!x><b/></a>", "a", ReadError{}, malformed(Msg::UnexpectedLessThan, 3)},
};

bool inside(std::string_view view, std::string_view buffer)
{
    return view.data() >= buffer.data() && view.data() + view.size() <= buffer.data() + buffer.size();
}

class ReadErrors : public ::testing::TestWithParam<Builder> {};

TEST_P(ReadErrors, EveryKindWithItsOffsetAndNames)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.document);
        const testing::Placed placed = testing::in_builder(c.document, GetParam());
        testing::Read read(placed.document, c.root_tag);
        ReadError expect = GetParam() == Builder::Direct ? c.direct : c.quote_dense;
        ASSERT_EQ(read.ok, !expect.failed()) << read.error;
        if (read.ok) continue;
        if (expect.kind != Kind::RootNotFound && expect.kind != Kind::NeverClosed) expect.offset += placed.shift;
        EXPECT_EQ(::testing::PrintToString(read.error), ::testing::PrintToString(expect));
        for (const std::string_view name : {read.error.name, read.error.second_name}) {
            EXPECT_TRUE(name.empty() || inside(name, read.document) || inside(name, read.root_tag)) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Builders, ReadErrors, testing::kBothBuilders, testing::builder_name);

// No builder records a tag that ends past the document, so the check before every tag is shown
// on an index made by hand.
TEST(ReadErrors, TagEndingPastTheDocumentIsUnterminatedMarkup)
{
    index::StructuralIndex window;
    window.document = "<r><a>";
    window.tag_starts = {0, 3};
    window.tag_ends = {2, 6};
    window.tag_kinds = {index::TagKind::Open, index::TagKind::Open};
    window.tag_names = {{1, 1}, {4, 1}};
    ReadTree tree;
    ReadTreeSink sink(tree, window.document);
    TreeWalk walk(window.document, WalkOptions{"a"}, sink);
    ASSERT_EQ(walk.walk(window), WalkStep::Failed);
    const ReadError expect = malformed(Msg::UnterminatedMarkup, 3);
    EXPECT_EQ(::testing::PrintToString(walk.error()), ::testing::PrintToString(expect));
}

}  // namespace
}  // namespace brindle::reader
