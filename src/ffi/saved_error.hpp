// The interpreter's pending exception, held aside as one object and put back when done.
//
// Some steps must run with no exception pending (creating a class, calling add_note, turning an
// exception into text) while one is. A SavedError takes the exception out of the interpreter
// and makes it pending again when it dies, on every path; `release` hands the exception object
// over instead, for a caller that keeps it or drops it. Move-only, like PyRef.
//
// The held object is always a normalized exception instance carrying its traceback, so code
// that inspects it is the same on every supported Python: 3.12 and later hand it over that
// way, and before 3.12 the (type, value, traceback) triple is normalized and folded into it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "ffi/py_ref.hpp"

namespace brindle::ffi {

class SavedError {
public:
    // Takes the pending exception out of the interpreter; holds nothing when none is pending.
    static SavedError fetch() noexcept;
    // Holds `exception`, an exception instance, to be raised when this dies or on `restore`.
    explicit SavedError(PyRef exception) noexcept : exception_(std::move(exception)) {}

    SavedError(SavedError&&) noexcept = default;
    SavedError& operator=(SavedError&& other) noexcept
    {
        if (this != &other) {
            restore();
            exception_ = std::move(other.exception_);
        }
        return *this;
    }
    SavedError(const SavedError&) = delete;
    SavedError& operator=(const SavedError&) = delete;
    ~SavedError() { restore(); }

    explicit operator bool() const noexcept { return static_cast<bool>(exception_); }
    PyObject* exception() const noexcept { return exception_.get(); }  // borrowed; null when empty

    // Makes the held exception pending now, replacing any that is; holds nothing afterwards.
    void restore() noexcept;
    // Hands the exception over: nothing is restored.
    PyRef release() noexcept { return std::move(exception_); }

private:
    SavedError() noexcept = default;
    PyRef exception_;
};

}  // namespace brindle::ffi
