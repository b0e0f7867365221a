// The walk: visits the tags of a structural index in document order, checks each one, and
// collects the first element named `root_tag` (with everything inside it) into a detached
// tree. Elements outside it are only checked. The walk stops as soon as that element is
// complete; nothing after it is examined.
#pragma once

#include <string_view>

#include "read/read_tree.hpp"
#include "index/structural/structural_index.hpp"

namespace brindle::read {

// `text_may_hide_markup`: the index came from the quote-dense builder, whose quote runs can
// leave a '<' inside a run of character data. The tree's ranges point into index.document.
// Throws the first read error.
ReadTree collect(const index::StructuralIndex& index, std::string_view root_tag, bool text_may_hide_markup);

}  // namespace brindle::read
