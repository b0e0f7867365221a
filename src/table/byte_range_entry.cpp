#include "table/byte_range_entry.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "ffi/convert.hpp"
#include "ffi/errors.hpp"
#include "stream/stream_entry.hpp"
#include "table/file_piece.hpp"
#include "table/inferred_columns.hpp"
#include "table/table_stream.hpp"

namespace brindle::tables {

using namespace ffi;

namespace {

struct ByteRange {
    std::uint64_t start;
    std::uint64_t end;
};

ByteRange byte_range_arg(PyObject* value)
{
    return convert_arg("byte_range", [&] {
        if (!PyTuple_Check(value)) throw_type_mismatch(value, "tuple");
        if (PyTuple_GET_SIZE(value) != 2) throw_error(PyExc_TypeError, "byte_range is a (start, end) pair");
        const ByteRange range{to_u64(PyTuple_GET_ITEM(value, 0)), to_u64(PyTuple_GET_ITEM(value, 1))};
        if (range.start > range.end) throw_error(PyExc_ValueError, "byte_range starts after its end");
        return range;
    });
}

}  // namespace

PyObject* read_table_piece(PyObject* source, std::string_view tag, std::vector<table::ColumnSpec> columns,
                           std::size_t batch_rows, std::size_t buffer_size, bool null_on_fault, PyObject* byte_range,
                           std::size_t sampled_records)
{
    const ByteRange range = byte_range_arg(byte_range);
    const std::optional<std::string> path = stream::source_path(source);
    if (!path) {
        throw_error(PyExc_TypeError, std::string("byte_range reads a file at offsets: source must be a path, not ") +
                                         Py_TYPE(source)->tp_name);
    }
    if (columns.empty()) {
        std::unique_ptr<stream::StreamSource> sample = stream::open_path_source(*path);
        columns = infer_columns(sample, tag, buffer_size, sampled_records);
    }
    for (table::ColumnSpec& column : columns) column.null_on_fault = null_on_fault;
    PiecePlan plan;
    std::unique_ptr<stream::StreamSource> piece = open_piece(*path, tag, range.start, range.end, buffer_size, plan);
    return make_table_stream(std::move(piece), tag, std::move(columns), batch_rows, buffer_size, &plan);
}

}  // namespace brindle::tables
