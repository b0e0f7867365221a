// The three kinds of failure above the index, thrown where they are found and turned into
// Python exceptions only by the call frame (frame.hpp):
//   - PythonError: the interpreter already holds the exception to raise;
//   - PendingError: an exception class and one message, raised as class(message);
//   - InternalFailure: a broken invariant, raised as PanicException.
// std::bad_alloc is the fourth thing that may reach the frame; it becomes MemoryError.
//
// PendingError carries only a static exception class pointer and a C++ string, so it can be
// made and thrown while the interpreter lock is released (file errors of readers and writers).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string>
#include <string_view>

#include "ffi/py_ref.hpp"

namespace brindle::ffi {

struct PythonError {};

struct PendingError {
    PyObject* type;       // a static exception class such as PyExc_ValueError
    std::string message;  // its only argument
};

struct InternalFailure {
    std::string message;  // empty: a generic text is used
};

[[noreturn]] void throw_error(PyObject* type, std::string message);
[[noreturn]] void throw_internal(std::string message);

// After a call into the interpreter failed: throws PythonError, or, when that call ran Python
// code that raised PanicException, reports it on stderr and throws InternalFailure with its text.
[[noreturn]] void throw_python_error();

// A failed call into the interpreter for which the module has no error value: the interpreter's
// exception goes to the unraisable hook and the call ends as an internal failure.
[[noreturn]] void throw_internal_from_python(std::string message);

// Whether the interpreter's pending exception must reach the caller as it is, even where other
// failures are caught and reported in another form: anything that is not an Exception
// (KeyboardInterrupt, SystemExit, our PanicException) and MemoryError. Swallowing those would
// ignore Ctrl-C or hide exhausted memory behind a misleading message. Call only while an
// exception is pending.
bool pending_exception_must_propagate() noexcept;

// Adopts a new reference from the C API, throwing the interpreter's error when it is null.
inline PyRef checked(PyObject* result)
{
    if (result == nullptr) throw_python_error();
    return PyRef::steal(result);
}

// "'{}' object is not an instance of '{}'" or "'None' is not an instance of '{}'".
[[noreturn]] void throw_type_mismatch(PyObject* value, const char* expected);
std::string type_mismatch_message(PyObject* value, const char* expected);

// Operating-system errors: the class for errno's kind and "<description> (os error N)".
[[noreturn]] void throw_os_error(int errnum);
PendingError os_error(int errnum);
// The module's own input/output errors: OSError with the message alone.
[[noreturn]] void throw_io_error(std::string message);

// Sets the interpreter's exception to class(message); the message is decoded leniently (it may
// quote document bytes), so setting it cannot fail on the text.
void set_python_error(PyObject* type, std::string_view message) noexcept;
inline void set_python_error(const PendingError& error) noexcept { set_python_error(error.type, error.message); }

// Sets the interpreter's exception for the C++ exception being handled (call only inside a
// catch: the call frame and the note that names an argument).
void set_python_error_from_current() noexcept;

PyObject* panic_exception_type();

}  // namespace brindle::ffi
