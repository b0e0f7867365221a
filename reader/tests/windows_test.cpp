// Property: the direct index comes to the walk a window of tags at a time, and nothing shows it:
// elements, texts and open tags carry across window edges, and a fault of the index anywhere
// outranks the walk's, as if the index were built whole first.

#include <gtest/gtest.h>

#include <string>

#include "reader_test_support.hpp"

namespace brindle::reader {
namespace {

constexpr std::size_t kWindow = kTagsPerWindow;

std::string repeat(std::string_view piece, std::size_t times)
{
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

TEST(Windows, ElementStraddlingAWindowEdge)
{
    // The start tag, text, CDATA section and end tag of <b> fall on either side of the first
    // edge as `before` grows.
    for (std::size_t before = kWindow - 4; before <= kWindow + 1; ++before) {
        SCOPED_TRACE(before);
        const std::string document = "<r>" + repeat("<e/>", before) + "<b k='v'>t<![CDATA[<c>]]>u</b><e/>x</r>";
        testing::Read read(document, "r");
        ASSERT_TRUE(read.ok) << read.error;
        const std::string tree = testing::describe(read);
        EXPECT_TRUE(tree.ends_with(",e,b{k=v}\"t<c>u\",e)")) << tree.substr(tree.size() - 40);
        EXPECT_EQ(read.tree.size(), before + 3);
        testing::Read inner(document, "b");  // collecting starts at the edge
        EXPECT_EQ(testing::describe(inner), "b{k=v}\"t<c>u\"");
    }
}

TEST(Windows, ElementSpanningSeveralWindows)
{
    const std::size_t count = 2 * kWindow + 7;
    std::string document = "<doc><r>a";
    for (std::size_t i = 0; i < count; ++i) document += "<e i='" + std::to_string(i) + "'>t</e>b";
    testing::Read read(document + " </r><after/></doc>", "r");
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.tree.size(), count + 1);
    EXPECT_EQ(read.tree[0].child_count, count);
    EXPECT_EQ(read.tree.text_of(read.tree[0].text, read.document), "a" + std::string(count, 'b'));
    std::size_t last = count;
    EXPECT_EQ(testing::describe(read.tree, read.document, last), "e{i=" + std::to_string(count - 1) + "}\"t\"");
}

TEST(Windows, FaultsFarApart)
{
    const std::string padding = repeat("<p/>", 2 * kWindow + 100);
    struct Far {
        std::string document;
        std::string root_tag;
        ReadErrorKind kind;
        std::uint64_t offset;
        std::string name;
    };
    const Far cases[] = {
        // complete in the first window, yet an unclosed tag two windows on fails the read
        {"<a>x</a>" + padding + "<b", "a", ReadErrorKind::UnclosedTag, 8 + padding.size(), ""},
        {"<a></b>" + padding + "<b", "a", ReadErrorKind::UnclosedTag, 7 + padding.size(), ""},
        {"<a></b>" + padding, "a", ReadErrorKind::Malformed, 3, "a"},
        // tags open outside the element are matched across windows
        {"<x>" + padding + "</y>", "a", ReadErrorKind::Malformed, 3 + padding.size(), "x"},
        {"<x>" + padding + "</x>", "a", ReadErrorKind::RootNotFound, 0, "a"},
        {"<r>" + padding, "r", ReadErrorKind::NeverClosed, 0, "r"},
    };
    for (const Far& c : cases) {
        SCOPED_TRACE(c.document.substr(0, 12));
        testing::Read read(c.document, c.root_tag);
        ASSERT_FALSE(read.ok);
        EXPECT_EQ(read.error.kind, c.kind);
        EXPECT_EQ(read.error.offset, c.offset);
        EXPECT_EQ(read.error.name, c.name);
    }
}

}  // namespace
}  // namespace brindle::reader
