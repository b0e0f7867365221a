// Well-formed documents derived from fuzz input by a small grammar, each with what an
// independent model says must be read from it: every tag and run of character data the
// structural index records, and the element tree the reader builds.
//
// The input is a list of choices, one byte each (which element, attribute, piece of text or
// markup comes next); once it runs out every choice is 0, which closes the open elements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common/index_entries.hpp"
#include "index/structural/structural_index.hpp"

namespace brindle::fuzz {

struct ExpectedTag {
    std::uint64_t start;
    std::uint64_t end;  // the offset of the tag's last byte, its '>'
    index::TagKind kind;
    std::string name;  // empty for comments and CDATA sections
    friend bool operator==(const ExpectedTag&, const ExpectedTag&) = default;
};

// An element as the reader must build it, before trimming: its text is the concatenation of
// its character data (references decoded) and CDATA contents, in document order.
struct ModelElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;  // in document order, decoded
    std::string text;
    std::vector<std::size_t> children;  // indices into GeneratedDocument::elements
};

struct GeneratedDocument {
    std::string bytes;
    std::vector<ExpectedTag> tags;
    std::vector<TextEntry> texts;        // as the index records them
    std::vector<ModelElement> elements;  // in document order of their start tags; [0] is the root
    std::size_t deepest = 0;             // the most elements open at once
};

struct GrammarOptions {
    // A raw '<' in attribute values: the index takes it, the reader refuses it.
    bool less_than_in_values = true;
};

GeneratedDocument generate_document(std::span<const std::uint8_t> choices, const GrammarOptions& options);

}  // namespace brindle::fuzz
