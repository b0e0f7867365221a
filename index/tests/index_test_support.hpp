#pragma once
// Readable views of a StructuralIndex for the suites: tags and text runs as values that
// compare with == and print by name.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "index/structural/structural_index.hpp"

namespace brindle::index::testing {

inline const char* kind_name(TagKind kind)
{
    switch (kind) {
    case TagKind::Open: return "Open";
    case TagKind::Close: return "Close";
    case TagKind::SelfClosing: return "SelfClosing";
    case TagKind::Comment: return "Comment";
    case TagKind::CData: return "CData";
    case TagKind::ProcessingInstruction: return "ProcessingInstruction";
    }
    return "?";
}

inline const char* status_name(BuildStatus status)
{
    switch (status) {
    case BuildStatus::Ok: return "Ok";
    case BuildStatus::UnclosedTag: return "UnclosedTag";
    case BuildStatus::UnexpectedEnd: return "UnexpectedEnd";
    case BuildStatus::OutOfMemory: return "OutOfMemory";
    case BuildStatus::NeedMore: return "NeedMore";
    }
    return "?";
}

// One recorded tag, every field of the parallel arrays, with the name range's start kept
// beside the name's bytes.
struct Tag {
    std::uint64_t start;
    std::uint64_t end;
    TagKind kind;
    std::string name;
    std::uint64_t name_start;
    friend bool operator==(const Tag&, const Tag&) = default;
};

struct Text {
    std::uint64_t start;
    std::uint64_t end;
    friend bool operator==(const Text&, const Text&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const Tag& t)
{
    return os << "{" << t.start << ".." << t.end << " " << kind_name(t.kind) << " '" << t.name << "'@" << t.name_start
              << "}";
}

inline std::ostream& operator<<(std::ostream& os, const Text& t)
{
    return os << "{" << t.start << ".." << t.end << "}";
}

inline std::ostream& operator<<(std::ostream& os, BuildStatus s) { return os << status_name(s); }

inline std::ostream& operator<<(std::ostream& os, TagKind k) { return os << kind_name(k); }

// The tags of an index; names are copied out of the document (a range that reaches past the
// end shows as "<out of range>", which no expectation ever holds).
inline std::vector<Tag> tags_of(const StructuralIndex& index)
{
    std::vector<Tag> tags;
    for (std::size_t k = 0; k < index.tag_count(); ++k) {
        const NameRange range = index.tag_names[k];
        const bool inside = range.start <= index.document.size() && range.length <= index.document.size() - range.start;
        tags.push_back(
            Tag{index.tag_starts[k], index.tag_ends[k], index.tag_kinds[k],
                inside ? std::string(index.document.substr(range.start, range.length)) : std::string("<out of range>"),
                range.start});
    }
    return tags;
}

inline std::vector<Text> texts_of(const StructuralIndex& index)
{
    std::vector<Text> texts;
    for (const TextRange& r : index.text_ranges) {
        texts.push_back(Text{r.start, r.end});
    }
    return texts;
}

// The bytes of each text run, for expectations written as the text itself.
inline std::vector<std::string> text_strings(const StructuralIndex& index)
{
    std::vector<std::string> out;
    for (const TextRange& r : index.text_ranges) {
        out.emplace_back(index.document.substr(r.start, r.end - r.start));
    }
    return out;
}

// Offset of the n-th (from 0) occurrence of `needle` in `document`; the suites write
// expected offsets this way instead of counting bytes by hand.
inline std::uint64_t at(std::string_view document, std::string_view needle, int n = 0)
{
    std::size_t pos = document.find(needle);
    while (n-- > 0 && pos != std::string_view::npos) {
        pos = document.find(needle, pos + 1);
    }
    if (pos == std::string_view::npos) {
        throw std::logic_error("needle not in document: " + std::string(needle));
    }
    return pos;
}

using Builder = BuildResult (*)(std::string_view, StructuralIndex&) noexcept;

// Short names for the kinds in tables of expected tags.
namespace kinds {
constexpr TagKind Open = TagKind::Open;
constexpr TagKind Close = TagKind::Close;
constexpr TagKind SelfClosing = TagKind::SelfClosing;
constexpr TagKind Comment = TagKind::Comment;
constexpr TagKind CData = TagKind::CData;
constexpr TagKind Pi = TagKind::ProcessingInstruction;
}  // namespace kinds

// One document and every tag and text run a builder must record for it.
struct IndexCase {
    const char* name;
    std::string document;
    std::vector<Tag> tags;
    std::vector<Text> texts;
};

// Builds the case's document and checks the result and every recorded tag and text run.
inline void expect_indexed(Builder build, const IndexCase& c, StructuralIndex& index)
{
    const BuildResult result = build(c.document, index);
    ASSERT_EQ(result.status, BuildStatus::Ok) << "offset " << result.offset;
    EXPECT_EQ(tags_of(index), c.tags);
    EXPECT_EQ(texts_of(index), c.texts);
}

}  // namespace brindle::index::testing
