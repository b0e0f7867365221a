// The reading pipeline after the document is in memory: builder choice, structural index,
// walk. Runs without the interpreter lock and touches no Python object.
#pragma once

#include <string_view>

#include "read/read_tree.hpp"

namespace brindle::read {

// The first element named `root_tag` in `document` (valid UTF-8), as a detached tree whose
// ranges point into `document`. Throws the read error (ValueError) or std::bad_alloc.
ReadTree parse_document(std::string_view document, std::string_view root_tag);

}  // namespace brindle::read
