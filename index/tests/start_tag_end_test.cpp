// Where a start tag ends, by both builders, against the rule spelled out byte by byte: after
// the name, a quote hides everything up to the next byte equal to it, "/>" ends a
// self-closing tag and a lone '>' an open one; a quote that never closes is passed over with
// the byte after it by the direct builder and leaves the tag unclosed for the quote-dense one.
// The tags are random soups of quotes of both kinds, slashes, '>' and long runs, placed after
// text of random length so that their values open and close in every position of the 64-byte
// blocks the scan reads the document by, and across them.

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "index/structural/structural_index.hpp"

namespace brindle::index {
namespace {

struct TagEnd {
    std::size_t end;
    TagKind kind;
};

bool is_space(char byte) { return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\f' || byte == '\r'; }

// The end of the start tag at `p`, or nothing when it is unclosed.
std::optional<TagEnd> reference_end(std::string_view document, std::size_t p, bool unmatched_quote_is_unclosed)
{
    const std::size_t size = document.size();
    std::size_t at = p + 1;
    while (at < size && !is_space(document[at]) && document[at] != '/' && document[at] != '>') {
        ++at;
    }
    for (; at < size; ++at) {
        const char byte = document[at];
        if (byte == '>') {
            return TagEnd{at, TagKind::Open};
        }
        if (byte == '/' && at + 1 < size && document[at + 1] == '>') {
            return TagEnd{at + 1, TagKind::SelfClosing};
        }
        if (byte == '"' || byte == '\'') {
            const std::size_t close = document.find(byte, at + 1);
            if (close == std::string_view::npos) {
                if (unmatched_quote_is_unclosed) {
                    return std::nullopt;
                }
                ++at;  // with the loop's step: two bytes after the quote
            } else {
                at = close;
            }
        }
    }
    return std::nullopt;
}

std::string random_tag(std::mt19937_64& random)
{
    static const std::string_view kPieces[] = {"\"",
                                               "'",
                                               "/",
                                               ">",
                                               " ",
                                               "a",
                                               "=",
                                               "\"v\"",
                                               "'w'",
                                               " k=\"1\"",
                                               "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"};
    std::string tag = "<n";
    const std::size_t pieces = random() % 24;
    for (std::size_t i = 0; i < pieces; ++i) {
        const bool markup_free = random() % 3 == 0;  // mostly attributes, sometimes raw punctuation
        tag += markup_free ? kPieces[7 + random() % 4] : kPieces[random() % std::size(kPieces)];
    }
    return tag;
}

struct Builder {
    const char* name;
    BuildResult (*build)(std::string_view, StructuralIndex&) noexcept;
    bool unmatched_quote_is_unclosed;
};

class StartTagEnd : public ::testing::TestWithParam<Builder> {};

TEST_P(StartTagEnd, EqualsTheByteByByteRule)
{
    const Builder builder = GetParam();
    std::mt19937_64 random(1234);
    for (int round = 0; round < 20000; ++round) {
        const std::size_t p = random() % 130;
        const std::string document = std::string(p, 't') + random_tag(random);
        StructuralIndex index;
        const BuildResult result = builder.build(document, index);
        const std::optional<TagEnd> expected = reference_end(document, p, builder.unmatched_quote_is_unclosed);
        if (!expected) {
            ASSERT_EQ(result.status, BuildStatus::UnclosedTag) << document;
            ASSERT_EQ(result.offset, p) << document;
            continue;
        }
        ASSERT_EQ(result.status, BuildStatus::Ok) << document;
        ASSERT_GE(index.tag_count(), 1U) << document;
        EXPECT_EQ(index.tag_ends[0], expected->end) << document;
        EXPECT_EQ(index.tag_kinds[0], expected->kind) << document;
    }
}

INSTANTIATE_TEST_SUITE_P(Builders, StartTagEnd,
                         ::testing::Values(Builder{"direct", &build_direct, false},
                                           Builder{"quote_dense", &build_quote_dense, true}),
                         [](const ::testing::TestParamInfo<Builder>& info) { return info.param.name; });

}  // namespace
}  // namespace brindle::index
