// Node objects for a reader's detached tree, made without the interpreter lock: threads that
// read at once make their trees side by side, and only the last step needs the lock.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "module/py_ref.hpp"
#include "reader/tree/read_tree.hpp"

namespace brindle::read {

class NodeBuilder {
public:
    NodeBuilder() = default;
    NodeBuilder(const NodeBuilder&) = delete;
    NodeBuilder& operator=(const NodeBuilder&) = delete;
    // Runs with the lock held (declare the builder outside the unlocked scope): pays what the
    // nodes made so far owe their class, then releases them.
    ~NodeBuilder();

    // Makes a node of every element of the tree (which must not be empty), with or without the
    // lock. `document` is the text the tree's ranges point into; the tree's attribute maps are
    // moved out. Children come before their parents, so no depth reaches the native stack.
    // On failure (std::bad_alloc, an internal failure) what was made stays here until the
    // builder dies.
    void build(reader::ReadTree& tree, std::string_view document);

    // With the lock held, after `build`: the root node, its whole tree ready for Python code.
    PyRef take_root();

private:
    void settle() noexcept;

    std::vector<PyRef> made_;  // the made nodes not yet given to a parent: a stack
    std::size_t owed_ = 0;     // nodes made whose class reference is not yet paid
};

}  // namespace brindle::read
