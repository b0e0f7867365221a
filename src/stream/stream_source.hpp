// Where a stream's bytes come from: a file brindle opened at a path, a caller's binary file
// object, or a str held in memory (encoded to UTF-8 a buffer at a time).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "ffi/py_ref.hpp"

namespace brindle::stream {

class StreamSource {
public:
    virtual ~StreamSource() = default;

    // Puts the next bytes into `room` and returns how many; 0 only at the end of the stream.
    // Called with the lock held unless reads_unlocked().
    virtual std::size_t read(std::span<char> room) = 0;
    virtual bool reads_unlocked() const noexcept { return false; }
    // With the lock held: lets go of the source (a file opened here is closed; a caller's is not).
    virtual void close() noexcept = 0;
    // Visits the objects the source holds that could hold the iterator in turn (the collector's
    // traversal).
    virtual int traverse(visitproc, void*) noexcept { return 0; }
};

// Opens the file at `path` (OSError at once on failure, as read_file).
std::unique_ptr<StreamSource> open_path_source(const std::string& path);
// A binary file object: one with readinto, or read returning bytes. TypeError for anything else.
std::unique_ptr<StreamSource> file_object_source(PyObject* file);
// A str (TypeError for anything else).
std::unique_ptr<StreamSource> str_source(PyObject* text);

}  // namespace brindle::stream
