// Where the walk puts the element it collects, as it goes: each element is opened (name and
// attributes) in document order and closed with its text once its end tag is read, so its
// children are opened and closed in between. The reader's caller decides what an element
// becomes (a detached tree for the tests, Node objects for Python) without a second pass.
#pragma once

#include <string_view>

#include "reader/tree/attr_map.hpp"

namespace brindle::reader {

class TreeSink {
public:
    // A new element: the collected element itself, or the last child of the innermost element
    // opened and not yet closed. `name` views the document. `attributes` is the walk's own map,
    // which it empties and fills again for the next tag: the sink copies what it keeps, or
    // moves it out.
    virtual void open_element(std::string_view name, AttrMap& attributes) = 0;

    // Closes the innermost open element. `text` is its text, trimmed, empty when it has none:
    // the document's own bytes, or bytes that last only for this call. May throw
    // std::bad_alloc.
    virtual void close_element(std::string_view text) = 0;

    // A new last child of the innermost open element that has no children of its own: what
    // open_element and then close_element would do, in one call.
    virtual void add_leaf(std::string_view name, AttrMap& attributes, std::string_view text)
    {
        open_element(name, attributes);
        close_element(text);
    }

    // A piece of character data of the collected element, decoded and untrimmed, in document
    // order among the open and close calls: only when the walk was asked to report it
    // (WalkOptions::report_character_data), and then no element comes through add_leaf (a leaf
    // is opened, told its text and closed). The piece lasts only for this call. May throw
    // std::bad_alloc.
    virtual void character_data(std::string_view) {}

protected:
    ~TreeSink() = default;
};

}  // namespace brindle::reader
