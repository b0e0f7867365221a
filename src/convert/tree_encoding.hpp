// The native encoding of a tree, which is what a pickled Node holds: the byte format and its
// rules are tree_codec/payload_format.hpp's; these are the Python-facing ends, which make
// Nodes from a payload and read Nodes into one.
//
// The payload comes from outside (a pickle can be handed to any process), so decoding trusts
// nothing in it: every malformed payload is a ValueError, and the memory decoding takes is at
// most a fixed multiple of the payload's size.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

#include "ffi/py_ref.hpp"

namespace brindle::convert {

// The payload (a new bytes object) of the tree under `root`, a Node. Throws std::bad_alloc,
// or PythonError for an interrupt.
ffi::PyRef encode_tree(PyObject* root);

// A new tree from a payload: ValueError for a payload that breaks any rule of the format.
// Throws std::bad_alloc, or PythonError for an interrupt.
ffi::PyRef decode_tree(std::string_view payload);

}  // namespace brindle::convert
