// Refusing a tree whose XML would not read back, before anything of it is written: every
// string of the tree is checked in the order the serializer writes them, so the problem
// reported is the first one the serializer would meet (and reports itself, serializer.hpp).
// Pre-order; per element its name, then each attribute's key and value in the order they are
// written, then its text, then its children.
//
// Runs without the interpreter lock, like the serializer, and for the same reason: the nodes
// never change and the caller's reference to the root keeps them all alive. The walk keeps
// its own stack, so no depth reaches the native stack. It reports the bytes checked so far
// (one at least per element) to the interrupt poll, so Ctrl-C stops it on a tree of shared
// children that would take hours to check.
#pragma once

#include "ffi/interrupt_poll.hpp"
#include "node/node.hpp"

namespace brindle::write {

// Throws ValueError naming the first problem (write_refusal.hpp).
void check_tree(const node::NodeObject& root, ffi::UnlockedInterruptPoll& poll);

}  // namespace brindle::write
