// A detached tree of what the walk collects (no Python object in it): the form the reader's
// tests and fuzzers inspect. Python's reads hand the elements to Node objects directly instead.
//
// Elements sit in one vector in document (pre-)order and record only their number of
// children. Names and most texts are byte ranges of the document; decoded or joined texts live
// in one arena string. Growing the tree throws std::bad_alloc when memory runs out.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reader/tree/attr_map.hpp"
#include "reader/tree/tree_sink.hpp"

namespace brindle::reader {

// An element's text: bytes of the document, or of the tree's text arena. Empty means absent.
struct TextRef {
    static constexpr std::uint64_t kInArena = std::uint64_t{1} << 63;

    std::uint64_t start = 0;
    std::uint64_t length = 0;  // kInArena is set when the bytes are in the arena

    bool absent() const noexcept { return length == 0; }
};

// Every field is set when an element is added, so its memory is never written twice.
struct ReadElement {
    static constexpr std::size_t kNoAttributes = std::numeric_limits<std::size_t>::max();

    std::uint64_t name_start;  // in the document
    std::uint64_t name_length;
    TextRef text;
    std::size_t attributes;  // index into ReadTree::attributes(), or kNoAttributes
    std::size_t child_count;
};

// The elements in segments that double in size (64, 128, 256, ... elements): the tree grows
// without moving what it holds or sizing itself in advance, so every element's memory is
// written once, and a small document needs no large block.
class ElementSegments {
public:
    std::size_t size() const noexcept { return size_; }

    ReadElement& operator[](std::size_t index) noexcept { return locate(index); }
    const ReadElement& operator[](std::size_t index) const noexcept { return locate(index); }

    void push_back(const ReadElement& element)
    {
        if (size_ == capacity()) add_segment();
        locate(size_) = element;
        ++size_;
    }

private:
    static constexpr unsigned kFirstShift = 6;  // the first segment holds 2**6 elements

    // Segment s holds elements [64 * (2**s - 1), 64 * (2**(s+1) - 1)).
    static std::size_t first_of_segment(std::size_t segment) noexcept
    {
        return ((std::size_t{1} << segment) - 1) << kFirstShift;
    }

    std::size_t capacity() const noexcept { return first_of_segment(segments_.size()); }

    ReadElement& locate(std::size_t index) const noexcept
    {
        const std::size_t scaled = (index >> kFirstShift) + 1;
        const auto segment = static_cast<std::size_t>(std::bit_width(scaled)) - 1;
        return segments_[segment][index - first_of_segment(segment)];
    }

    void add_segment()
    {
        const std::size_t length = std::size_t{1} << (kFirstShift + segments_.size());
        segments_.push_back(std::make_unique_for_overwrite<ReadElement[]>(length));
    }

    std::vector<std::unique_ptr<ReadElement[]>> segments_;
    std::size_t size_ = 0;
};

class ReadTree {
public:
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
    ElementSegments elements_;
    std::vector<AttrMap> attributes_;
    std::string arena_;
};

// Fills a ReadTree from a walk over `document` (the tree must be empty).
class ReadTreeSink final : public TreeSink {
public:
    ReadTreeSink(ReadTree& tree, std::string_view document) noexcept : tree_(tree), document_(document) {}

    void open_element(std::string_view name, AttrMap& attributes) override
    {
        const std::size_t parent = open_.empty() ? ReadTree::kNoParent : open_.back();
        const std::size_t node = tree_.add(parent, name, document_);
        if (!attributes.empty()) tree_.set_attributes(node, std::move(attributes));
        open_.push_back(node);
    }

    void close_element(std::string_view text) override
    {
        if (!text.empty()) {
            if (views_document(text)) {
                tree_.set_text_in_document(open_.back(), text, document_);
            } else {
                tree_.set_text_in_arena(open_.back(), text);
            }
        }
        open_.pop_back();
    }

private:
    // A text that views the document is kept as a range of it; any other lasts only for the
    // call, and is copied.
    bool views_document(std::string_view text) const noexcept
    {
        const auto at = reinterpret_cast<std::uintptr_t>(text.data());
        const auto begin = reinterpret_cast<std::uintptr_t>(document_.data());
        return at >= begin && at + text.size() <= begin + document_.size();
    }

    ReadTree& tree_;
    std::string_view document_;
    std::vector<std::size_t> open_;
};

}  // namespace brindle::reader
