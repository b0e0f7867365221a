// The arguments are converted, the column paths checked and a path opened at the call; the
// table stream reads nothing until its consumer asks for the first batch.
#include "table/table_entry.hpp"

#include <string>
#include <vector>

#include "ffi/convert.hpp"
#include "ffi/errors.hpp"
#include "ffi/frame.hpp"
#include "ffi/py_ref.hpp"
#include "memory/running_call.hpp"
#include "stream/stream_entry.hpp"
#include "table/byte_range_entry.hpp"
#include "table/column_path.hpp"
#include "table/inferred_columns.hpp"
#include "table/table_stream.hpp"

namespace brindle::tables {

using namespace ffi;

namespace {

constexpr std::size_t kDefaultBatchRows = 65536;
constexpr std::size_t kSampledRecords = 1000;  // for columns inferred, as Spark's XML source samples
constexpr std::size_t kPositional = 3;         // the keywords after columns are keyword-only

constexpr std::string_view kParams[] = {"source",      "tag",    "columns",   "batch_rows",
                                        "buffer_size", "errors", "byte_range"};
constexpr Signature kReadTable{"read_table", "", kParams, 7, 2};

std::string repr_text(PyObject* value)
{
    PyRef repr = checked(PyObject_Repr(value));
    return to_text_copy(repr.get());
}

table::ColumnType type_arg(PyObject* name, PyObject* type)
{
    if (!PyUnicode_Check(type)) {
        throw_error(PyExc_TypeError, "column " + repr_text(name) + ": a type is a str, not " +
                                         repr_text(reinterpret_cast<PyObject*>(Py_TYPE(type))));
    }
    const std::string_view text = to_text(type);
    if (text == "str") return table::ColumnType::Str;
    if (text == "int64") return table::ColumnType::Int64;
    if (text == "float64") return table::ColumnType::Float64;
    if (text == "bool") return table::ColumnType::Bool;
    throw_error(PyExc_ValueError, "column " + repr_text(name) + ": unknown type " + repr_text(type) +
                                      " (one of 'str', 'int64', 'float64', 'bool')");
}

// Any Mapping (the stub's type) as a dict: a dict as it is, another mapping copied as
// dict(columns) copies it, keeping its order.
PyRef columns_dict(PyObject* columns)
{
    if (PyDict_Check(columns)) return PyRef::borrow(columns);
    const PyRef abc = checked(PyImport_ImportModule("collections.abc"));
    const PyRef mapping = checked(PyObject_GetAttrString(abc.get(), "Mapping"));
    const int is_mapping = PyObject_IsInstance(columns, mapping.get());
    if (is_mapping < 0) throw_python_error();
    if (is_mapping == 0) convert_arg("columns", [&] { throw_type_mismatch(columns, "Mapping"); });
    PyRef copy = checked(PyDict_New());
    if (PyDict_Merge(copy.get(), columns, 1) < 0) throw_python_error();
    return copy;
}

// A dict from column name to a path, or to a (path, type) pair.
std::vector<table::ColumnSpec> columns_arg(PyObject* columns)
{
    if (PyDict_GET_SIZE(columns) == 0) throw_error(PyExc_ValueError, "columns names no column");
    std::vector<table::ColumnSpec> specs;
    Py_ssize_t position = 0;
    PyObject *name, *value;
    while (PyDict_Next(columns, &position, &name, &value)) {
        if (!PyUnicode_Check(name)) {
            throw_error(PyExc_TypeError,
                        "column names are str, not " + repr_text(reinterpret_cast<PyObject*>(Py_TYPE(name))));
        }
        table::ColumnSpec spec;
        spec.name = to_text_copy(name);
        if (spec.name.find('\0') != std::string::npos) {
            throw_error(PyExc_ValueError, "column " + repr_text(name) + ": a name holds no NUL character");
        }
        PyObject* path = value;
        if (PyTuple_Check(value)) {
            if (PyTuple_GET_SIZE(value) != 2) {
                throw_error(PyExc_ValueError, "column " + repr_text(name) + ": expected a path or a (path, type) pair");
            }
            path = PyTuple_GET_ITEM(value, 0);
            spec.type = type_arg(name, PyTuple_GET_ITEM(value, 1));
        }
        if (!PyUnicode_Check(path)) {
            throw_error(PyExc_TypeError, "column " + repr_text(name) + ": a path is a str, not " +
                                             repr_text(reinterpret_cast<PyObject*>(Py_TYPE(path))));
        }
        if (const auto fault = table::parse_column_path(to_text(path), spec.path)) {
            PyRef part = checked(
                PyUnicode_FromStringAndSize(fault->part.data(), static_cast<Py_ssize_t>(fault->part.size())));
            throw_error(PyExc_ValueError, "column " + repr_text(name) + ": the path " + repr_text(path) +
                                              " does not accept " + repr_text(part.get()) + " (" + fault->reason + ")");
        }
        specs.push_back(std::move(spec));
    }
    return specs;
}

std::size_t batch_rows_arg(PyObject* value)
{
    if (is_absent(value)) return kDefaultBatchRows;
    const std::uint64_t rows = convert_arg("batch_rows", [&] { return to_u64(value); });
    if (rows == 0) throw_error(PyExc_ValueError, "batch_rows must be at least 1");
    return static_cast<std::size_t>(std::min<std::uint64_t>(rows, std::uint64_t{1} << 40));
}

// errors="raise" (the default) ends the stream at a value that does not convert; "null" makes
// it null and reads on.
bool null_on_fault_arg(PyObject* value)
{
    if (is_absent(value)) return false;
    const std::string_view text = convert_arg("errors", [&] { return to_text(value); });
    if (text != "raise" && text != "null") {
        throw_error(PyExc_ValueError, "errors must be 'raise' or 'null', not " + repr_text(value));
    }
    return text == "null";
}

}  // namespace

PyObject* py_read_table(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&] {
        const memory::RunningCall running;  // the buffers of the sample and of the stream
        if (static_cast<std::size_t>(PyVectorcall_NARGS(nargs)) > kPositional) {
            throw_error(PyExc_TypeError, "read_table() takes at most 3 positional arguments (" +
                                             std::to_string(PyVectorcall_NARGS(nargs)) + " given)");
        }
        auto bound = bind<7>(kReadTable, args, nargs, kwnames);
        const std::string_view tag = convert_arg("tag", [&] { return to_text(bound[1]); });
        std::vector<table::ColumnSpec> columns;
        if (!is_absent(bound[2])) {
            // The errors name the column themselves; only a columns that is not a mapping is noted.
            columns = columns_arg(columns_dict(bound[2]).get());
        }
        const std::size_t batch_rows = batch_rows_arg(bound[3]);
        const std::size_t buffer_size = stream::buffer_size_arg(bound[4]);
        const bool null_on_fault = null_on_fault_arg(bound[5]);
        if (!is_absent(bound[6])) {
            return read_table_piece(bound[0], tag, std::move(columns), batch_rows, buffer_size, null_on_fault, bound[6],
                                    kSampledRecords);
        }
        std::unique_ptr<stream::StreamSource> source = stream::source_arg(bound[0]);
        if (columns.empty()) columns = infer_columns(source, tag, buffer_size, kSampledRecords);
        for (table::ColumnSpec& column : columns) column.null_on_fault = null_on_fault;
        return make_table_stream(std::move(source), tag, std::move(columns), batch_rows, buffer_size);
    });
}

}  // namespace brindle::tables
