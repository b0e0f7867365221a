// The iterator that iter_file and iter_string return: the records of one stream as Node objects,
// in document order, a buffer of the stream at a time.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <memory>
#include <string_view>

#include "stream/stream_source.hpp"

namespace brindle::stream {

// A new iterator over the records named `tag` in `source`; `buffer_size` bytes are read at a
// time (more while a long record is carried over).
PyObject* make_record_iterator(std::unique_ptr<StreamSource> source, std::string_view tag, std::size_t buffer_size);

}  // namespace brindle::stream
