// Node objects for a reader's detached tree, made once the interpreter lock is held again.
#pragma once

#include <string_view>

#include "module/py_ref.hpp"
#include "reader/tree/read_tree.hpp"

namespace brindle::read {

// The root Node of the tree (which must not be empty). `document` is the text the tree's
// ranges point into. The tree's attribute maps are moved out. Every element becomes a new
// node, children before their parents, so no depth reaches the native stack; on failure
// every node made so far is released and the interpreter's exception is thrown.
PyRef build_nodes(reader::ReadTree& tree, std::string_view document);

}  // namespace brindle::read
