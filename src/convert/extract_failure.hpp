// Why a Python value could not be read as a node's dictionary form, and the texts that explain it.
//
// A value is tried as each of the four variants of HashmapTypes in turn; when all fail, the
// error names every variant with the reason it failed. A reason can itself be such an error (a
// node dict deep inside a list of children), so the text nests once per enclosing sequence.
// The nested text is assembled in one pass from the outermost level to the innermost, never by
// re-copying inner texts, so its cost grows linearly with the nesting.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ffi/errors.hpp"

namespace brindle::convert {

// One failure: either an exception object the interpreter made (a failing user sequence, an
// encoding error) or one of ours that has not become an object yet.
struct ExtractFailure {
    ffi::PyRef exception;     // set for an interpreter exception
    ffi::PendingError error;  // otherwise the class and the message

    static ExtractFailure pending(PyObject* type, std::string message);
    static ExtractFailure type_mismatch(PyObject* value, const char* expected);
    // Takes the interpreter's current exception (after a failed C-API call). An interrupt
    // (KeyboardInterrupt, SystemExit, any non-Exception), a MemoryError or our own
    // PanicException coming back from Python code is not a failure of the value: it is thrown
    // on unchanged (PanicException as an internal failure).
    static ExtractFailure fetch();

    // Throws the failure as the failure of the argument `parameter`, with its note.
    [[noreturn]] void throw_as_argument(std::string_view parameter) const;
};

// The UTF-8 bytes of a str (valid while it lives), or why the value has none: it is no str,
// or it holds a lone surrogate.
struct ExtractedText {
    std::string_view text;
    std::optional<ExtractFailure> failure;
};
ExtractedText extract_text(PyObject* value);

// "TypeError: message", followed by ", caused by ..." for each exception along the chain of
// causes (a cycle in the chain ends it).
std::string failure_text(const ExtractFailure& failure);

// The message when all four variants fail; `reasons` are the failure texts of String, Vec,
// NullableString and Map, in that order.
std::string all_variants_failed_message(const std::array<std::string, 4>& reasons);

// All four variants failed for a value that is not a sequence (so Vec was refused outright).
std::string scalar_failed_message(PyObject* value, const ExtractFailure* string_reason,
                                  const ExtractFailure* map_reason);

// Throws a failure found `sequences.size()` sequences deep (innermost first): each enclosing
// sequence failed as Vec because of the failure inside it, and so fitted no variant. The outermost
// error is thrown as the failure of the `dict_` argument, with its note.
[[noreturn]] void throw_nested_failure(const ExtractFailure& innermost, const std::vector<PyObject*>& sequences);

// Beyond this many enclosing sequences the nested text (about 600 bytes per level) is not
// built; a TypeError saying how deep the failure lies is thrown instead.
inline constexpr std::size_t kMaxDescribedNesting = 100'000;

}  // namespace brindle::convert
