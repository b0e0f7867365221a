// The document as a Python str, built straight from the writer's UTF-8 buffer.
//
// The interpreter's general decoder validates and grows its result as it goes; the writer's
// output is valid UTF-8 by construction, so one pass without the interpreter lock finds the
// str's length and the narrowest storage that holds it, and a second pass fills a str of
// exactly that size, sixteen bytes at a time through runs of ASCII. This is most of
// write_string's time on documents that are not pure ASCII.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <string_view>

#include "ffi/py_ref.hpp"

namespace brindle::write {

struct Utf8Measure {
    std::size_t code_points = 0;
    Py_UCS4 max_char = 0x7F;  // 0x7F, 0xFF, 0xFFFF or 0x10FFFF: the storage the str needs
};

// Needs no interpreter lock.
Utf8Measure measure_utf8(std::string_view utf8) noexcept;

// A new str holding `utf8`, which `measure` describes. Bytes that are not the UTF-8 the writer
// makes end in the internal failure "invariant: the XML writer only emits valid UTF-8".
ffi::PyRef str_from_utf8(std::string_view utf8, const Utf8Measure& measure);

}  // namespace brindle::write
