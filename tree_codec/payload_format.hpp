// The byte format of an encoded tree, which is what a pickled Node holds.
//
// Every distinct node is encoded once, however often it is listed as a child, so a tree keeps
// its sharing and its size follows the number of distinct nodes, not of occurrences. Nodes are
// numbered in the order they are encoded, children before parents; the last is the root.
//
//   payload   = version (one byte, kFormatVersion), node count (kNodeCountBytes bytes,
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
// the versions before it (payload_decoder.hpp: one function per version).
#pragma once

#include <cstddef>
#include <cstdint>

namespace brindle::tree_codec {

inline constexpr std::uint8_t kFormatVersion = 1;
// Fixed, so that the writer can fill it in once the walk has counted the nodes.
inline constexpr std::size_t kNodeCountBytes = 8;

inline constexpr std::size_t kLongestLabel = 64;

// The fewest bytes a node takes: a one-byte label, text, attribute count and child count. What
// a payload's node count may claim is bounded by it.
inline constexpr std::size_t kSmallestEncodedNode = 4;

inline constexpr std::size_t kMaxVarintBytes = 10;

}  // namespace brindle::tree_codec
