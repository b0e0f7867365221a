// The native encoding of a tree, which is what a pickled Node holds.
//
// Every distinct node is encoded once, however often it is listed as a child, so a tree keeps
// its sharing and its size follows the number of distinct nodes, not of occurrences. Nodes are
// numbered in the order they are encoded, children before parents; the last is the root.
//
//   payload   = version (one byte, kTreeEncodingVersion), node count (kNodeCountBytes bytes,
//               least significant first), the nodes
//   node      = name (label), text, attribute count (varint), each attribute as key (label) and
//               value (string), child count (varint), each child as its gap (varint)
//   label     = varint v, then for an even v a new label of v / 2 bytes, which takes the next
//               label number if it is at most kLongestLabel bytes long; an odd v is the label
//               numbered v / 2, defined earlier
//   string    = length (varint), then its bytes
//   text      = varint v: 0 for no text, else a string of v - 1 bytes
//   gap       = the node's own number minus its child's number (at least 1)
//   varint    = an unsigned integer in 7-bit groups, least significant first, the high bit of
//               every byte but the last set
//
// Names and attribute keys repeat on nearly every node, so each distinct one is spelled once.
// Only short ones are numbered, so that a reference of one byte copies a bounded number of
// bytes; longer names rarely repeat, and are spelled wherever they are used.
// Strings are UTF-8. A reader of version 1 accepts a payload only when it follows this grammar
// to its last byte, every node but the root is the child of a later node, and no node has two
// attributes with one key. A change of this layout takes a new version; readers keep reading
// the versions before it.
//
// The payload comes from outside (a pickle can be handed to any process), so decoding trusts
// nothing in it: every malformed payload is a ValueError, and the memory decoding takes is at
// most a fixed multiple of the payload's size.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ffi/py_ref.hpp"

namespace brindle {

inline constexpr std::uint8_t kTreeEncodingVersion = 1;
// Fixed, so that the encoder can fill it in once the walk has counted the nodes.
inline constexpr std::size_t kNodeCountBytes = 8;

inline constexpr std::size_t kLongestLabel = 64;

// The fewest bytes a node takes: a one-byte label, text, attribute count and child count. What
// a payload's node count may claim is bounded by it.
inline constexpr std::size_t kSmallestEncodedNode = 4;

// The payload (a new bytes object) of the tree under `root`, a Node. Throws std::bad_alloc,
// or PythonError for an interrupt.
PyRef encode_tree(PyObject* root);

// A new tree from a payload: ValueError for a payload that breaks any rule above. Throws
// std::bad_alloc, or PythonError for an interrupt.
PyRef decode_tree(std::string_view payload);

}  // namespace brindle
