// The reader's detached tree: what the walk collects without the interpreter lock, in a form
// small enough that a document of millions of elements costs little more memory than the
// nodes made from it.
//
// Elements sit in one vector in document (pre-)order and record only their number of
// children: converting from the last element to the first, each element finds its children,
// already made, on top of a stack (see node_builder.hpp). Names and most texts are byte
// ranges of the document; decoded or joined texts live in one arena string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "entities/attr_map.hpp"

namespace brindle::read {

// An element's text: bytes of the document, or of the tree's text arena. Empty means absent.
struct TextRef {
    static constexpr std::uint64_t kInArena = std::uint64_t{1} << 63;

    std::uint64_t start = 0;
    std::uint64_t length = 0;  // kInArena is set when the bytes are in the arena

    bool absent() const noexcept { return length == 0; }
};

struct ReadElement {
    static constexpr std::size_t kNoAttributes = std::numeric_limits<std::size_t>::max();

    std::uint64_t name_start;  // in the document
    std::uint64_t name_length;
    TextRef text;
    std::size_t attributes = kNoAttributes;  // index into ReadTree::attributes()
    std::size_t child_count = 0;
};

class ReadTree {
public:
    void reserve(std::size_t elements) { elements_.reserve(elements); }

    // Appends an element; `parent` is kNoParent for the root. Returns its index.
    static constexpr std::size_t kNoParent = std::numeric_limits<std::size_t>::max();
    std::size_t add(std::size_t parent, std::string_view name, std::string_view document)
    {
        if (parent != kNoParent) ++elements_[parent].child_count;
        elements_.push_back(ReadElement{static_cast<std::uint64_t>(name.data() - document.data()), name.size(),
                                        TextRef{}, ReadElement::kNoAttributes, 0});
        return elements_.size() - 1;
    }

    // Gives element `index` its attributes (a map with at least one entry).
    void set_attributes(std::size_t index, AttrMap&& attributes)
    {
        elements_[index].attributes = attributes_.size();
        attributes_.push_back(std::move(attributes));
    }

    void set_text_in_document(std::size_t index, std::string_view text, std::string_view document) noexcept
    {
        elements_[index].text = TextRef{static_cast<std::uint64_t>(text.data() - document.data()), text.size()};
    }

    void set_text_in_arena(std::size_t index, std::string_view text)
    {
        elements_[index].text = TextRef{arena_.size(), text.size() | TextRef::kInArena};
        arena_.append(text);
    }

    // The bytes of a text (valid while the tree and the document live).
    std::string_view text_of(const TextRef& text, std::string_view document) const noexcept
    {
        const std::uint64_t length = text.length & ~TextRef::kInArena;
        return (text.length & TextRef::kInArena) ? std::string_view(arena_).substr(text.start, length)
                                                 : document.substr(text.start, length);
    }

    std::size_t size() const noexcept { return elements_.size(); }
    const ReadElement& operator[](std::size_t index) const noexcept { return elements_[index]; }
    AttrMap& attributes(std::size_t index) noexcept { return attributes_[index]; }

private:
    std::vector<ReadElement> elements_;
    std::vector<AttrMap> attributes_;
    std::string arena_;
};

}  // namespace brindle::read
