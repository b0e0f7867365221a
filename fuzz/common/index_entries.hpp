// A StructuralIndex as plain values that compare with ==: one entry per tag and per run of
// character data, so whole builds and joined windows compare in one expression.
#pragma once

#include <cstdint>
#include <vector>

#include "index/structural/structural_index.hpp"

namespace brindle::fuzz {

struct TagEntry {
    std::uint64_t start;
    std::uint64_t end;
    index::TagKind kind;
    std::uint64_t name_start;
    std::uint64_t name_length;
    friend bool operator==(const TagEntry&, const TagEntry&) = default;
};

struct TextEntry {
    std::uint64_t start;
    std::uint64_t end;
    friend bool operator==(const TextEntry&, const TextEntry&) = default;
};

struct IndexEntries {
    std::vector<TagEntry> tags;
    std::vector<TextEntry> texts;
    friend bool operator==(const IndexEntries&, const IndexEntries&) = default;

    // Appends the entries of a whole index or of one window of it.
    void append(const index::StructuralIndex& index)
    {
        for (std::size_t k = 0; k < index.tag_count(); ++k) {
            tags.push_back({index.tag_starts[k], index.tag_ends[k], index.tag_kinds[k], index.tag_names[k].start,
                            index.tag_names[k].length});
        }
        for (const index::TextRange& text : index.text_ranges) texts.push_back({text.start, text.end});
    }
};

inline IndexEntries entries_of(const index::StructuralIndex& index)
{
    IndexEntries entries;
    entries.append(index);
    return entries;
}

}  // namespace brindle::fuzz
