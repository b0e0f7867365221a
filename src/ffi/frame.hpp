// The one call frame every entry from the interpreter goes through. It is the only place that
// catches: whatever the operation throws becomes the Python exception for it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "ffi/errors.hpp"

namespace brindle::ffi {

// Functions, methods, slots and getters that return an object.
template <class Operation>
PyObject* call_frame(Operation&& operation) noexcept
{
    try {
        return operation();
    } catch (...) {
        set_python_error_from_current();
        return nullptr;
    }
}

// Slots that return a status (0 / -1), such as the module's execution step.
template <class Operation>
int call_frame_status(Operation&& operation) noexcept
{
    try {
        operation();
        return 0;
    } catch (...) {
        set_python_error_from_current();
        return -1;
    }
}

void report_unraisable_current(PyObject* context) noexcept;

// Destructors: a failure is reported through the unraisable hook and the destructor returns.
template <class Operation>
void call_frame_destructor(PyObject* object, Operation&& operation) noexcept
{
    try {
        operation();
    } catch (...) {
        report_unraisable_current(object);
    }
}

// Releases the interpreter lock for its lifetime; every path out takes it back first.
class GilRelease {
public:
    GilRelease() noexcept : state_(PyEval_SaveThread()) {}
    ~GilRelease() { PyEval_RestoreThread(state_); }
    GilRelease(const GilRelease&) = delete;
    GilRelease& operator=(const GilRelease&) = delete;

private:
    friend class GilReacquire;
    PyThreadState* state_;
};

// Inside a GilRelease's scope, holds the lock again for its own lifetime, so that unlocked work
// can briefly call into the interpreter; every path out releases it again, exceptions included.
class GilReacquire {
public:
    explicit GilReacquire(GilRelease& released) noexcept : released_(released)
    {
        PyEval_RestoreThread(released_.state_);
    }
    ~GilReacquire() { released_.state_ = PyEval_SaveThread(); }
    GilReacquire(const GilReacquire&) = delete;
    GilReacquire& operator=(const GilReacquire&) = delete;

private:
    GilRelease& released_;
};

}  // namespace brindle::ffi
