// brindle._kept_memory(): what the store of kept memory holds and how many calls it counts as
// running, for the tests and benchmarks that check its bound. A private helper: not in __all__.
#pragma once

#include "ffi/bind.hpp"

namespace brindle::memory {

ffi::FastcallEntry py_kept_memory;

}  // namespace brindle::memory
