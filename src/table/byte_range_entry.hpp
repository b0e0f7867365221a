// read_table with byte_range: the argument, the path it needs, and the piece's table stream.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <string_view>
#include <vector>

#include "table/record_extractor.hpp"

namespace brindle::tables {

// The table stream of the piece `byte_range` (a (start, end) pair of byte offsets) of the file
// `source` names. Without `columns`, they are inferred from the file's first records, so that
// every piece of one file gets the same. TypeError for a source that names no file.
PyObject* read_table_piece(PyObject* source, std::string_view tag, std::vector<table::ColumnSpec> columns,
                           std::size_t batch_rows, std::size_t buffer_size, bool null_on_fault, PyObject* byte_range,
                           std::size_t sampled_records);

}  // namespace brindle::tables
