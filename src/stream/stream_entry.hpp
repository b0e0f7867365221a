// iter_file and iter_string: the records of a stream, one Node at a time.
#pragma once

#include "ffi/bind.hpp"

namespace brindle {

FastcallEntry py_iter_file;
FastcallEntry py_iter_string;

}  // namespace brindle
