// iter_file and iter_string: the records of a stream, one Node at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "ffi/bind.hpp"
#include "stream/stream_source.hpp"

namespace brindle::stream {

ffi::FastcallEntry py_iter_file;
ffi::FastcallEntry py_iter_string;

// The arguments every stream takes, as iter_file takes them (read_table too). The source: a
// path (str, bytes, os.PathLike), opened now, or a binary file object.
std::unique_ptr<StreamSource> source_arg(PyObject* source);
// The path a source names (str, bytes, os.PathLike), or none for anything else.
std::optional<std::string> source_path(PyObject* source);
// The bytes read at a time: 32 KiB when absent or None; ValueError under 1.
std::size_t buffer_size_arg(PyObject* value);

}  // namespace brindle::stream
