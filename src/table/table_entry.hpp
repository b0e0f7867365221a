// read_table: the records of a stream as the rows of an Arrow table, columns chosen by path.
#pragma once

#include "ffi/bind.hpp"

namespace brindle::tables {

ffi::FastcallEntry py_read_table;

}  // namespace brindle::tables
