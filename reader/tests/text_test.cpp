// Property: text comes out decoded: references replaced (and a bad
// one reported at its '&'), line breaks in attribute values made spaces, an element's pieces
// joined and trimmed of Unicode white space once.

#include <gtest/gtest.h>

#include <string>

#include "reader/text/references.hpp"
#include "reader/text/unicode_space.hpp"
#include "reader_test_support.hpp"

namespace brindle::reader {
namespace {

using testing::Builder;

// The decoded text, or "!" and the offset of the failure.
std::string decoded(std::string_view raw, TextMode mode)
{
    const std::size_t first = first_to_decode(raw, mode);
    if (first == raw.size()) return std::string(raw);
    std::string out;
    ReadError error;
    if (!append_decoded(out, raw, 100, mode, first, error)) return testing::join("!", std::to_string(error.offset));
    return out;
}

TEST(References, DecodeToTheirCharacters)
{
    using namespace std::string_literals;
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"a &lt; b", "a < b"}, {"&#60;&#x3c;&#x3C;&#+65;", "<<<A"}, {"&amp;amp;", "&amp;"},
        {"&quot;&apos;&gt;", "\"'>"}, {"&#233;&#x4E2D;&#x1F600;", "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"},
        {"&#0;", "\0"s}, {"x&#X3C;", "!101"}, {"&#xD800;", "!100"}, {"&#4294967296;", "!100"},
        {"&#1114112;", "!100"}, {"&#;", "!100"}, {"AT&T", "!102"}, {"&nbsp;", "!100"},
        {"a\tb\r\nc", "a\tb\r\nc"}, {"&xt;", "!100"}, {"&lx;", "!100"}, {"&amq;", "!100"},
        {"&quos;", "!100"}, {"&apot;", "!100"}, {"&ampx;", "!100"}, {"&#00000000000000000065;", "A"},
    };
    // clang-format on
    for (const auto& [raw, expected] : cases) EXPECT_EQ(decoded(raw, TextMode::CharacterData), expected) << raw;
    // In attribute values tabs and line breaks (CR LF as one) become spaces; replacements are
    // never scanned again.
    EXPECT_EQ(decoded("a\tb\r\nc\nd\re\r\n\r\n&#10;", TextMode::AttributeValue), "a b c d e  \n");
}

// The search for the first reference, a word at a time in short runs: an '&' at every place of
// runs of every length up to past the in-place limit, among bytes next to it in value (where a
// word-wide match could mark a false lane), with a second '&' after it or none.
TEST(References, FirstAmpersandAtEveryPlace)
{
    const std::string filler = std::string("'%\x27\x25\xA6\x07") + "a";
    for (std::size_t length = 0; length <= 80; ++length) {
        std::string run;
        for (std::size_t i = 0; i < length; ++i) run += filler[i % filler.size()];
        ASSERT_EQ(first_to_decode(run, TextMode::CharacterData), length) << "length " << length;
        for (std::size_t place = 0; place < length; ++place) {
            for (const bool second : {false, true}) {
                std::string with = run;
                with[place] = '&';
                if (second && place + 2 < length) with[place + 2] = '&';
                ASSERT_EQ(first_to_decode(with, TextMode::CharacterData), place)
                    << "length " << length << " place " << place << " second " << second;
            }
        }
    }
}

TEST(UnicodeSpace, TrimsEveryWhiteSpaceCharacter)
{
    const char* spaces[] = {
        "\t",           "\n",           "\v",           "\f",           "\r",           " ",
        "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x8A", "\xE2\x80\xA8",
        "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};
    for (const char* space : spaces) {
        const std::string padded = std::string(space) + space + "x" + space + "y" + space;
        EXPECT_EQ(trim_unicode_space(padded), std::string("x") + space + "y") << padded;
        EXPECT_TRUE(is_all_unicode_space(std::string(space) + space));
    }
    // Near misses: U+200B (zero-width space), U+00A1, U+3001.
    for (const char* other : {"\xE2\x80\x8B", "\xC2\xA1", "\xE3\x80\x81"}) {
        EXPECT_EQ(trim_unicode_space(other), other);
        EXPECT_FALSE(is_all_unicode_space(other));
    }
    EXPECT_EQ(trim_unicode_space(" \xC2\xA0 "), "");
}

// Runs of every length around the word-wide check, with any ASCII byte at any place among the
// six ASCII white-space characters.
TEST(UnicodeSpace, AsciiRunsOfEveryLength)
{
    const std::string space = "\t\n\v\f\r ";
    for (std::size_t length = 1; length <= 20; ++length) {
        for (std::size_t place = 0; place < length; ++place) {
            for (int byte = 0; byte < 0x80; ++byte) {
                std::string run;
                for (std::size_t i = 0; i < length; ++i) run += space[(i * 5 + length) % space.size()];
                run[place] = static_cast<char>(byte);
                const bool white = byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
                ASSERT_EQ(is_all_unicode_space(run), white)
                    << "length " << length << " place " << place << " byte " << byte;
            }
        }
    }
}

class ElementText : public ::testing::TestWithParam<Builder> {};

TEST_P(ElementText, PiecesAreJoinedThenTrimmedOnce)
{
    const std::pair<const char*, const char*> cases[] = {
        {"<a> x <b/> y </a>", "a\"x  y\"(b)"},
        {"<a><![CDATA[<&>]]></a>", "a\"<&>\""},
        {"<a>  </a>", "a"},
        {"<a>\xC2\xA0 &amp; <![CDATA[ ]]>\xE3\x80\x80</a>", "a\"&\""},
        {"<a>1<b>2</b>3<!--c--><?p?>4</a>", "a\"134\"(b\"2\")"},
        {"<a k=\"x\ty\"><a>in</a></a>", "a{k=x y}(a\"in\")"},
        {"<a>\n <b/>\n &#32;x<b/>\xC2\xA0<c> </c>z </a>", "a\"x\xC2\xA0z\"(b,b,c)"},
        {"<a>\xE3\x80\x80<b/>\t<b/>&#x20;</a>", "a(b,b)"},
    };
    for (const auto& [document, tree] : cases) {
        testing::Read read(testing::in_builder(document, GetParam()).document, "a");
        EXPECT_EQ(testing::describe(read), tree) << document;
    }
}

INSTANTIATE_TEST_SUITE_P(Builders, ElementText, testing::kBothBuilders, testing::builder_name);

}  // namespace
}  // namespace brindle::reader
