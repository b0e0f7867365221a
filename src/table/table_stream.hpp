// What read_table returns: an object that hands its rows out once, as an Arrow C stream of
// record batches (the Arrow PyCapsule interface, __arrow_c_stream__), for pyarrow, polars,
// DuckDB and anything else that takes one.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "stream/stream_source.hpp"
#include "table/file_piece.hpp"
#include "table/record_extractor.hpp"

namespace brindle::tables {

// A new table stream over the records named `tag` in `source`, with `columns`; with `piece`,
// over the records of that piece of a file (`source` from open_piece).
PyObject* make_table_stream(std::unique_ptr<stream::StreamSource> source, std::string_view tag,
                            std::vector<table::ColumnSpec> columns, std::size_t batch_rows, std::size_t buffer_size,
                            const PiecePlan* piece = nullptr);

}  // namespace brindle::tables
