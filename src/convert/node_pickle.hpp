// Pickling nodes: a Node reduces to the module's private reconstructor and the native encoding
// of its tree (tree_encoding.hpp). Pickles name the reconstructor as `brindle._unpickle_node`,
// so that name stays as long as the format version it reads is written.
#pragma once

#include "ffi/bind.hpp"

namespace brindle::convert {

inline constexpr const char kReconstructorName[] = "_unpickle_node";

// _unpickle_node(payload): the tree of a payload (bytes).
ffi::FastcallEntry py_unpickle_node;

}  // namespace brindle::convert
