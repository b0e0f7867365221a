// The one step that turns the reader core's error value into the Python exception: every
// read error is ValueError with its exact message (OutOfMemory is std::bad_alloc, which the
// call frame makes MemoryError). The texts are built here, off the hot path, and nowhere else.
#pragma once

#include "reader/read_error.hpp"

namespace brindle::read {

// `error` must be a failure; its names must still be valid (the document and root_tag alive).
// Throws a PendingError, so it may be called while the interpreter lock is released.
[[noreturn]] [[gnu::cold]] void throw_read_error(const reader::ReadError& error);

}  // namespace brindle::read
