// Between Node trees and detached trees. Both directions use explicit work lists: the depth
// of a tree never reaches the native stack.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "entities/plain_tree.hpp"
#include "module/py_ref.hpp"

namespace brindle {

// A deep copy of the node and everything below it; a shared child is copied once per
// occurrence. Needs the interpreter lock (it reads live nodes), but creates no Python object.
PlainTree to_plain(PyObject* node);

// New Node objects for every value of the tree (children before their parents); returns the
// root. The tree's fields are moved out. On failure every node made so far is released.
PyRef from_plain(PlainTree&& tree);

}  // namespace brindle
